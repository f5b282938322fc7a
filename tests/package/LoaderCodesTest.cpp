// Which "ISP error" code, if any, the loader gives for each kind of damaged package file.

#include <gtest/gtest.h>

#include <functional>

#include "TestPackages.h"
#include "package/PackageLoader.h"

namespace tamblor::test {
namespace {

const Bytes& SmallCarrier() {
    static const Bytes carrier(1000, 0x90);
    return carrier;
}

Bytes ShippedFile() { return Concat(SmallCarrier(), RawPackage(SyntheticSegments())); }

// The shipped file with one byte of the last record replaced.
Bytes WithLastRecordByte(std::size_t offset, char value) {
    Bytes file = ShippedFile();
    file[file.size() - kRecordLength + offset] = static_cast<std::uint8_t>(value);
    return file;
}

Bytes WithSegments(const std::function<void(Segments&)>& change, const Bytes& carrier) {
    Segments segments = SyntheticSegments();
    change(segments);
    return Concat(carrier, RawPackage(segments));
}

// A package of exactly `size` bytes, padding segment 2.
Bytes PackageOfSize(std::size_t size) {
    return WithSegments(
        [size](Segments& s) {
            const std::size_t others = kRecordCount * kRecordLength + s[0].size() + s[1].size() +
                                       s[3].size() + s[4].size();
            s[2].assign(size - others, 0x00);
        },
        {});
}

// Segment 2 gives up room so that the package still fits the window.
Bytes WithChip3Length(std::size_t length) {
    return WithSegments(
        [length](Segments& s) {
            s[0].assign(length, 0x01);
            s[2].resize(100'000);
        },
        SmallCarrier());
}

struct LoaderCase {
    const char* name;
    std::function<Bytes()> makeFile;
    int code;
};

const std::vector<LoaderCase>& Cases() {
    static const std::vector<LoaderCase> cases = {
        {"Shipped", ShippedFile, 0},
        {"PackageWithoutCarrier", [] { return RawPackage(SyntheticSegments()); }, 0},
        {"EmptyFile", [] { return Bytes{}; }, 60},
        {"ShorterThanOneRecord", [] { return Bytes(33, 0x35); }, 60},
        {"LastRecordMakerTagBroken", [] { return WithLastRecordByte(19, 'X'); }, 61},
        {"LastRecordFirstHalfLowerCase", [] { return WithLastRecordByte(1, 'a'); }, 61},
        {"SignatureCheckedBeforeIds",
         [] {
             Bytes file = WithLastRecordByte(20, 'j');
             file[file.size() - kRecordLength + kRecVendorId] = 'g';
             return file;
         },
         61},
        {"VendorIdNotHex", [] { return WithLastRecordByte(kRecVendorId + 2, 'g'); }, 64},
        {"VendorIdCheckedBeforeProductId",
         [] {
             Bytes file = WithLastRecordByte(kRecVendorId, ' ');
             file[file.size() - kRecordLength + kRecProductId] = 'x';
             return file;
         },
         64},
        {"ProductIdNotHex", [] { return WithLastRecordByte(kRecProductId + 3, 'x'); }, 65},
        {"FiveRecords",
         [] {
             Bytes file = ShippedFile();
             file[SmallCarrier().size() + RecordStart(SyntheticSegments(), 2)] = 'x';
             return file;
         },
         63},
        {"SevenRecordsExtraInsideSegment",
         [] {
             Bytes file = ShippedFile();
             PutSignature(file, SmallCarrier().size() + RecordStart(SyntheticSegments(), 2) +
                                    kRecordLength + 4000);
             return file;
         },
         63},
        {"SevenRecordsExtraBeforeR0",
         [] {
             Bytes carrier = SmallCarrier();
             PutSignature(carrier, 100);
             return Concat(carrier, RawPackage(SyntheticSegments()));
         },
         63},
        {"OverlappingRecords",
         [] {
             // Still six matches, but the stray one starts inside R1.
             Bytes file = ShippedFile();
             const std::size_t base = SmallCarrier().size();
             file[base + RecordStart(SyntheticSegments(), 2)] = 'x';
             PutSignature(file, base + RecordStart(SyntheticSegments(), 1) + 10);
             return file;
         },
         63},
        {"PackageFillsWindow", [] { return PackageOfSize(kSearchWindow); }, 0},
        {"PackageOneByteOverWindow", [] { return PackageOfSize(kSearchWindow + 1); }, 63},
        {"Chip3AtLimit", [] { return WithChip3Length(kMaxChip3Length); }, 0},
        {"Chip3OverLimit", [] { return WithChip3Length(kMaxChip3Length + 1); }, kErrChip3TooLong},
        {"RecordsBackToBack",
         [] {
             return WithSegments(
                 [](Segments& s) {
                     s[3].clear();
                     s[4].clear();
                 },
                 SmallCarrier());
         },
         0},
    };
    return cases;
}

void PrintTo(const LoaderCase& c, std::ostream* os) { *os << c.name; }

class LoaderCodes : public testing::TestWithParam<LoaderCase> {
  protected:
    CTempDir m_dir;
};

TEST_P(LoaderCodes, GivesTheCodeOfTheFirstProblem) {
    const auto path = m_dir.File("package.bin");
    WriteFile(path, GetParam().makeFile());
    const LoadResult result = LoadPackage(path);
    EXPECT_EQ(result.code, GetParam().code);
    // The file stays open for streaming only after a successful load.
    EXPECT_EQ(result.file != nullptr, GetParam().code == 0);
}

INSTANTIATE_TEST_SUITE_P(Table, LoaderCodes, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoaderOpen, MissingFileGives59) {
    CTempDir dir;
    const LoadResult result = LoadPackage(dir.File("absent.bin"));
    EXPECT_EQ(result.code, 59);
    EXPECT_EQ(result.file, nullptr);
    EXPECT_EQ(result.info.m_packageSize, 0u);
}

}  // namespace
}  // namespace tamblor::test
