// tamblor-cli info: what the loader reads from a package carrier.

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "TextFormat.h"
#include "package/PackageLoader.h"

namespace tamblor {
namespace {

constexpr int kRefused = 2;
constexpr const char* kUsage = "usage: tamblor-cli info [--package FILE] [--json]";

// The version as the record writes it: the letter and the three digit characters.
std::string VersionField(const PackageInfo& info) {
    std::string version(1, static_cast<char>(info.m_fileVersion[0]));
    for (std::size_t i = 1; i < 4; ++i) version += static_cast<char>(info.m_fileVersion[i] + 0x30);
    return version;
}

void PrintText(const PackageInfo& info, std::ostream& out) {
    out << info.versionText << "\n";
    out << "Vendor ID: " << Hex4(info.g_packageVid) << "\n";
    out << "Product ID: " << Hex4(info.g_packagePid) << "\n";
    out << "Start selector: " << info.m_startSelector << "\n";
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        out << "Record " << k << ": offset " << info.recordOffsets[k] << "\n";
    }
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        out << "Segment " << k << ": offset " << info.m_segmentOffset[k] << ", length "
            << info.m_segmentLength[k] << "\n";
    }
    out << "Checksum 0: " << Hex4(info.m_segmentSum0) << "\n";
    out << "Checksum 4: " << Hex4(info.m_segmentSum4) << "\n";
}

void PrintJson(const PackageInfo& info, std::ostream& out) {
    out << "{\"version\":" << JsonString(VersionField(info))
        << ",\"date\":" << JsonString(info.date) << ",\"vid\":" << info.g_packageVid
        << ",\"pid\":" << info.g_packagePid
        << ",\"selector\":" << JsonString(std::string(1, info.m_startSelector)) << ",\"records\":[";
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        out << (k ? "," : "") << info.recordOffsets[k];
    }
    out << "],\"segments\":[";
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        out << (k ? "," : "") << "{\"offset\":" << info.m_segmentOffset[k]
            << ",\"length\":" << info.m_segmentLength[k] << "}";
    }
    out << "],\"checksum0\":" << info.m_segmentSum0 << ",\"checksum4\":" << info.m_segmentSum4
        << "}\n";
}

}  // namespace

int RunInfoCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                   std::ostream& out, std::ostream& err) {
    std::filesystem::path package = self;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--package" && i + 1 < args.size()) {
            package = args[++i];
        } else {
            err << "info: unexpected argument " << args[i] << "\n" << kUsage << "\n";
            return kRefused;
        }
    }

    const LoadResult loaded = LoadPackage(package);
    if (loaded.code != 0) {
        err << "ISP error " << loaded.code << "!\n";
        return kRefused;
    }
    if (json) {
        PrintJson(loaded.info, out);
    } else {
        PrintText(loaded.info, out);
    }
    return 0;
}

}  // namespace tamblor
