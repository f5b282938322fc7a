#include "PackageFormat.h"

namespace tamblor {

int ParseHex4(const std::uint8_t* text, std::uint16_t& value) {
    std::uint16_t result = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t c = text[i];
        std::uint16_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint16_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint16_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint16_t>(c - 'a' + 10);
        } else {
            return 1;
        }
        result = static_cast<std::uint16_t>(result * 16 + digit);
    }
    value = result;
    return 0;
}

}  // namespace tamblor
