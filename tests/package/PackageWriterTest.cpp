#include <gtest/gtest.h>

#include <functional>

#include "TestPackages.h"
#include "package/PackageWriter.h"

namespace tamblor::test {
namespace {

std::string Text(const std::array<std::uint8_t, kRecordLength>& record) {
    return std::string(record.begin(), record.end());
}

TEST(PackageWriter, RecordOfTheDefaultFields) {
    // Assembled from pieces: the whole record text never stands in one literal.
    const std::string expected = std::string("5A") + "/V103/2017/08/11/" + "QJ" + "/10c4/f505/1/";
    EXPECT_EQ(Text(BuildRecord(RecordFields{})), expected);
}

TEST(PackageWriter, RecordCutsOverlongFieldsToTheirWidth) {
    RecordFields fields;
    fields.version = "V1039999";
    fields.date = "2017/08/11 and more";
    fields.pid = "f50512345";
    fields.selector = "1234567890";
    EXPECT_EQ(BuildRecord(fields), BuildRecord(RecordFields{}));
}

TEST(PackageWriter, PackageIsRecordsAroundTheSegments) {
    const Bytes carrier(100, 0x00);
    const PackageBuild build = BuildPackage(RecordFields{}, Views(SyntheticSegments()), carrier);
    ASSERT_EQ(build.error, "");
    EXPECT_EQ(build.bytes.size(), 487'402u);
    EXPECT_EQ(build.bytes, RawPackage(SyntheticSegments()));
}

struct Refusal {
    const char* name;
    std::function<void(RecordFields&, Segments&, Bytes& carrier)> change;
    const char* message;  // part of the error
};

void SetSignature(Bytes& bytes, std::size_t p) { PutSignature(bytes, p); }

const std::vector<Refusal>& Refusals() {
    static const std::vector<Refusal> cases = {
        {"VersionTooShort", [](auto& f, auto&, auto&) { f.version = "V10"; }, "version"},
        {"VersionWithoutLetter", [](auto& f, auto&, auto&) { f.version = "1103"; }, "version"},
        {"VersionWithHexDigit", [](auto& f, auto&, auto&) { f.version = "V1a3"; }, "version"},
        {"VersionTooLong", [](auto& f, auto&, auto&) { f.version = "V1034"; }, "version"},
        {"DateTooShort", [](auto& f, auto&, auto&) { f.date = "2017/8/11"; }, "date"},
        {"DateWithControlCharacter", [](auto& f, auto&, auto&) { f.date = "2017/08/1\n"; }, "date"},
        {"VendorIdNotHex", [](auto& f, auto&, auto&) { f.vid = "10g4"; }, "vendor ID"},
        {"VendorIdTooShort", [](auto& f, auto&, auto&) { f.vid = "10c"; }, "vendor ID"},
        {"ProductIdTooLong", [](auto& f, auto&, auto&) { f.pid = "f5050"; }, "product ID"},
        {"SelectorEmpty", [](auto& f, auto&, auto&) { f.selector = ""; }, "start selector"},
        {"SelectorTwoCharacters", [](auto& f, auto&, auto&) { f.selector = "12"; },
         "start selector"},
        {"Chip3TooLong", [](auto&, auto& s, auto&) { s[0].assign(kMaxChip3Length + 1, 0x01); },
         "segment 0 is 65536 bytes"},
        {"PackageOverWindow",
         [](auto&, auto& s, auto&) { s[2].resize(s[2].size() + 36'887, 0x00); }, "search window"},
        {"SignatureInsideSegment", [](auto&, auto& s, auto&) { SetSignature(s[2], 100); },
         "segment 2 contains a record signature at byte 100"},
        {"SignatureAcrossSegmentEnd",
         [](auto& f, auto& s, auto&) {
             // 'Q' 'J' at the start of the date of R2 complete a match that starts in segment 1.
             f.date = "QJ17/08/11";
             s[1][s[1].size() - 11] = '5';
             s[1][s[1].size() - 10] = 'A';
         },
         "segment 1 ends in bytes that form a record signature"},
        {"SignatureFromRecordFields",
         [](auto& f, auto& s, auto&) {
             // '5' 'A' as the vendor ID's first digits, 'Q' 'J' in the following segment.
             f.vid = "5A00";
             s[3][7] = 'Q';
             s[3][8] = 'J';
         },
         "the fields of record 3"},
        {"SignatureInCarrierTail",
         [](auto&, auto&, auto& carrier) { SetSignature(carrier, carrier.size() - 50); },
         "end of the carrier"},
    };
    return cases;
}

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class PackageWriterRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(PackageWriterRefuses, WithAMessage) {
    RecordFields fields;
    Segments segments = SyntheticSegments();
    Bytes carrier(200'000, 0x00);
    GetParam().change(fields, segments, carrier);
    const PackageBuild build = BuildPackage(fields, Views(segments), carrier);
    EXPECT_NE(build.error.find(GetParam().message), std::string::npos) << build.error;
    EXPECT_TRUE(build.bytes.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, PackageWriterRefuses, testing::ValuesIn(Refusals()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PackageWriter, AcceptsEdgesOfTheRules) {
    const Bytes carrier(600'000, 0x00);
    Segments segments = SyntheticSegments();
    segments[0].assign(kMaxChip3Length, 0x01);
    segments[2].resize(200'000);
    segments[3].clear();
    RecordFields fields;
    fields.version = "e999";
    fields.date = "free text!";
    fields.vid = "FFFF";
    fields.selector = "/";
    // A signature in the part of the carrier before the search window is never seen.
    Bytes marked = carrier;
    PutSignature(marked, 10);
    const PackageBuild build = BuildPackage(fields, Views(segments), marked);
    EXPECT_EQ(build.error, "");
}

TEST(PackageWriter, PackageFillingTheWholeWindowIsAccepted) {
    Segments segments = SyntheticSegments();
    segments[2].resize(segments[2].size() + 36'886, 0x00);
    const Bytes carrier(10, 0x00);
    const PackageBuild build = BuildPackage(RecordFields{}, Views(segments), carrier);
    EXPECT_EQ(build.error, "");
    EXPECT_EQ(build.bytes.size(), kSearchWindow);
}

}  // namespace
}  // namespace tamblor::test
