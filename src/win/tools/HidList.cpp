// tamblor-hidlist.exe: what the Windows build's own HID transport sees, for the tests on a real
// HID stack. Prints one line of JSON in the form of `tamblor-cli list --json` (every interface,
// its identity, collection, report lengths, and whether the scan takes it for the package's
// dock), and on stderr how long the enumeration took.
//   tamblor-hidlist [--package FILE]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/DockMatch.h"
#include "cli/TextFormat.h"
#include "hid/windows/WinHidBus.h"
#include "package/PackageLoader.h"

namespace {

struct Identity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

std::string Json(const tamblor::HidInterfaceInfo& info, const std::optional<Identity>& wanted) {
    std::string out = "{\"path\":" + tamblor::JsonString(info.path);
    if (const auto& a = info.attributes) {
        out += ",\"vid\":" + std::to_string(a->vendorId) +
               ",\"pid\":" + std::to_string(a->productId) +
               ",\"versionNumber\":" + std::to_string(a->versionNumber);
    } else {
        out += ",\"vid\":null,\"pid\":null,\"versionNumber\":null";
    }
    if (const auto& c = info.caps) {
        out += ",\"usagePage\":" + std::to_string(c->usagePage) +
               ",\"usage\":" + std::to_string(c->usage) +
               ",\"inputReportLength\":" + std::to_string(c->inputReportByteLength) +
               ",\"outputReportLength\":" + std::to_string(c->outputReportByteLength);
    } else {
        out +=
            ",\"usagePage\":null,\"usage\":null,\"inputReportLength\":null"
            ",\"outputReportLength\":null";
    }
    out += ",\"match\":";
    if (!wanted) return out + "null}";
    return out +
           (tamblor::MatchesDock(info, wanted->vendorId, wanted->productId) ? "true}" : "false}");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::optional<Identity> wanted;
    if (argc == 3 && std::wstring(argv[1]) == L"--package") {
        const std::filesystem::path file(argv[2]);
        const tamblor::LoadResult loaded = tamblor::LoadPackage(file);
        if (loaded.code != 0) {
            std::fprintf(stderr, "tamblor-hidlist: %s is not a package (ISP error %d)\n",
                         file.string().c_str(), loaded.code);
            return 1;
        }
        wanted = Identity{loaded.info.g_packageVid, loaded.info.g_packagePid};
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: tamblor-hidlist [--package FILE]\n");
        return 2;
    }

    tamblor::win::CWinHidBus bus;
    const auto started = std::chrono::steady_clock::now();
    const auto interfaces = bus.EnumerateInterfaces();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);

    std::string out = "{\"package\":";
    out += wanted ? "{\"vid\":" + std::to_string(wanted->vendorId) +
                        ",\"pid\":" + std::to_string(wanted->productId) + "}"
                  : std::string("null");
    out += ",\"interfaces\":[";
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        out += (i == 0 ? "" : ",") + Json(interfaces[i], wanted);
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    std::fprintf(stderr, "tamblor-hidlist: %zu interfaces enumerated in %lld ms\n",
                 interfaces.size(), static_cast<long long>(took.count()));
    return 0;
}
