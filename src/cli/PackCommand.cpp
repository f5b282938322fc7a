// tamblor-cli pack: appends a firmware package to a carrier executable.

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "TextFormat.h"
#include "fileio/TempOutput.h"
#include "package/PackageLoader.h"
#include "package/PackageWriter.h"

namespace tamblor {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCommand = "pack";
constexpr const char* kHelp =
    "usage: tamblor-cli pack --carrier EXE --out FILE --segment0 F --segment1 F --segment2 F\n"
    "                        --segment3 F --segment4 F [--version V103] [--date 2017/08/11]\n"
    "                        [--vid 10c4] [--pid f505] [--selector 1]\n"
    "Writes FILE: the carrier's bytes, then a firmware package of the five segment images\n"
    "(0: Chip 3, 1 and 2: Chip 2's two files, 3: spare, 4: Chip 1) between six trailer records\n"
    "of the given fields. A package the carrier already carries is replaced, so the tool itself\n"
    "can be the carrier. FILE takes the carrier's permission bits. It is written beside its\n"
    "final name, under a new name of its own, and renamed into place only after it was flushed\n"
    "to the disk and read back with the tool's own loader, so an existing FILE is replaced\n"
    "whole or not at all. Stopped by a signal, pack removes what it wrote.\n"
    "Refused with exit status 2, nothing written: an input that is not a regular file; an\n"
    "output that is one of the inputs (also through another path or a hard link), a directory,\n"
    "a symbolic link or anything but a regular file; and a package the loader would misread\n"
    "(segment 0 over 65535 bytes, a package over the 524288-byte search window, a record\n"
    "signature inside the data, malformed fields).\n";

constexpr std::array<OptionRule, 12> kOptions = {{
    {"--carrier", true},
    {"--out", true},
    {"--segment0", true},
    {"--segment1", true},
    {"--segment2", true},
    {"--segment3", true},
    {"--segment4", true},
    {"--version", true},
    {"--date", true},
    {"--vid", true},
    {"--pid", true},
    {"--selector", true},
}};

// The most a segment can hold: the whole window but the six records.
constexpr std::uint64_t kLargestSegment = kSearchWindow - kRecordCount * kRecordLength;
// Carrier bytes copied per read while the output is written.
constexpr std::size_t kCopyBlock = 64 * 1024;

struct PackOptions {
    fs::path carrier;
    fs::path out;
    std::array<fs::path, kSegmentCount> segments;
    RecordFields fields;
};

std::string ReadOptions(const ParsedCommandLine& parsed, PackOptions& options) {
    for (const auto& [name, value] : parsed.options) {
        if (name == "--carrier") {
            options.carrier = value;
        } else if (name == "--out") {
            options.out = value;
        } else if (name.starts_with("--segment")) {
            options.segments[static_cast<std::size_t>(name.back() - '0')] = value;
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
        }
    }
    if (options.carrier.empty()) return "--carrier is required";
    if (options.out.empty()) return "--out is required";
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        if (options.segments[k].empty()) return "--segment" + std::to_string(k) + " is required";
    }
    return {};
}

struct Inputs {
    std::unique_ptr<CPackageFile> carrier;
    std::array<std::unique_ptr<CPackageFile>, kSegmentCount> segments;
};

// Opens every input and checks the sizes before a byte is read: a segment that can never fit
// the window is refused however large it claims to be.
std::string OpenInputs(const PackOptions& options, Inputs& inputs) {
    inputs.carrier = std::make_unique<CPackageFile>(options.carrier);
    if (!inputs.carrier->IsOpen()) {
        return "cannot read carrier " + options.carrier.string() + ": " +
               inputs.carrier->OpenFailure();
    }
    std::uint64_t packageSize = kRecordCount * kRecordLength;
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        const fs::path& path = options.segments[k];
        auto& file = inputs.segments[k];
        file = std::make_unique<CPackageFile>(path);
        if (!file->IsOpen()) {
            return "cannot read segment " + std::to_string(k) + " from " + path.string() + ": " +
                   file->OpenFailure();
        }
        if (file->Size() > kLargestSegment) {
            return "segment " + std::to_string(k) + " (" + path.string() + ") is " +
                   std::to_string(file->Size()) + " bytes; a whole package must fit the " +
                   std::to_string(kSearchWindow) + "-byte search window";
        }
        packageSize += file->Size();
    }
    if (packageSize > kSearchWindow) {
        return "package is " + std::to_string(packageSize) + " bytes; it must fit the " +
               std::to_string(kSearchWindow) + "-byte search window";
    }
    // The loader reads offsets in 32 bits.
    const std::uint64_t outputSize = inputs.carrier->Size() + packageSize;
    if (outputSize > std::numeric_limits<std::uint32_t>::max()) {
        return "carrier " + options.carrier.string() + " is " +
               std::to_string(inputs.carrier->Size()) +
               " bytes; with the package the output would pass the 4 GiB the loader can read";
    }
    return {};
}

