#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/PackageFormat.h"
#include "package/PackageWriter.h"
#include "package/SyntheticImages.h"

namespace tamblor::test {

struct PackageSpec {
    std::array<std::vector<std::uint8_t>, 5> segments;
    char selector = '1';
    std::string version = "V103";
    std::string vid = "10c4";
    std::string pid = "f505";
    std::size_t carrierBytes = 4096;
};

// Writes carrier bytes followed by the package; returns the path.
inline std::filesystem::path WritePackage(const std::filesystem::path& path,
                                          const PackageSpec& spec) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string carrier(spec.carrierBytes, '\x7f');
    out.write(carrier.data(), static_cast<std::streamsize>(carrier.size()));
    // Written as they stand, without the packer's checks: some tests need damaged packages.
    const auto record = BuildRecord(RecordFields{spec.version, "2017/08/11", spec.vid, spec.pid,
                                                 std::string(1, spec.selector)});
    for (std::size_t k = 0; k < 5; ++k) {
        out.write(reinterpret_cast<const char*>(record.data()),
                  static_cast<std::streamsize>(record.size()));
        out.write(reinterpret_cast<const char*>(spec.segments[k].data()),
                  static_cast<std::streamsize>(spec.segments[k].size()));
    }
    out.write(reinterpret_cast<const char*>(record.data()),
              static_cast<std::streamsize>(record.size()));
    return path;
}

// The shipped package: the synthetic images every tool carries.
inline PackageSpec ShippedLikeSpec(char selector = '1') {
    PackageSpec spec;
    for (std::size_t k = 0; k < kSegmentCount; ++k) spec.segments[k] = MakeSyntheticImage(k);
    spec.selector = selector;
    return spec;
}

}  // namespace tamblor::test
