// What the loader leaves behind: values after a failure, short reads, the open file.

#include <gtest/gtest.h>

#include <fstream>

#include "TestPackages.h"
#include "package/PackageLoader.h"

namespace tamblor::test {
namespace {

class LoaderValues : public testing::Test {
  protected:
    std::filesystem::path Write(const Bytes& bytes) {
        const auto path = m_dir.File("package.bin");
        WriteFile(path, bytes);
        return path;
    }

    // The last record's field at `offset` overwritten with `text`.
    std::filesystem::path WriteWithLastRecordText(std::size_t offset, const std::string& text) {
        Bytes file = RawPackage(SyntheticSegments());
        std::copy(text.begin(), text.end(), file.end() - kRecordLength + offset);
        return Write(file);
    }

    CTempDir m_dir;
};

TEST_F(LoaderValues, BadSignatureLeavesTheIdsZero) {
    const auto result = LoadPackage(WriteWithLastRecordText(19, "QK"));
    ASSERT_EQ(result.code, 61);
    EXPECT_EQ(result.info.g_packageVid, 0);
    EXPECT_EQ(result.info.g_packagePid, 0);
}

TEST_F(LoaderValues, BadProductIdKeepsTheVendorId) {
    const auto result = LoadPackage(WriteWithLastRecordText(kRecProductId, "f5z5"));
    ASSERT_EQ(result.code, 65);
    EXPECT_EQ(result.info.g_packageVid, 0x10C4);
    EXPECT_EQ(result.info.g_packagePid, 0);
    EXPECT_EQ(result.info.m_segmentLength[0], 0u);
}

TEST_F(LoaderValues, OverlongChip3KeepsTheSegmentTableButNoSums) {
    Segments segments = SyntheticSegments();
    segments[0].assign(70000, 0x01);
    segments[2].resize(100'000);  // keeps the package inside the window
    const auto result = LoadPackage(Write(RawPackage(segments)));
    ASSERT_EQ(result.code, kErrChip3TooLong);
    EXPECT_EQ(result.info.m_segmentLength[0], 70000u);
    EXPECT_EQ(result.info.m_segmentOffset[0], kRecordLength);
    EXPECT_EQ(result.info.m_segmentSum0, 0);
    EXPECT_EQ(result.info.versionText, "");
}

TEST_F(LoaderValues, OnlyTheLastRecordsFieldsCount) {
    Segments segments = SyntheticSegments();
    RecordFields other;
    other.version = "E999";
    other.date = "xxxxxxxxxx";
    other.vid = "zzzz";  // never parsed: only the signature of R0 to R4 is looked at
    other.selector = "3";
    Bytes file = RawPackage(segments, other);
    const auto last = BuildRecord(RecordFields{});
    std::copy(last.begin(), last.end(), file.end() - kRecordLength);

    const auto result = LoadPackage(Write(file));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.info.m_fileVersion, (std::array<std::uint8_t, 4>{'V', 1, 0, 3}));
    EXPECT_EQ(result.info.g_packageVid, 0x10C4);
    EXPECT_EQ(result.info.m_startSelector, '1');
    EXPECT_EQ(result.info.versionText, "Code Ver:V103  2017/08/11");
}

TEST_F(LoaderValues, EmptySegmentsHaveLengthAndSumZero) {
    Segments segments = SyntheticSegments();
    segments[3].clear();
    segments[4].clear();
    const auto result = LoadPackage(Write(RawPackage(segments)));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.info.m_segmentLength[3], 0u);
    EXPECT_EQ(result.info.m_segmentLength[4], 0u);
    EXPECT_EQ(result.info.m_segmentSum4, 0);
    EXPECT_EQ(result.info.m_segmentOffset[4], result.info.recordOffsets[5]);
    EXPECT_EQ(result.info.m_segmentSum0, 0xA40F);
}

TEST_F(LoaderValues, DigitsAreNotRangeChecked) {
    // '?' is 0x3F: digit value 15. ':' below it is 10.
    const auto result = LoadPackage(WriteWithLastRecordText(kRecVersionLetter, "L:?0"));
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(result.info.m_fileVersion, (std::array<std::uint8_t, 4>{'L', 10, 15, 0}));
    EXPECT_EQ(result.info.versionText, "Code Ver:L:?0  2017/08/11");
}

TEST_F(LoaderValues, OpenFileDeliversTheSegments) {
    const Bytes carrier(777, 0x00);
    const auto result = LoadPackage(Write(Concat(carrier, RawPackage(SyntheticSegments()))));
    ASSERT_EQ(result.code, 0);
    ASSERT_NE(result.file, nullptr);
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        Bytes read(result.info.m_segmentLength[k]);
        EXPECT_EQ(result.file->ReadAt(result.info.m_segmentOffset[k], read), read.size());
        EXPECT_EQ(read, SyntheticSegments()[k]) << "segment " << k;
    }
}

