#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamblor::dock_text {

// Builds the dock's notes about the host only when there is something to note, so the
// well-behaved path never formats a string.

struct Hex {
    unsigned value;
    int digits;
};

inline void AppendPart(std::string& out, std::string_view text) { out += text; }
inline void AppendPart(std::string& out, const char* text) { out += text; }
inline void AppendPart(std::string& out, std::uint64_t value) { out += std::to_string(value); }
inline void AppendPart(std::string& out, Hex hex) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "0x";
    for (int shift = (hex.digits - 1) * 4; shift >= 0; shift -= 4)
        out += kDigits[(hex.value >> shift) & 0xF];
}

template <typename... Parts>
std::string Text(const Parts&... parts) {
    std::string out;
    (AppendPart(out, parts), ...);
    return out;
}

}  // namespace tamblor::dock_text
