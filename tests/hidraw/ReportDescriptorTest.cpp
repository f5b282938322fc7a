// Report lengths and collections as the Windows HID stack would present them, over descriptor
// shapes found in real devices.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "HidrawDiscovery.h"
#include "ReportDescriptor.h"

namespace tamblor {

bool operator==(const TopLevelCollection& a, const TopLevelCollection& b) {
    return a.usagePage == b.usagePage && a.usage == b.usage &&
           a.inputReportByteLength == b.inputReportByteLength &&
           a.outputReportByteLength == b.outputReportByteLength &&
           a.featureReportByteLength == b.featureReportByteLength &&
           a.inputReportIds == b.inputReportIds;
}

void PrintTo(const TopLevelCollection& c, std::ostream* os) {
    *os << std::hex << "{page 0x" << c.usagePage << " usage 0x" << c.usage << std::dec << " in "
        << c.inputReportByteLength << " out " << c.outputReportByteLength << " feature "
        << c.featureReportByteLength << " input IDs";
    for (const auto id : c.inputReportIds) *os << " " << int{id};
    *os << "}";
}

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The dock's own interface: vendor page 0xFF00, usage 2, report ID 2, 63 data bytes each way.
// The logical maximum is a four-byte item, so a wrong item size would derail the parse.
const Bytes kDockVendor = {0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x15,
                           0x00, 0x27, 0xFF, 0x00, 0x00, 0x00, 0x75, 0x08, 0x95, 0x3F,
                           0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

// Boot keyboard without report IDs: 8 input bytes, 5 LED bits padded to one output byte.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// Boot mouse: the fields sit in a physical collection nested in the application collection.
const Bytes kBootMouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,
                          0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,
                          0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05,
                          0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81,
                          0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};

// Keyboard with report ID 1: 7 input bytes, 1 output byte.
const Bytes kNumberedKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
    0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
    0x26, 0xFF, 0x00, 0x19, 0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00, 0x05, 0x08, 0x19, 0x01, 0x29,
    0x05, 0x95, 0x05, 0x75, 0x01, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0xC0};

// Consumer control with report ID 3: one 16-bit input field.
const Bytes kConsumer = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x15,
                         0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A, 0xFF, 0x03,
                         0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0};

// One vendor collection with three reports: the longest of each kind counts.
const Bytes kSeveralReports = {0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x08, 0x85,
                               0x01, 0x95, 0x07, 0x09, 0x01, 0x81, 0x02, 0x85, 0x02, 0x95,
                               0x3F, 0x09, 0x01, 0x81, 0x02, 0x85, 0x03, 0x95, 0x1F, 0x09,
                               0x01, 0x91, 0x02, 0x95, 0x08, 0xB1, 0x02, 0xC0};

// Push saves size 8 / count 63; a one-byte bit field follows; Pop restores 63 bytes.
const Bytes kPushPop = {0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02,
                        0x75, 0x08, 0x95, 0x3F, 0xA4, 0x75, 0x01, 0x95, 0x08,
                        0x81, 0x02, 0xB4, 0x81, 0x02, 0x91, 0x02, 0xC0};

// A long item (vendor data) ahead of the collection is skipped whole.
const Bytes kLongItem = Join({{0xFE, 0x03, 0x10, 0xA1, 0xC0, 0x85}, kDockVendor});

// A four-byte usage names its own page, whatever the global page says.
const Bytes kExtendedUsage = {0x05, 0x01, 0x0B, 0x02, 0x00, 0x00, 0xFF, 0xA1,
                              0x01, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0xC0};

// The usage page comes after the usage; it is in force at the collection, so it applies.
const Bytes kPageAfterUsage = {0x09, 0x02, 0x06, 0x00, 0xFF, 0xA1, 0x01,
                               0x75, 0x01, 0x95, 0x01, 0x91, 0x02, 0xC0};

// Fields outside every collection belong to none.
const Bytes kFieldOutsideCollection = Join({{0x75, 0x08, 0x95, 0x10, 0x81, 0x02}, kBootMouse});

struct ParseCase {
    std::string name;
    Bytes bytes;
    std::vector<TopLevelCollection> collections;
    bool usesReportIds;
};

std::ostream& operator<<(std::ostream& os, const ParseCase& c) { return os << c.name; }

class ReportDescriptorParse : public testing::TestWithParam<ParseCase> {};

TEST_P(ReportDescriptorParse, GivesCollectionsAndLengths) {
    const ParseCase& c = GetParam();
    const auto info = ParseReportDescriptor(c.bytes);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->collections, c.collections);
    EXPECT_EQ(info->usesReportIds, c.usesReportIds);
}

