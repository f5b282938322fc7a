#include "PackageFormat.h"

namespace tamblor {

int ParseHex4(const std::uint8_t* text, std::uint16_t& value) {
    std::uint16_t result = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) return 1;
        result = static_cast<std::uint16_t>(result * 16 + digit);
    }
    value = result;
    return 0;
}

}  // namespace tamblor
