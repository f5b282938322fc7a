#include "SegmentStream.h"

#include <algorithm>
#include <cstdio>

#include "IspReport.h"
#include "package/PackageFormat.h"

namespace tamblor {
namespace {

std::string Format(const char* pattern, std::uint32_t value) {
    char text[48];
    std::snprintf(text, sizeof text, pattern, static_cast<int>(value));
    return text;
}

}  // namespace

std::size_t SegmentIndex(StreamKind kind) {
    switch (kind) {
        case StreamKind::Chip2File1:
            return kSegChip2File1;
        case StreamKind::Chip2File2:
            return kSegChip2File2;
        case StreamKind::Chip3:
            return kSegChip3;
        case StreamKind::Chip1:
            return kSegChip1;
    }
    return kSegChip3;
}

bool IsPaged(StreamKind kind) { return kind == StreamKind::Chip1; }

std::string StreamTitle(StreamKind kind, std::uint32_t total) {
    switch (kind) {
        case StreamKind::Chip2File1:
            return Format("Chip 2 File 1/2 : %6d BYTES", total);
        case StreamKind::Chip2File2:
            return Format("File 2/2 : %6d BYTES", total);
        case StreamKind::Chip3:
            return Format("File 1/1 : %6d BYTES", total);
        case StreamKind::Chip1:
            return Format("Chip 1 File 1/1 : %6d BYTES", total);
    }
    return {};
}

std::string StreamProgressText(StreamKind kind, std::uint32_t sent, std::uint32_t percent) {
    if (kind == StreamKind::Chip2File2 && percent == 0) return "Wait...";
    return Format("%6d", sent);
}

std::string StreamEndText(StreamKind kind, std::uint32_t total) {
    return Format(kind == StreamKind::Chip2File2 ? " %6d" : "%6d", total);
}

std::uint32_t StreamPercent(std::uint32_t sent, std::uint32_t total) {
    return total == 0 ? 100 : sent * 100 / total;
}

std::uint32_t TakePlainChunk(SegmentCursor& cursor) {
    const auto length = std::min<std::uint32_t>(kMaxChunkData, cursor.g_segRemaining);
    cursor.g_segRemaining -= length;
    return length;
}

std::uint32_t TakePagedChunk(SegmentCursor& cursor) {
    const std::uint32_t available = cursor.g_pageLeft == 0 ? kChip1PageSize : cursor.g_pageLeft;
    const auto length =
        std::min({static_cast<std::uint32_t>(kMaxChunkData), cursor.g_segRemaining, available});
    cursor.g_segRemaining -= length;
    cursor.g_pageLeft = static_cast<std::uint8_t>(available - length);
    if (cursor.g_segRemaining == 0) cursor.g_pageLeft = 0;
    return length;
}

}  // namespace tamblor
