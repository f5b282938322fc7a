// tamblor-cli list: every HID interface the machine shows, and which one the scan would take.

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "PackageText.h"
#include "TextFormat.h"
#include "app/DockMatch.h"
#include "hid/LinkState.h"
#include "hid/PlatformHidBus.h"
#include "package/PackageLoader.h"

namespace tamblor {
namespace {

constexpr std::string_view kCommand = "list";
constexpr const char* kHelp =
    "usage: tamblor-cli list [--package FILE] [--json]\n"
    "Lists every HID interface of the machine (one line per top-level collection): path,\n"
    "place (the USB port it is plugged into, as --device takes it; - where none), vendor\n"
    "and product ID, version number, usage page, usage, input and output report\n"
    "lengths, and whether the scan would take it for the dock of the package this tool\n"
    "carries (or of FILE). Without a valid package the interfaces are listed unmatched.\n";

constexpr std::array<OptionRule, 2> kOptions = {{{"--package", true}, {"--json", false}}};

struct ListOptions {
    std::filesystem::path package;
    bool json = false;
};

struct Identity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The scan's own rule.
bool Matches(const HidInterfaceInfo& info, const Identity& wanted) {
    return MatchesDock(info, wanted.vendorId, wanted.productId);
}

struct Row {
    std::string path, place, vid, pid, version, page, usage, in, out, match;
};

Row TextRow(const HidInterfaceInfo& info, const std::optional<Identity>& wanted) {
    Row row{info.path, info.place.empty() ? "-" : info.place, "-", "-", "-", "-", "-", "-", "-",
            "-"};
    if (const auto& a = info.attributes) {
        row.vid = Hex4(a->vendorId);
        row.pid = Hex4(a->productId);
        row.version = Hex4(a->versionNumber);
    }
    if (const auto& c = info.caps) {
        row.page = Hex4(c->usagePage);
        row.usage = Hex4(c->usage);
        row.in = std::to_string(c->inputReportByteLength);
        row.out = std::to_string(c->outputReportByteLength);
    }
    if (wanted) row.match = Matches(info, *wanted) ? "yes" : "no";
    return row;
}

void PrintText(const std::vector<HidInterfaceInfo>& interfaces,
               const std::optional<Identity>& wanted, std::ostream& out) {
    if (wanted) {
        out << "Matching VID " << Hex4(wanted->vendorId) << ", PID " << Hex4(wanted->productId)
            << ", version number " << Hex4(g_expectedVersionNumber) << ", usage page "
            << Hex4(g_expectedUsagePage) << ", usage " << Hex4(g_expectedUsage) << "\n";
    }
    if (interfaces.empty()) {
        out << "No HID interfaces found.\n";
        return;
    }
    std::vector<Row> rows{
        {"PATH", "PLACE", "VID", "PID", "VERSION", "PAGE", "USAGE", "IN", "OUT", "MATCH"}};
    for (const auto& info : interfaces) rows.push_back(TextRow(info, wanted));
    std::size_t pathWidth = 0;
    std::size_t placeWidth = 0;
    for (const auto& row : rows) {
        pathWidth = std::max(pathWidth, row.path.size());
        placeWidth = std::max(placeWidth, row.place.size());
    }
    for (const auto& row : rows) {
        char line[160];
        std::snprintf(line, sizeof line, "%-6s  %-6s  %-7s  %-6s  %-6s  %3s  %3s  %s",
                      row.vid.c_str(), row.pid.c_str(), row.version.c_str(), row.page.c_str(),
                      row.usage.c_str(), row.in.c_str(), row.out.c_str(), row.match.c_str());
        out << row.path << std::string(pathWidth - row.path.size() + 2, ' ') << row.place
            << std::string(placeWidth - row.place.size() + 2, ' ') << line << "\n";
    }
}

void PrintJson(const std::vector<HidInterfaceInfo>& interfaces,
               const std::optional<Identity>& wanted, std::ostream& out) {
    out << "{\"package\":";
    if (wanted) {
        out << "{\"vid\":" << wanted->vendorId << ",\"pid\":" << wanted->productId << "}";
    } else {
        out << "null";
    }
    out << ",\"interfaces\":[";
    bool first = true;
    for (const auto& info : interfaces) {
        out << (first ? "" : ",") << "{\"path\":" << JsonString(info.path)
            << ",\"place\":" << (info.place.empty() ? "null" : JsonString(info.place));
        first = false;
        if (const auto& a = info.attributes) {
            out << ",\"vid\":" << a->vendorId << ",\"pid\":" << a->productId
                << ",\"versionNumber\":" << a->versionNumber;
        } else {
            out << ",\"vid\":null,\"pid\":null,\"versionNumber\":null";
        }
        if (const auto& c = info.caps) {
            out << ",\"usagePage\":" << c->usagePage << ",\"usage\":" << c->usage
                << ",\"inputReportLength\":" << c->inputReportByteLength
                << ",\"outputReportLength\":" << c->outputReportByteLength;
        } else {
            out << ",\"usagePage\":null,\"usage\":null,\"inputReportLength\":null"
                   ",\"outputReportLength\":null";
        }
        out << ",\"match\":";
        if (wanted) {
            out << (Matches(info, *wanted) ? "true" : "false");
        } else {
            out << "null";
        }
        out << "}";
    }
    out << "]}\n";
}

}  // namespace

int RunListCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                   std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = ParseCommandLine(args, kOptions);
    if (const auto done = AnswerHelpOrRefusal(parsed, kCommand, kHelp, out, err)) return *done;
    if (!PlatformHidBusReachesDocks()) {
        err << "tamblor-cli list: this build has no HID transport\n";
        return kExitRefused;
    }
    ListOptions options;
    options.package = self;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--json") options.json = true;
        if (name == "--package") options.package = value;
    }

    // Without a package the interfaces are still worth seeing; only the match is unknown.
    std::optional<Identity> wanted;
    const LoadResult loaded = LoadPackage(options.package);
    if (loaded.code == 0) {
        wanted = Identity{loaded.info.g_packageVid, loaded.info.g_packagePid};
    } else {
        err << "tamblor-cli list: " << DescribeLoadFailure(options.package, loaded)
            << "; matches are not shown\n";
    }

    const auto bus = CreatePlatformHidBus();
    const auto interfaces = bus->EnumerateInterfaces();
    if (options.json) {
        PrintJson(interfaces, wanted, out);
    } else {
        PrintText(interfaces, wanted, out);
    }
    return 0;
}

}  // namespace tamblor