INSTANTIATE_TEST_SUITE_P(
    RealWorldShapes, ReportDescriptorParse,
    testing::Values(
        ParseCase{"DockVendor", kDockVendor, {{0xFF00, 0x0002, 64, 64, 0, {2}}}, true},
        ParseCase{"BootKeyboard", kBootKeyboard, {{0x0001, 0x0006, 9, 2, 0, {0}}}, false},
        ParseCase{"BootMouseNested", kBootMouse, {{0x0001, 0x0002, 4, 0, 0, {0}}}, false},
        ParseCase{"KeyboardAndConsumer",
                  Join({kNumberedKeyboard, kConsumer}),
                  {{0x0001, 0x0006, 8, 2, 0, {1}}, {0x000C, 0x0001, 3, 0, 0, {3}}},
                  true},
        ParseCase{"VendorSecondOfTwo",
                  Join({kNumberedKeyboard, kDockVendor}),
                  {{0x0001, 0x0006, 8, 2, 0, {1}}, {0xFF00, 0x0002, 64, 64, 0, {2}}},
                  true},
        ParseCase{
            "SeveralReportsInOne", kSeveralReports, {{0xFF00, 0x0002, 64, 32, 9, {1, 2}}}, true},
        ParseCase{"PushPop", kPushPop, {{0xFF00, 0x0002, 65, 64, 0, {2}}}, true},
        ParseCase{"LongItemSkipped", kLongItem, {{0xFF00, 0x0002, 64, 64, 0, {2}}}, true},
        ParseCase{"ExtendedUsage", kExtendedUsage, {{0xFF00, 0x0002, 65, 0, 0, {0}}}, false},
        ParseCase{"PageAfterUsage", kPageAfterUsage, {{0xFF00, 0x0002, 0, 2, 0}}, false},
        ParseCase{"FieldOutsideCollection",
                  kFieldOutsideCollection,
                  {{0x0001, 0x0002, 4, 0, 0, {0}}},
                  false},
        ParseCase{"Empty", {}, {}, false}),
    [](const auto& info) { return info.param.name; });

struct MalformedCase {
    std::string name;
    Bytes bytes;
};

std::ostream& operator<<(std::ostream& os, const MalformedCase& c) { return os << c.name; }

class ReportDescriptorMalformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(ReportDescriptorMalformed, IsRejected) {
    EXPECT_FALSE(ParseReportDescriptor(GetParam().bytes).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportDescriptorMalformed,
    testing::Values(MalformedCase{"TruncatedShortItem", {0x05, 0x01, 0x06, 0x00}},
                    MalformedCase{"TruncatedFourByteItem", {0xA1, 0x01, 0x27, 0xFF, 0x00, 0xC0}},
                    MalformedCase{"TruncatedLongItem", {0xFE, 0x05, 0x10, 0xAA}},
                    MalformedCase{"PopWithoutPush", {0x05, 0x01, 0xB4}},
                    MalformedCase{"EndWithoutCollection", {0x05, 0x01, 0xC0}},
                    MalformedCase{"UnclosedCollection", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01}},
                    MalformedCase{"ReportIdZero",
                                  {0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x00, 0xC0}},
                    MalformedCase{"ReportTooLong",
                                  {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x96, 0xFF,
                                   0xFF, 0x81, 0x02, 0xC0}},
                    MalformedCase{"SizeTimesCountOverflows",
                                  {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x77, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0}}),
    [](const auto& info) { return info.param.name; });

TEST(HidId, ParsesBusVendorProduct) {
    struct Case {
        const char* text;
        std::optional<std::pair<std::uint16_t, std::uint16_t>> ids;
    };
    const Case cases[] = {
        {"0003:000010C4:0000F505", std::pair{0x10C4, 0xF505}},
        {"0003:000010c4:0000f505", std::pair{0x10C4, 0xF505}},
        {"0005:0000046D:0000B01A", std::pair{0x046D, 0xB01A}},
        {"0003:000010C4", std::nullopt},
        {"0003:000010C4:", std::nullopt},
        {"0003:0000X0C4:0000F505", std::nullopt},
        {"", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text == nullptr ? "(null)" : c.text);
        const auto attributes = ParseHidId(c.text);
        ASSERT_EQ(attributes.has_value(), c.ids.has_value());
        if (!attributes) continue;
        EXPECT_EQ(attributes->vendorId, c.ids->first);
        EXPECT_EQ(attributes->productId, c.ids->second);
    }
}

}  // namespace
}  // namespace tamblor
