#pragma once

#include <cstdint>
#include <string>

namespace tamblor {

// Model code of a USB product ID, or "Device Name error" when the table has none.
std::string LookupModelName(std::uint16_t productId);

}  // namespace tamblor
