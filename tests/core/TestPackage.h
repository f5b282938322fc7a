#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/PackageFormat.h"

namespace tamblor::test {

// Segment bytes of a given length and byte sum that never form a record signature (no 'Q').
inline std::vector<std::uint8_t> MakeSegment(std::uint32_t length, std::uint16_t sum,
                                             std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 24);
        if (b == 'Q') b = 'q';
    }
    if (length == 0) return bytes;
    // Move the sum to the target, byte by byte, as far as each byte allows, avoiding 'Q'.
    std::uint16_t current = ByteSum(bytes);
    for (std::size_t i = 0; current != sum; i = (i + 1) % length) {
        const std::uint16_t up = static_cast<std::uint16_t>(sum - current);
        int target = bytes[i];
        if (up < 0x8000) {
            target = std::min(0xFF, target + up);
        } else {
            target = std::max(0, target - (0x10000 - up));
        }
        if (target == 'Q') target += up < 0x8000 ? -1 : 1;
        current = static_cast<std::uint16_t>(current + target - bytes[i]);
        bytes[i] = static_cast<std::uint8_t>(target);
    }
    return bytes;
}

struct PackageSpec {
    std::array<std::vector<std::uint8_t>, 5> segments;
    char selector = '1';
    std::string version = "V103";
    std::string vid = "10c4";
    std::string pid = "f505";
    std::size_t carrierBytes = 4096;
};

inline std::string Record(const PackageSpec& spec) {
    std::string r = "5A/";
    r += spec.version + "/2017/08/11/";
    r += "Q";
    r += "J/" + spec.vid + "/" + spec.pid + "/";
    r += spec.selector;
    r += "/";
    return r;
}

// Writes carrier bytes followed by the package; returns the path.
inline std::filesystem::path WritePackage(const std::filesystem::path& path,
                                          const PackageSpec& spec) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string carrier(spec.carrierBytes, '\x7f');
    out.write(carrier.data(), static_cast<std::streamsize>(carrier.size()));
    const auto record = Record(spec);
    for (std::size_t k = 0; k < 5; ++k) {
        out.write(record.data(), static_cast<std::streamsize>(record.size()));
        out.write(reinterpret_cast<const char*>(spec.segments[k].data()),
                  static_cast<std::streamsize>(spec.segments[k].size()));
    }
    out.write(record.data(), static_cast<std::streamsize>(record.size()));
    return path;
}

// The shipped layout: segment lengths 25,856 / 5,186 / 262,144 / 512 / 193,500 with the sums
// 0xA40F and 0x7BBE for segments 0 and 4.
inline PackageSpec ShippedLikeSpec(char selector = '1') {
    PackageSpec spec;
    spec.segments[0] = MakeSegment(25856, 0xA40F, 1);
    spec.segments[1] = MakeSegment(5186, 0x1234, 2);
    spec.segments[2] = MakeSegment(262144, 0x4321, 3);
    spec.segments[3] = MakeSegment(512, 0x0F0F, 4);
    spec.segments[4] = MakeSegment(193500, 0x7BBE, 5);
    spec.selector = selector;
    return spec;
}

}  // namespace tamblor::test
