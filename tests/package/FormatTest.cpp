// ParseHex4 and the synthetic images.

#include <gtest/gtest.h>

#include <algorithm>

#include "TestPackages.h"
#include "package/PackageFormat.h"
#include "package/SyntheticImages.h"

namespace tamblor::test {
namespace {

struct HexCase {
    const char* text;
    int result;
    std::uint16_t value;  // expected when result is 0
};

TEST(ParseHex4, Table) {
    const HexCase cases[] = {
        {"10c4", 0, 0x10C4}, {"10C4", 0, 0x10C4}, {"f505", 0, 0xF505}, {"F505", 0, 0xF505},
        {"0000", 0, 0x0000}, {"ffff", 0, 0xFFFF}, {"aB9f", 0, 0xAB9F}, {"10g4", 1, 0},
        {"10c ", 1, 0},      {"0x12", 1, 0},      {"-123", 1, 0},      {"G000", 1, 0},
        {"12/4", 1, 0},      {"12:4", 1, 0},      {"12@4", 1, 0},      {"12`4", 1, 0},
    };
    for (const auto& c : cases) {
        std::uint16_t value = 0xBEEF;
        EXPECT_EQ(ParseHex4(reinterpret_cast<const std::uint8_t*>(c.text), value), c.result)
            << c.text;
        EXPECT_EQ(value, c.result == 0 ? c.value : 0xBEEF) << c.text;
    }
}

TEST(SyntheticImages, LengthsAndSums) {
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        const Bytes& image = SyntheticSegments()[k];
        EXPECT_EQ(image.size(), kSyntheticLengths[k]) << k;
        EXPECT_EQ(ByteSum(image), kSyntheticSums[k]) << k;
    }
    EXPECT_EQ(kSyntheticSums[0], 0xA40F);
    EXPECT_EQ(kSyntheticSums[4], 0x7BBE);
}

TEST(SyntheticImages, HoldNoSignatureByte) {
    // Without the first signature byte no match can start in an image, whatever surrounds it.
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        const Bytes& image = SyntheticSegments()[k];
        EXPECT_EQ(std::count(image.begin(), image.end(), kSignatureBytes[0]), 0) << k;
    }
}

TEST(SyntheticImages, AreDeterministicAndDistinct) {
    EXPECT_EQ(MakeSyntheticImage(0), SyntheticSegments()[0]);
    EXPECT_EQ(MakeSyntheticImage(4), SyntheticSegments()[4]);
    // Not a constant fill: a byte histogram of a pseudo-random image uses most values.
    const Bytes& image = SyntheticSegments()[2];
    std::array<bool, 256> seen{};
    for (const auto b : image) seen[b] = true;
    EXPECT_GE(std::count(seen.begin(), seen.end(), true), 250);
    EXPECT_NE(Bytes(SyntheticSegments()[1].begin(), SyntheticSegments()[1].begin() + 512),
              SyntheticSegments()[3]);
}

}  // namespace
}  // namespace tamblor::test
