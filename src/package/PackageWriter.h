#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PackageFormat.h"

namespace tamblor {

// The fields written into every trailer record, as text.
struct RecordFields {
    std::string version = "V103";     // letter, then three digits
    std::string date = "2017/08/11";  // ten characters of free text
    std::string vid = "10c4";         // four hexadecimal digits
    std::string pid = "f505";         // four hexadecimal digits
    std::string selector = "1";       // one character
};

using SegmentViews = std::array<std::span<const std::uint8_t>, kSegmentCount>;

struct PackageBuild {
    std::vector<std::uint8_t> bytes;  // R0 S0 R1 ... S4 R5; empty when refused
    std::string error;                // why it was refused; empty on success
};

// Empty when every field has its shape, otherwise a message naming the first bad field.
std::string CheckRecordFields(const RecordFields& fields);

// The 34-byte record of the fields. Meant for fields that passed CheckRecordFields; a longer
// field is cut to its width.
std::array<std::uint8_t, kRecordLength> BuildRecord(const RecordFields& fields);

// Builds the package that goes after `carrier`, refusing anything the loader would misread:
// malformed fields, a segment 0 the ISP commands cannot describe, a package that does not fit
// the search window, and a record signature anywhere in the window except at the six records.
// Only the end of the carrier shares the window with the package, so `carrier` may be just
// that end (its last search-window length of bytes, or all of a shorter carrier) and
// `carrierOffset` the carrier offset where it begins, for the messages.
PackageBuild BuildPackage(const RecordFields& fields, const SegmentViews& segments,
                          std::span<const std::uint8_t> carrier, std::uint64_t carrierOffset = 0);

}  // namespace tamblor
