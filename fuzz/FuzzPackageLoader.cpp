// The package loader on arbitrary file bytes, through a real file (in memory). Whatever it accepts
// must be exactly what the bytes hold: six records with their signature, the last one ending the
// file, segments between them, sums and fields as the bytes give them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "dock/DockExpectation.h"
#include "package/PackageLoader.h"

namespace tamblor::fuzz {
namespace {

int HexValue(std::span<const std::uint8_t> text) {
    int value = 0;
    for (const auto c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

void CheckAccepted(std::span<const std::uint8_t> bytes, const LoadResult& result) {
    const auto& info = result.info;
    const std::size_t size = bytes.size();
    FuzzCheck(result.file != nullptr, "a package accepted without its file open");
    FuzzCheck(info.m_packageSize == size, "package size other than the file's");
    FuzzCheck(info.recordOffsets[kRecordCount - 1] + kRecordLength == size,
              "the last record does not end the file");
    FuzzCheck(size - info.recordOffsets[0] <= kSearchWindow, "a record outside the search window");
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        const auto at = bytes.subspan(info.recordOffsets[k], kRecordLength);
        for (std::size_t i = 0; i < kSignatureOffsets.size(); ++i) {
            FuzzCheck(at[kSignatureOffsets[i]] == kSignatureBytes[i],
                      "a record without its signature");
        }
    }
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        FuzzCheck(info.m_segmentOffset[k] == info.recordOffsets[k] + kRecordLength,
                  "a segment that does not follow its record");
        FuzzCheck(info.m_segmentOffset[k] + info.m_segmentLength[k] == info.recordOffsets[k + 1],
                  "a segment that does not end at the next record");
    }
    FuzzCheck(info.m_segmentLength[kSegChip3] <= kMaxChip3Length,
              "a segment 0 too long for the ISP commands");
    const auto segment = [&](std::size_t k) {
        return bytes.subspan(info.m_segmentOffset[k], info.m_segmentLength[k]);
    };
    FuzzCheck(info.m_segmentSum0 == ByteSum(segment(kSegChip3)), "segment 0's sum is wrong");
    FuzzCheck(info.m_segmentSum4 == ByteSum(segment(kSegChip1)), "segment 4's sum is wrong");

    const auto last = bytes.subspan(size - kRecordLength);
    FuzzCheck(info.g_packageVid == HexValue(last.subspan(kRecVendorId, 4)), "vendor ID misread");
    FuzzCheck(info.g_packagePid == HexValue(last.subspan(kRecProductId, 4)), "product ID misread");
    FuzzCheck(info.m_fileVersion[0] == last[kRecVersionLetter], "version letter misread");
    for (std::size_t i = 0; i < 3; ++i) {
        FuzzCheck(info.m_fileVersion[i + 1] ==
                      static_cast<std::uint8_t>(last[kRecVersionDigits + i] - 0x30),
                  "version digit misread");
    }
    FuzzCheck(info.m_startSelector == static_cast<char>(last[kRecSelector]), "selector misread");

    // The open file reads back the same bytes, as the streams will read them.
    std::vector<std::uint8_t> read(info.m_segmentLength[kSegChip1]);
    FuzzCheck(result.file->ReadAt(info.m_segmentOffset[kSegChip1], read) == read.size(),
              "segment 4 cannot be read back");
    const auto chip1 = segment(kSegChip1);
    FuzzCheck(std::equal(read.begin(), read.end(), chip1.begin(), chip1.end()),
              "segment 4 reads back other bytes");
}

}  // namespace
}  // namespace tamblor::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamblor;
    using namespace tamblor::fuzz;
    static const CMemoryFile file("package");
    file.Write(data, size);
    const std::span bytes(data, size);
    const auto result = LoadPackage(file.Path());
    if (result.code != 0) {
        FuzzCheck(result.file == nullptr, "a refused package left open");
        FuzzCheck(result.code >= 59 && result.code <= kErrChip3TooLong, "unknown loader code");
        FuzzCheck(LoadDockExpectation(file.Path()) == nullptr,
                  "the dock expects images from a refused package");
        return 0;
    }
    CheckAccepted(bytes, result);
    // The emulated dock takes its expectation from the same loader.
    const auto expected = LoadDockExpectation(file.Path());
    FuzzCheck(expected != nullptr, "no expectation from an accepted package");
    FuzzCheck(expected->chip3.size() == result.info.m_segmentLength[kSegChip3] &&
                  expected->chip1.size() == result.info.m_segmentLength[kSegChip1],
              "the dock expects images of other lengths");
    return 0;
}
