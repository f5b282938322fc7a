#include "PackageLoader.h"

#include <cstring>
#include <limits>
#include <vector>

namespace tamblor {
namespace {

// Failure codes in the order the steps test them; the first failure ends the load.
constexpr int kErrOpen = 59;
constexpr int kErrReadLastRecord = 60;
constexpr int kErrSignature = 61;
constexpr int kErrReadWindow = 62;
constexpr int kErrRecords = 63;
constexpr int kErrVendorId = 64;
constexpr int kErrProductId = 65;

using Record = std::array<std::uint8_t, kRecordLength>;
using RecordPositions = std::array<std::size_t, kRecordCount>;

bool ReadExactly(CPackageFile& file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    return file.ReadAt(offset, buffer) == buffer.size();
}

bool HasSignature(const Record& record) {
    for (std::size_t i = 0; i < kSignatureOffsets.size(); ++i) {
        if (record[kSignatureOffsets[i]] != kSignatureBytes[i]) return false;
    }
    return true;
}

bool MatchesAt(std::span<const std::uint8_t> window, std::size_t p, const Record& last) {
    for (const std::size_t offset : kSignatureOffsets) {
        if (window[p + offset] != last[offset]) return false;
    }
    return true;
}

// Finds the records in one pass over the window. False when it holds other than six, or when
// two of them overlap: their segment would have a negative length.
bool FindRecords(std::span<const std::uint8_t> window, const Record& last,
                 RecordPositions& positions) {
    const std::size_t lastStart = window.size() - kRecordLength;
    const std::uint8_t* base = window.data();
    std::size_t count = 0;
    std::size_t p = 0;
    while (p <= lastStart) {
        // Jumping between occurrences of the first signature byte keeps the pass well inside
        // the start-up budget; most bytes of a window are not that byte.
        const void* hit = std::memchr(base + p, last[0], lastStart + 1 - p);
        if (hit == nullptr) break;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
        if (MatchesAt(window, p, last)) {
            if (count == kRecordCount) return false;
            if (count > 0 && p - positions[count - 1] < kRecordLength) return false;
            positions[count++] = p;
        }
        ++p;
    }
    return count == kRecordCount;
}

void DeriveSegments(PackageInfo& info, std::uint64_t windowStart,
                    const RecordPositions& positions) {
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        info.recordOffsets[k] = static_cast<std::uint32_t>(windowStart + positions[k]);
    }
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        info.m_segmentLength[k] =
            static_cast<std::uint32_t>(positions[k + 1] - positions[k] - kRecordLength);
        info.m_segmentOffset[k] = info.recordOffsets[k] + static_cast<std::uint32_t>(kRecordLength);
    }
}

void ReadVersion(PackageInfo& info, const Record& last) {
    info.m_fileVersion[0] = last[kRecVersionLetter];
    for (std::size_t i = 0; i < 3; ++i) {
        info.m_fileVersion[i + 1] = static_cast<std::uint8_t>(last[kRecVersionDigits + i] - 0x30);
    }
}

void ReadTextFields(PackageInfo& info, const Record& last) {
    info.m_startSelector = static_cast<char>(last[kRecSelector]);
    info.date.assign(reinterpret_cast<const char*>(last.data() + kRecDate), kRecDateLength);
    info.versionText = "Code Ver:";
    info.versionText.append(reinterpret_cast<const char*>(last.data() + kRecVersionLetter), 4);
    info.versionText += "  ";
    info.versionText += info.date;
}

// Sums one segment through the window buffer, which is large enough for any segment.
bool SumSegment(CPackageFile& file, const PackageInfo& info, std::size_t segment,
                std::vector<std::uint8_t>& buffer, std::uint16_t& sum) {
    const std::span<std::uint8_t> bytes(buffer.data(), info.m_segmentLength[segment]);
    if (!ReadExactly(file, info.m_segmentOffset[segment], bytes)) return false;
    sum = ByteSum(bytes);
    return true;
}

int Load(CPackageFile& file, PackageInfo& info) {
    const std::uint64_t size = file.Size();
    // Every offset of the package travels as a 32-bit value; a larger file cannot be read as one.
    if (size < kRecordLength || size > std::numeric_limits<std::uint32_t>::max()) {
        return kErrReadLastRecord;
    }
    info.m_packageSize = static_cast<std::uint32_t>(size);

    Record last{};
    if (!ReadExactly(file, size - kRecordLength, last)) return kErrReadLastRecord;
    if (!HasSignature(last)) return kErrSignature;
    if (ParseHex4(last.data() + kRecVendorId, info.g_packageVid) != 0) return kErrVendorId;
    if (ParseHex4(last.data() + kRecProductId, info.g_packagePid) != 0) return kErrProductId;

    // A file shorter than the window is searched whole.
    const std::uint64_t windowLength = size < kSearchWindow ? size : kSearchWindow;
    const std::uint64_t windowStart = size - windowLength;
    std::vector<std::uint8_t> buffer(windowLength);
    if (!ReadExactly(file, windowStart, buffer)) return kErrReadWindow;

    RecordPositions positions{};
    if (!FindRecords(buffer, last, positions)) return kErrRecords;
    DeriveSegments(info, windowStart, positions);
    if (info.m_segmentLength[kSegChip3] > kMaxChip3Length) return kErrChip3TooLong;

    ReadVersion(info, last);
    if (!SumSegment(file, info, kSegChip3, buffer, info.m_segmentSum0)) return kErrRecords;
    if (!SumSegment(file, info, kSegChip1, buffer, info.m_segmentSum4)) return kErrRecords;
    ReadTextFields(info, last);
    return 0;
}

}  // namespace

LoadResult LoadPackage(const std::filesystem::path& path) {
    return LoadPackage(std::make_unique<CPackageFile>(path));
}

LoadResult LoadPackage(std::unique_ptr<CPackageFile> file) {
    LoadResult result;
    if (!file || !file->IsOpen()) {
        result.code = kErrOpen;
        result.openFailure = file ? file->OpenFailure() : "no file";
        return result;
    }
    result.code = Load(*file, result.info);
    if (result.code == 0) result.file = std::move(file);
    return result;
}

}  // namespace tamblor
