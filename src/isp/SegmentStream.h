#pragma once

#include <cstdint>
#include <string>

namespace tamblor {

// The four streams of the upgrade sequence.
enum class StreamKind { Chip2File1, Chip2File2, Chip3, Chip1 };

// Where the stream of one segment stands.
struct SegmentCursor {
    StreamKind kind = StreamKind::Chip3;
    std::uint32_t g_segTotal = 0;
    std::uint32_t g_segRemaining = 0;
    std::uint32_t g_segOffset = 0;  // file offset of the next byte to send
    std::uint8_t g_pageLeft = 0;    // paged streams: bytes left in the current 256-byte page
};

std::size_t SegmentIndex(StreamKind kind);
bool IsPaged(StreamKind kind);
std::string StreamTitle(StreamKind kind, std::uint32_t total);
// The progress line of a step, with the bytes sent before its chunk.
std::string StreamProgressText(StreamKind kind, std::uint32_t sent, std::uint32_t percent);
std::string StreamEndText(StreamKind kind, std::uint32_t total);
// Percentage sent, rounded down, in 32-bit arithmetic.
std::uint32_t StreamPercent(std::uint32_t sent, std::uint32_t total);

// Length of the next chunk, advancing the cursor's remaining count (and page, when paged).
std::uint32_t TakePlainChunk(SegmentCursor& cursor);
std::uint32_t TakePagedChunk(SegmentCursor& cursor);

}  // namespace tamblor
