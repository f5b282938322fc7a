#pragma once
// Windows names one interface in lower case when it lists it and in upper case when it
// announces it; no platform names two interfaces apart by case alone.
#include <algorithm>
#include <cctype>
#include <string_view>

namespace tamblor {

inline bool SameDevicePath(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace tamblor
