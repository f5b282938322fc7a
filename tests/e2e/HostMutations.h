#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "MutatingBus.h"

namespace tamblor::test {

// What a mutation did, for the test to hold the dock's findings against.
struct MutationTrace {
    // Offset, in the image of the stream it struck, of the first byte it changed.
    std::optional<std::uint32_t> firstChangedByte;
    // A chunk the mutation sent early and then held back matched the host's own.
    bool heldBackMatched = true;
};

using Trace = std::shared_ptr<MutationTrace>;
using Image = std::shared_ptr<const std::vector<std::uint8_t>>;

// Each alters the nth chunk of `stream` (or the first report of a command) as a faulty host
// would; the ones that need the bytes of the chunks still to come take the stream's image.
HostMutation FlipByte(Stream stream, std::uint32_t n, Trace trace);
HostMutation SwapBytes(Stream stream, std::uint32_t n, Trace trace);
// Chunks n and n + 1, both of the same length, carry each other's data; their sequence
// numbers stay in order.
HostMutation SwapChunks(Stream stream, std::uint32_t n, Image image, Trace trace);
HostMutation DropChunk(Stream stream, std::uint32_t n, Trace trace);
// The chunk loses its last byte.
HostMutation ShortenChunk(Stream stream, std::uint32_t n, Trace trace);
// Chunk n + 1 goes out right behind chunk n, before the dock's answer to n was read; the
// host's own chunk n + 1 is then held back. Every byte still arrives, in order.
HostMutation TwoInFlight(Stream stream, std::uint32_t n, Image image, bool paged, Trace trace);
// Chip 2's file 2/2 carries on with file 1/2's sequence numbers.
HostMutation SkipSequenceReset(std::uint16_t file1Chunks);
// The first chunk of `stream` shorter than a full chunk carries a non-zero byte right after
// its data, where the dock must find zeros.
HostMutation SetChunkTailByte(Stream stream);
HostMutation SetUnnamedByte(IspCommand command, std::size_t index);
HostMutation SetExitVersion(std::array<std::uint8_t, 4> version);

}  // namespace tamblor::test
