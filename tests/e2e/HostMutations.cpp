#include "HostMutations.h"

#include <algorithm>
#include <utility>

namespace tamblor::test {
namespace {

bool IsTarget(const HostReportPlace& place, Stream stream, std::uint32_t n) {
    return place.stream == stream && place.index == n;
}

std::uint8_t* Data(Report& report) { return report.data() + kChunkDataIndex; }

// The next chunk of a stream, cut as the host cuts it.
Report ChunkAt(const std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint16_t sequence,
               bool paged) {
    std::size_t length = std::min<std::size_t>(kMaxChunkData, image.size() - offset);
    if (paged) length = std::min<std::size_t>(length, kChip1PageSize - offset % kChip1PageSize);
    return MakeChunkReport(sequence, std::span(image).subspan(offset, length));
}

}  // namespace

HostMutation FlipByte(Stream stream, std::uint32_t n, Trace trace) {
    return [=](const HostReportPlace& place, const Report&, HostReportEdit& edit) {
        if (!IsTarget(place, stream, n)) return;
        constexpr std::size_t kAt = 10;
        Data(edit.send[0])[kAt] ^= 0x01;
        trace->firstChangedByte = place.offset + kAt;
    };
}

HostMutation SwapBytes(Stream stream, std::uint32_t n, Trace trace) {
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (!IsTarget(place, stream, n)) return;
        // Two neighbours that differ, or the swap would change nothing.
        const std::size_t length = report[1];
        for (std::size_t i = 0; i + 1 < length; ++i) {
            std::uint8_t* data = Data(edit.send[0]);
            if (data[i] == data[i + 1]) continue;
            std::swap(data[i], data[i + 1]);
            trace->firstChangedByte = place.offset + static_cast<std::uint32_t>(i);
            return;
        }
    };
}

HostMutation SwapChunks(Stream stream, std::uint32_t n, Image image, Trace trace) {
    auto held = std::make_shared<Report>();
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (place.stream != stream) return;
        const std::size_t length = report[1];
        if (place.index == n) {
            *held = report;
            const auto* next = image->data() + place.offset + length;
            std::copy_n(next, length, Data(edit.send[0]));
            const auto [a, b] = std::mismatch(report.begin() + kChunkDataIndex,
                                              report.begin() + kChunkDataIndex + length, next);
            trace->firstChangedByte =
                place.offset + static_cast<std::uint32_t>(a - report.begin() - kChunkDataIndex);
        } else if (place.index == n + 1) {
            std::copy_n(held->begin() + kChunkDataIndex, length, Data(edit.send[0]));
        }
    };
}

HostMutation DropChunk(Stream stream, std::uint32_t n, Trace trace) {
    return [=](const HostReportPlace& place, const Report&, HostReportEdit& edit) {
        if (!IsTarget(place, stream, n)) return;
        edit.send.clear();
        edit.acknowledgeHere = true;
        trace->firstChangedByte = place.offset;
    };
}

HostMutation ShortenChunk(Stream stream, std::uint32_t n, Trace trace) {
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (!IsTarget(place, stream, n)) return;
        edit.send[0][1] = static_cast<std::uint8_t>(report[1] - 1);
        trace->firstChangedByte = place.offset + report[1] - 1u;
    };
}

HostMutation TwoInFlight(Stream stream, std::uint32_t n, Image image, bool paged, Trace trace) {
    auto early = std::make_shared<Report>();
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (place.stream != stream) return;
        if (place.index == n) {
            const auto sequence = static_cast<std::uint16_t>(report[2] | report[3] << 8);
            *early = ChunkAt(*image, place.offset + report[1],
                             static_cast<std::uint16_t>(sequence + 1), paged);
            edit.send.push_back(*early);
        } else if (place.index == n + 1) {
            // The dock has already answered the copy sent early; that answer serves this one.
            trace->heldBackMatched = report == *early;
            edit.send.clear();
        }
    };
}

HostMutation SkipSequenceReset(std::uint16_t file1Chunks) {
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (place.stream != Stream::Chip2File2) return;
        const auto sequence =
            static_cast<std::uint16_t>((report[2] | report[3] << 8) + file1Chunks);
        edit.send[0][2] = static_cast<std::uint8_t>(sequence);
        edit.send[0][3] = static_cast<std::uint8_t>(sequence >> 8);
    };
}

HostMutation SetChunkTailByte(Stream stream) {
    auto struck = std::make_shared<bool>(false);
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        const std::size_t length = report[1];
        if (place.stream != stream || *struck || length >= kMaxChunkData) return;
        *struck = true;
        Data(edit.send[0])[length] = 0x01;
    };
}

HostMutation SetUnnamedByte(IspCommand command, std::size_t index) {
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (place.stream != Stream::Command || place.index != 1 ||
            report[4] != static_cast<std::uint8_t>(command)) {
            return;
        }
        edit.send[0][index] = 0x01;
    };
}

HostMutation SetExitVersion(std::array<std::uint8_t, 4> version) {
    return [=](const HostReportPlace& place, const Report& report, HostReportEdit& edit) {
        if (place.stream != Stream::Command ||
            report[4] != static_cast<std::uint8_t>(IspCommand::IspExit)) {
            return;
        }
        std::copy(version.begin(), version.end(), edit.send[0].begin() + 9);
    };
}

}  // namespace tamblor::test
