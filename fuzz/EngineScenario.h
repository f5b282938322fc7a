#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "HostChecker.h"

namespace tamblor::fuzz {

// One run of the engine against the step dock, written as bytes so that a fuzzer can make it.
//
// Three header bytes choose the run:
//   0: bit 0 the dock starts in its boot loader; bits 1-2 the package's start selector
//      ('1', '2', '3', '0'); bits 3-4 the package's segment sizes (kPackageShapes); bit 5 a
//      restarting dock's arrival is noticed before its removal; bit 6 the dock may break its
//      contract (below); bit 7 the dock already runs the package's version.
//   1: the dock's faults: bit 0 IspErase fails, 1 Chip1Prepare fails, 2 Chip1Erase fails,
//      3 Chip 3's checksum is wrong, 4 Chip 1's checksum is wrong, 5 the dock never returns
//      after IspEnter; bits 6-7 unused.
//   2: bits 0-2 Chip1EraseStatus polls answered "still erasing"; bits 3-5 the interface's
//      report lengths (kReportLengths).
// Then one operation per byte, taken in order (some take the bytes after them):
//   00-9F  hand the dock's next item (an answer, a removal, an arrival) to the engine
//   A0-AF  hand on up to 4 * (low nibble) + 2 items
//   B0-B7  the operator presses Start upgrade
//   B8-BB  the cable is pulled;  BC-BF  it is put back
//   C0-CF  another HID interface arrives
//   D0-DF  the next answer carries bytes 1-8 from the next eight input bytes; a dock that keeps
//          its contract only does that to the answers whose content is free (a chunk's
//          acknowledgement, Chip1End's answer), and never so that it reads as a mode or
//          version reply
//   E0-EF  a report nobody asked for, bytes 1-8 from the next eight (contract broken only)
//   F0-FF  the next answer is lost (contract broken only)
// When the input runs out, everything still queued is handed on.

inline constexpr std::size_t kHeaderBytes = 3;

struct PackageShape {
    // Segments 0 to 4: Chip 3, Chip 2 file 1/2, Chip 2 file 2/2, unused, Chip 1.
    std::array<std::uint32_t, 5> lengths;
};

inline constexpr std::array<PackageShape, 4> kPackageShapes = {{
    {{130, 70, 61, 5, 300}},   // a few chunks in every stream; Chip 1 over a page
    {{0, 0, 1, 0, 0}},         // empty streams
    {{59, 59, 1, 0, 256}},     // streams of exactly one chunk and exactly one page
    {{600, 118, 60, 3, 513}},  // two erase blocks; Chip 1 one byte into its third page
}};

struct ReportLengths {
    std::uint16_t input;
    std::uint16_t output;
};

inline constexpr std::array<ReportLengths, 8> kReportLengths = {{
    {64, 64},
    {64, 64},
    {64, 64},
    {64, 0},  // no output report at all
    {64, 9},
    {7, 64},  // replies cut short
    {1, 64},  // room for the report ID only
    {65, 64},
}};

struct ScenarioResult {
    // Why the run broke a rule; empty when it kept every one.
    std::string finding;
    std::vector<std::string> lines;  // the window's log since the last Start upgrade
    std::size_t steps = 0;
    std::size_t writes = 0;
};

// Runs the scenario the bytes describe and checks the engine against the dock's logic:
// - no report longer than the interface's output report (or than 64 bytes);
// - every data chunk continues a stream of the package in order: sequence numbers from 1, the
//   package's bytes at the right offset, cut as the rules cut them, never past the end;
// - every command report has its request group, end byte and payload, and nothing else;
// - a run that ends claiming success leaves every chip it programmed holding the package's
//   bytes, with no violation noted by the dock since Start (a dock that keeps its contract
//   and an interface with 64-byte reports);
// - the run ends within a bound of delivered items and, against such a dock, never stalls
//   without a word.
ScenarioResult RunScenario(std::span<const std::uint8_t> input);

// The package a scenario runs with, written on first use.
const ScenarioPackage& PackageOf(std::size_t shape, char selector);
inline constexpr char kSelectors[] = {'1', '2', '3', '0'};

}  // namespace tamblor::fuzz
