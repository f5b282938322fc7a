// tamblor-cli pack: appends a firmware package to a carrier executable.

#include <array>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "Commands.h"
#include "package/PackageLoader.h"
#include "package/PackageWriter.h"

namespace tamblor {
namespace {

namespace fs = std::filesystem;

constexpr int kRefused = 2;
constexpr const char* kUsage =
    "usage: tamblor-cli pack --carrier EXE --out FILE --segment0 F ... --segment4 F "
    "[--version V103] [--date 2017/08/11] [--vid 10c4] [--pid f505] [--selector 1]";

struct PackOptions {
    fs::path carrier;
    fs::path out;
    std::array<fs::path, kSegmentCount> segments;
    RecordFields fields;
};

// Index of a --segmentN option, or -1.
int SegmentOption(const std::string& name) {
    constexpr std::string_view kPrefix = "--segment";
    if (name.size() != kPrefix.size() + 1 || !name.starts_with(kPrefix)) return -1;
    const char digit = name.back();
    return digit >= '0' && digit < '0' + static_cast<int>(kSegmentCount) ? digit - '0' : -1;
}

// Empty on success, otherwise what is wrong with the arguments.
std::string ParseOptions(const std::vector<std::string>& args, PackOptions& options) {
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return name + " needs a value";
        const std::string& value = args[i + 1];
        if (name == "--carrier") {
            options.carrier = value;
        } else if (name == "--out") {
            options.out = value;
        } else if (const int k = SegmentOption(name); k >= 0) {
            options.segments[static_cast<std::size_t>(k)] = value;
        } else if (name == "--version") {
            options.fields.version = value;
        } else if (name == "--date") {
            options.fields.date = value;
        } else if (name == "--vid") {
            options.fields.vid = value;
        } else if (name == "--pid") {
            options.fields.pid = value;
        } else if (name == "--selector") {
            options.fields.selector = value;
        } else {
            return "unknown option " + name;
        }
    }
    if (options.carrier.empty()) return "--carrier is required";
    if (options.out.empty()) return "--out is required";
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        if (options.segments[k].empty()) return "--segment" + std::to_string(k) + " is required";
    }
    return {};
}

bool ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec) return false;
    bytes.resize(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

bool WriteAll(const fs::path& path, std::span<const std::uint8_t> carrier,
              std::span<const std::uint8_t> package) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(carrier.data()),
              static_cast<std::streamsize>(carrier.size()));
    out.write(reinterpret_cast<const char*>(package.data()),
              static_cast<std::streamsize>(package.size()));
    out.close();
    return static_cast<bool>(out);
}

// Loads what was written the way the tool will at start-up: a package that the loader reads
// differently from what was meant must not leave the build.
std::string SelfCheck(const fs::path& path, const SegmentViews& segments) {
    const LoadResult loaded = LoadPackage(path);
    if (loaded.code != 0)
        return "the written package does not load: ISP error " + std::to_string(loaded.code) + "!";
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        if (loaded.info.m_segmentLength[k] != segments[k].size()) {
            return "the written package reads back with another length of segment " +
                   std::to_string(k);
        }
    }
    if (loaded.info.m_segmentSum0 != ByteSum(segments[kSegChip3]) ||
        loaded.info.m_segmentSum4 != ByteSum(segments[kSegChip1])) {
        return "the written package reads back with other checksums";
    }
    return {};
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    PackOptions options;
    if (const auto problem = ParseOptions(args, options); !problem.empty()) {
        err << "pack: " << problem << "\n" << kUsage << "\n";
        return kRefused;
    }

    std::vector<std::uint8_t> carrier;
    if (!ReadWholeFile(options.carrier, carrier)) {
        err << "pack: cannot read carrier " << options.carrier.string() << "\n";
        return kRefused;
    }
    std::array<std::vector<std::uint8_t>, kSegmentCount> images;
    SegmentViews views;
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        if (!ReadWholeFile(options.segments[k], images[k])) {
            err << "pack: cannot read segment " << k << " from " << options.segments[k].string()
                << "\n";
            return kRefused;
        }
        views[k] = images[k];
    }

    const PackageBuild build = BuildPackage(options.fields, views, carrier);
    if (!build.error.empty()) {
        err << "pack: " << build.error << "\n";
        return kRefused;
    }
    if (!WriteAll(options.out, carrier, build.bytes)) {
        err << "pack: cannot write " << options.out.string() << "\n";
        std::error_code ignored;
        fs::remove(options.out, ignored);
        return kRefused;
    }
    // The output usually replaces the carrier, an executable: it keeps the carrier's mode.
    std::error_code ec;
    const fs::perms mode = fs::status(options.carrier, ec).permissions();
    if (!ec) fs::permissions(options.out, mode, ec);
    if (ec) {
        err << "pack: cannot set the mode of " << options.out.string() << ": " << ec.message()
            << "\n";
        fs::remove(options.out, ec);
        return kRefused;
    }
    if (const auto problem = SelfCheck(options.out, views); !problem.empty()) {
        err << "pack: " << problem << "\n";
        fs::remove(options.out, ec);
        return kRefused;
    }
    out << "packed " << options.out.string() << ": " << build.bytes.size() << "-byte package after "
        << carrier.size() << " carrier bytes\n";
    return 0;
}

}  // namespace tamblor
