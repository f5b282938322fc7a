#include "SyntheticImages.h"

#include <algorithm>
#include <stdexcept>

namespace tamblor {
namespace {

constexpr std::uint64_t kSeed = 0x7A3B1C5D2E4F6071ull;
// The first signature byte. An image without it cannot hold a signature match, neither inside
// itself nor together with the records around it.
constexpr std::uint8_t kBannedByte = kSignatureBytes[0];

class CSplitMix64 {
  public:
    explicit CSplitMix64(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t m_state;
};

void Fill(std::vector<std::uint8_t>& image, std::uint64_t seed) {
    CSplitMix64 random(seed);
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (i % 8 == 0) bits = random.Next();
        auto byte = static_cast<std::uint8_t>(bits >> (8 * (i % 8)));
        if (byte == kBannedByte) byte ^= 0x80;
        image[i] = byte;
    }
}

// Moves bytes up or down until the 16-bit sum is `target`, never onto the banned byte. The
// change needed is at most 32,768 in either direction, which the shortest image can absorb.
void AdjustSum(std::vector<std::uint8_t>& image, std::uint16_t target) {
    const auto current = ByteSum(image);
    int delta = static_cast<std::int16_t>(static_cast<std::uint16_t>(target - current));
    for (std::size_t i = 0; i < image.size() && delta != 0; ++i) {
        const int byte = image[i];
        int step = delta > 0 ? std::min(255 - byte, delta) : -std::min(byte, -delta);
        if (byte + step == kBannedByte) step += delta > 0 ? -1 : 1;
        image[i] = static_cast<std::uint8_t>(byte + step);
        delta -= step;
    }
    if (delta != 0) throw std::logic_error("synthetic image too short for its byte sum");
}

}  // namespace

std::vector<std::uint8_t> MakeSyntheticImage(std::size_t segment) {
    if (segment >= kSegmentCount) throw std::out_of_range("no such segment");
    std::vector<std::uint8_t> image(kSyntheticLengths[segment]);
    Fill(image, kSeed + segment);
    AdjustSum(image, kSyntheticSums[segment]);
    return image;
}

const char* SyntheticImageName(std::size_t segment) {
    static constexpr std::array<const char*, kSegmentCount> kNames = {
        "segment0.bin", "segment1.bin", "segment2.bin", "segment3.bin", "segment4.bin"};
    return kNames.at(segment);
}

}  // namespace tamblor
