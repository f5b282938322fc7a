#pragma once

#include <string>
#include <string_view>

namespace tamblor::win {

// The core speaks UTF-8, the platform UTF-16.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace tamblor::win
