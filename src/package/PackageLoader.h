#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "PackageFile.h"
#include "PackageFormat.h"

namespace tamblor {

// Everything the tool knows about its firmware package after loading it.
struct PackageInfo {
    std::uint32_t m_packageSize = 0;
    std::array<std::uint32_t, kRecordCount> recordOffsets{};  // file offsets of R0..R5
    std::array<std::uint32_t, kSegmentCount> m_segmentOffset{};
    std::array<std::uint32_t, kSegmentCount> m_segmentLength{};
    std::array<std::uint8_t, 4> m_fileVersion{};  // letter, then three digit values
    std::uint16_t m_segmentSum0 = 0;
    std::uint16_t m_segmentSum4 = 0;
    char m_startSelector = 0;
    std::uint16_t g_packageVid = 0;
    std::uint16_t g_packagePid = 0;
    std::string date;         // ten characters of free text from the record
    std::string versionText;  // "Code Ver:V103  2017/08/11"
};

struct LoadResult {
    int code = 0;                        // 0: loaded; otherwise the "ISP error %d!" code
    PackageInfo info;                    // after a failure, holds what was parsed before it
    std::unique_ptr<CPackageFile> file;  // open on success only
    std::string openFailure;             // after a 59: why the file did not open
};

// Loader failure codes beyond the classic 59-65.
inline constexpr int kErrChip3TooLong = 66;  // segment 0 longer than the ISP commands can carry

// Reads and validates the package at the end of `path`. A file shorter than the search
// window is searched whole.
LoadResult LoadPackage(const std::filesystem::path& path);
// The same over a file that the caller has opened (59 when it is not open).
LoadResult LoadPackage(std::unique_ptr<CPackageFile> file);

}  // namespace tamblor
