#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "isp/SegmentStream.h"

namespace tamblor {
namespace {

std::vector<std::uint32_t> Chunks(StreamKind kind, std::uint32_t length, SegmentCursor& cursor) {
    cursor.kind = kind;
    cursor.g_segTotal = cursor.g_segRemaining = length;
    std::vector<std::uint32_t> chunks;
    while (cursor.g_segRemaining != 0) {
        chunks.push_back(IsPaged(kind) ? TakePagedChunk(cursor) : TakePlainChunk(cursor));
    }
    return chunks;
}

std::vector<std::uint32_t> Chunks(StreamKind kind, std::uint32_t length) {
    SegmentCursor cursor;
    return Chunks(kind, length, cursor);
}

struct ChunkCase {
    StreamKind kind;
    std::uint32_t length;
    std::vector<std::uint32_t> chunks;
};

class ChunkCutting : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkCutting, CutsAsTheDeviceExpects) {
    EXPECT_EQ(Chunks(GetParam().kind, GetParam().length), GetParam().chunks);
}

INSTANTIATE_TEST_SUITE_P(Table, ChunkCutting,
                         ::testing::Values(ChunkCase{StreamKind::Chip3, 59, {59}},
                                           ChunkCase{StreamKind::Chip3, 60, {59, 1}},
                                           ChunkCase{StreamKind::Chip1, 256, {59, 59, 59, 59, 20}},
                                           ChunkCase{
                                               StreamKind::Chip1, 300, {59, 59, 59, 59, 20, 44}},
                                           ChunkCase{StreamKind::Chip1, 250, {59, 59, 59, 59, 14}},
                                           ChunkCase{StreamKind::Chip3, 0, {}}));

struct CountCase {
    StreamKind kind;
    std::uint32_t length;
    std::size_t count;
    std::uint32_t last;
};

class ShippedStreams : public ::testing::TestWithParam<CountCase> {};

TEST_P(ShippedStreams, ChunkCountsAndLastChunk) {
    const auto chunks = Chunks(GetParam().kind, GetParam().length);
    EXPECT_EQ(chunks.size(), GetParam().count);
    EXPECT_EQ(chunks.back(), GetParam().last);
    EXPECT_EQ(std::accumulate(chunks.begin(), chunks.end(), 0u), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Table, ShippedStreams,
                         ::testing::Values(CountCase{StreamKind::Chip2File1, 5186, 88, 53},
                                           CountCase{StreamKind::Chip2File2, 262144, 4444, 7},
                                           CountCase{StreamKind::Chip3, 25856, 439, 14},
                                           CountCase{StreamKind::Chip1, 193500, 3779, 43}));

TEST(SegmentStream, PagedChunksNeverCrossAPage) {
    std::uint32_t offset = 0;
    for (auto length : Chunks(StreamKind::Chip1, 193500)) {
        EXPECT_EQ(offset / 256, (offset + length - 1) / 256) << "at offset " << offset;
        offset += length;
    }
}

TEST(SegmentStream, ANewPagedStreamStartsAFreshPage) {
    SegmentCursor cursor;
    Chunks(StreamKind::Chip1, 59, cursor);
    // A paged stream that ends mid-page must not leave its page behind for the next stream.
    EXPECT_EQ(cursor.g_pageLeft, 0);
    EXPECT_EQ(Chunks(StreamKind::Chip1, 256, cursor),
              (std::vector<std::uint32_t>{59, 59, 59, 59, 20}));
}

TEST(SegmentStream, ProgressTexts) {
    EXPECT_EQ(StreamTitle(StreamKind::Chip2File1, 5186), "Chip 2 File 1/2 :   5186 BYTES");
    EXPECT_EQ(StreamTitle(StreamKind::Chip2File2, 262144), "File 2/2 : 262144 BYTES");
    EXPECT_EQ(StreamTitle(StreamKind::Chip3, 25856), "File 1/1 :  25856 BYTES");
    EXPECT_EQ(StreamTitle(StreamKind::Chip1, 193500), "Chip 1 File 1/1 : 193500 BYTES");
    EXPECT_EQ(StreamProgressText(StreamKind::Chip2File2, 2596, 0), "Wait...");
    EXPECT_EQ(StreamProgressText(StreamKind::Chip2File2, 2655, 1), "  2655");
    EXPECT_EQ(StreamProgressText(StreamKind::Chip3, 59, 0), "    59");
    EXPECT_EQ(StreamEndText(StreamKind::Chip2File2, 262144), " 262144");
    EXPECT_EQ(StreamEndText(StreamKind::Chip3, 0), "     0");
    EXPECT_EQ(StreamPercent(15281, 25856), 59u);
    EXPECT_EQ(StreamPercent(2655, 262144), 1u);
}

}  // namespace
}  // namespace tamblor
