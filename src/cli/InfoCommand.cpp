// tamblor-cli info: what the loader reads from a package carrier.

#include <array>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "PackageText.h"
#include "TextFormat.h"
#include "package/PackageLoader.h"

namespace tamblor {
namespace {

constexpr std::string_view kCommand = "info";
constexpr const char* kHelp =
    "usage: tamblor-cli info [--package FILE] [--json]\n"
    "Shows the firmware package this tool carries, or the one at the end of FILE: the record's\n"
    "fields, where the records and segments lie, and the checksums of segments 0 and 4.\n"
    "Text fields are shown as the record holds them, with bytes outside printable ASCII\n"
    "written \\xNN (in --json as \\u00NN). Exit status 2 when FILE holds no valid package.\n";

constexpr std::array<OptionRule, 2> kOptions = {{{"--package", true}, {"--json", false}}};

void PrintText(const PackageInfo& info, std::ostream& out) {
    out << PrintableText(info.versionText) << "\n";
    out << "Vendor ID: " << Hex4(info.g_packageVid) << "\n";
    out << "Product ID: " << Hex4(info.g_packagePid) << "\n";
    out << "Start selector: " << PrintableText(std::string(1, info.m_startSelector)) << "\n";
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
    out << "{\"version\":" << JsonString(RecordVersion(info))
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
    const ParsedCommandLine parsed = ParseCommandLine(args, kOptions);
    if (const auto done = AnswerHelpOrRefusal(parsed, kCommand, kHelp, out, err)) return *done;
    std::filesystem::path package = self;
    bool json = false;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--json") json = true;
        if (name == "--package") package = value;
    }

    const LoadResult loaded = LoadPackage(package);
    if (loaded.code != 0) {
        err << "tamblor-cli info: " << DescribeLoadFailure(package, loaded) << "\n";
        return kExitRefused;
    }
    if (json) {
        PrintJson(loaded.info, out);
    } else {
        PrintText(loaded.info, out);
    }
    return 0;
}

}  // namespace tamblor