// The output replaces a regular file or takes a new name; anything else, and any input, is
// left alone.
std::string CheckOutput(const PackOptions& options, const Inputs& inputs) {
    const fs::path& out = options.out;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(out, error);
    switch (status.type()) {
        case fs::file_type::not_found:
            return {};
        case fs::file_type::regular:
            break;
        case fs::file_type::directory:
            return "--out " + out.string() + " is a directory";
        case fs::file_type::symlink:
            return "--out " + out.string() + " is a symbolic link; name the file itself";
        case fs::file_type::none:
            return "cannot examine --out " + out.string() + ": " + error.message();
        default:
            return "--out " + out.string() + " exists and is not a regular file";
    }
    if (inputs.carrier->IsSameFileAs(out)) {
        return "--out " + out.string() + " is the same file as --carrier";
    }
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        if (inputs.segments[k]->IsSameFileAs(out)) {
            return "--out " + out.string() + " is the same file as --segment" + std::to_string(k);
        }
    }
    return {};
}

bool ReadWhole(CPackageFile& file, std::uint64_t offset, std::vector<std::uint8_t>& bytes) {
    return file.ReadAt(offset, bytes) == bytes.size();
}

// Copies the carrier's first `length` bytes, a block at a time: a carrier may be far larger
// than the package, and only its end has to be in memory.
bool CopyCarrierHead(CPackageFile& carrier, std::uint64_t length, CTempOutput& output,
                     std::string& problem) {
    std::vector<std::uint8_t> block(kCopyBlock);
    for (std::uint64_t offset = 0; offset < length;) {
        const auto size =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, length - offset));
        const std::span<std::uint8_t> chunk(block.data(), size);
        if (carrier.ReadAt(offset, chunk) != size) {
            problem = "cannot read the carrier at offset " + std::to_string(offset);
            return false;
        }
        if (!output.Write(chunk)) {
            problem = output.Failure();
            return false;
        }
        offset += size;
    }
    return true;
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

// Everything after the arguments; empty on success, otherwise the one line to print.
std::string Pack(const PackOptions& options, std::ostream& out) {
    Inputs inputs;
    if (auto problem = OpenInputs(options, inputs); !problem.empty()) return problem;
    if (auto problem = CheckOutput(options, inputs); !problem.empty()) return problem;

    std::array<std::vector<std::uint8_t>, kSegmentCount> images;
    SegmentViews views;
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        images[k].resize(static_cast<std::size_t>(inputs.segments[k]->Size()));
        if (!ReadWhole(*inputs.segments[k], 0, images[k])) {
            return "cannot read segment " + std::to_string(k) + " from " +
                   options.segments[k].string() + ": it came up short";
        }
        views[k] = images[k];
    }
    CPackageFile& carrier = *inputs.carrier;
    // A tool that already carries a package is a carrier too: its package is replaced, so
    // another firmware can be packed onto the very tool that is built and shipped.
    std::uint64_t carrierLength = carrier.Size();
    if (const LoadResult carried = LoadPackage(options.carrier); carried.code == 0) {
        carrierLength = carried.info.recordOffsets[0];
        out << "replacing the package " << options.carrier.string() << " carries ("
            << PrintableText(carried.info.versionText) << ")\n";
    }
    const std::uint64_t tailOffset =
        carrierLength - std::min<std::uint64_t>(carrierLength, kSearchWindow);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(carrierLength - tailOffset));
    if (!ReadWhole(carrier, tailOffset, tail)) {
        return "cannot read carrier " + options.carrier.string() + ": it came up short";
    }

    const PackageBuild build = BuildPackage(options.fields, views, tail, tailOffset);
    if (!build.error.empty()) return build.error;

    CTempOutput output(options.out);
    if (!output.IsOpen()) return output.Failure();
    std::string problem;
    if (!CopyCarrierHead(carrier, tailOffset, output, problem)) return problem;
    if (!output.Write(tail) || !output.Write(build.bytes)) return output.Failure();
    // The output usually replaces the carrier, an executable: it keeps the carrier's
    // permission bits (not its set-user-ID and the like, which a copy has no business with).
    std::error_code error;
    const fs::perms mode = fs::status(options.carrier, error).permissions();
    if (error)
        return "cannot read the mode of " + options.carrier.string() + ": " + error.message();
    if (!output.SetMode(static_cast<unsigned>(mode & fs::perms::all))) return output.Failure();
    if (!output.SyncAndClose()) return output.Failure();
    // Read back by name: a name that became something else meanwhile is not read at all.
    if (!output.IsStillOurs()) {
        return output.Path().string() + " was replaced by someone else before it was read back";
    }
    if (auto mismatch = SelfCheck(output.Path(), views); !mismatch.empty()) return mismatch;
    if (!output.Commit()) return output.Failure();

    out << "packed " << options.out.string() << ": " << build.bytes.size() << "-byte package after "
        << carrierLength << " carrier bytes\n";
    return {};
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = ParseCommandLine(args, kOptions);
    if (parsed.help) {
        out << kHelp;
        return 0;
    }
    PackOptions options;
    std::string problem = parsed.error;
    if (problem.empty()) problem = ReadOptions(parsed, options);
    if (!problem.empty()) {
        err << UsageError(kCommand, problem) << "\n";
        return kExitRefused;
    }
    if (const auto failure = Pack(options, out); !failure.empty()) {
        err << "tamblor-cli pack: " << OneLineText(failure) << "\n";
        return kExitRefused;
    }
    return 0;
}

}  // namespace tamblor
