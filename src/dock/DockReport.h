#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamblor {

// How one image the dock stores compares with the package's.
struct ChipImageResult {
    bool due = false;                 // the run should program it
    bool programmed = false;          // the host erased or wrote it during the run
    std::uint32_t expectedBytes = 0;  // the package's length; 0 when not due
    std::uint32_t storedBytes = 0;
    // Offset of the first byte that differs, or the length of the shorter of the two when one
    // is the start of the other; empty when the stored bytes are exactly the expected ones.
    std::optional<std::uint32_t> firstDifference;

    bool Equal() const { return !firstDifference.has_value(); }
    // A due image holds exactly the package's bytes and was written (an empty one needs no
    // writing); an image that is not due was left alone.
    bool Passed() const {
        return due ? Equal() && (programmed || expectedBytes == 0) : !programmed;
    }
};

// What the emulated dock holds at the end of a run and what it found wrong with the host.
// Chunk counts are those of the images currently stored (an erase or a new Chip 2 programming
// starts them again); sums are 16-bit byte sums of the stored images.
struct DockReport {
    // The dock was told what to expect (the package's images and selector); without that it
    // cannot vouch for any byte, and the run does not pass.
    bool judged = false;
    ChipImageResult chip1;
    std::array<ChipImageResult, 2> chip2;  // file 1/2, file 2/2
    ChipImageResult chip3;

    std::uint32_t chip1Chunks = 0;
    std::array<std::uint32_t, 2> chip2Chunks{};
    std::uint32_t chip3Chunks = 0;
    std::uint16_t chip1Sum = 0;
    std::uint16_t chip3Sum = 0;
    std::vector<std::string> violations;

    // Every chip the run should program holds the package's bytes, and no other was touched.
    bool AllChipsEqual() const;
    // Judged, every chip as it should be, and not one protocol violation.
    bool Passed() const { return judged && AllChipsEqual() && violations.empty(); }
    // One readable line per image that did not pass (or one saying nothing was judged).
    std::vector<std::string> ChipFindings() const;

    // One line, without spaces:
    // {"passed":B,"judged":B,
    //  "chips":{"chip1":C,"chip2":[C,C],"chip3":C},
    //  "chunks":{"chip1":N,"chip2":[N,N],"chip3":N},
    //  "sums":{"chip1":N,"chip3":N},
    //  "violations":["text",...]}
    // where C is
    // {"due":B,"programmed":B,"expected":N,"stored":N,"equal":B,"firstDifference":N|null}
    // with "expected" and "stored" in bytes and "firstDifference" a byte offset into the image.
    std::string ToJson() const;
};

}  // namespace tamblor