// The file overwritten in place after loading: a chunk read where bytes changed fails, the
// rest of the package still reads.
TEST_F(LoaderValues, ACheckedReadRefusesBytesChangedSinceLoading) {
    const Bytes carrier(300, 0x00);
    const auto path = Write(Concat(carrier, RawPackage(SyntheticSegments())));
    const auto result = LoadPackage(path);
    ASSERT_EQ(result.code, 0);
    const auto& info = result.info;
    const std::uint64_t changed = info.m_segmentOffset[kSegChip2File2] + 100;
    {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(changed));
        file.put(static_cast<char>(SyntheticSegments()[kSegChip2File2][100] ^ 0x01));
    }
    struct Read {
        const char* what;
        std::uint64_t offset;
        std::size_t length;
        std::size_t expected;
    };
    const Read reads[] = {
        {"a chunk holding the changed byte", changed - 10, 59, 0},
        {"a chunk ending on it", changed - 58, 59, 0},
        {"a chunk starting on it", changed, 59, 0},
        {"the chunk before it", changed - 59, 59, 59},
        {"the chunk after it", changed + 1, 59, 59},
        {"the carrier, outside the package", 0, 59, 59},
    };
    for (const Read& read : reads) {
        Bytes buffer(read.length);
        EXPECT_EQ(result.file->ReadChecked(read.offset, buffer), read.expected) << read.what;
        // The unchecked read sees the file as it is now.
        EXPECT_EQ(result.file->ReadAt(read.offset, buffer), read.length) << read.what;
    }
}

// A file whose n-th read delivers one byte less than asked.
class CShortReadFile : public CPackageFile {
  public:
    CShortReadFile(const std::filesystem::path& path, int shortCall)
        : CPackageFile(path), m_shortCall(shortCall) {}

    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
        if (++m_calls == m_shortCall) buffer = buffer.first(buffer.size() - 1);
        return CPackageFile::ReadAt(offset, buffer);
    }

  private:
    int m_shortCall;
    int m_calls = 0;
};

struct ShortReadCase {
    int call;  // reads in order: last record, window, segment 0, segment 4
    int code;
};

void PrintTo(const ShortReadCase& c, std::ostream* os) { *os << "read " << c.call << " short"; }

class LoaderShortRead : public LoaderValues, public testing::WithParamInterface<ShortReadCase> {};

TEST_P(LoaderShortRead, CountsAsTheStepsFailure) {
    const auto path = Write(Concat(Bytes(5000, 0x00), RawPackage(SyntheticSegments())));
    const auto result = LoadPackage(std::make_unique<CShortReadFile>(path, GetParam().call));
    EXPECT_EQ(result.code, GetParam().code);
    EXPECT_EQ(result.file != nullptr, GetParam().code == 0);
}

INSTANTIATE_TEST_SUITE_P(Reads, LoaderShortRead,
                         testing::Values(ShortReadCase{1, 60}, ShortReadCase{2, 62},
                                         ShortReadCase{3, 63}, ShortReadCase{4, 63},
                                         ShortReadCase{5, 0}),
                         [](const auto& info) {
                             return "Read" + std::to_string(info.param.call) + "Gives" +
                                    std::to_string(info.param.code);
                         });

}  // namespace
}  // namespace tamblor::test
