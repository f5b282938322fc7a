#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamblor {

// Numbers and names the dock's appearances on an emulated bus. Every arrival is a new
// appearance with the next number, and its path names the bus, the mode the dock arrives in and
// that number ("emu:dock/isp/2"), so a host that kept the old path finds nothing there. A dock
// of a rack has its place instead of "dock" ("emu:emu-2/isp/2"), so docks never share a path.
class CDockAppearances {
  public:
    struct Appearance {
        std::uint64_t number = 0;
        std::string path;
    };

    // `bus`: the path's first part, which tells the emulated buses apart ("emu", "step");
    // `place`: the dock's place on it, if it has one.
    explicit CDockAppearances(std::string_view bus, std::string_view place = {})
        : m_prefix(std::string(bus) + ":" + (place.empty() ? "dock" : std::string(place)) + "/") {}

    // The next appearance, for a dock that arrives in its boot loader when `ispMode`.
    Appearance Next(bool ispMode) {
        const std::uint64_t number = ++m_made;
        return {number, m_prefix + (ispMode ? "isp/" : "ap/") + std::to_string(number)};
    }

  private:
    std::string m_prefix;
    std::uint64_t m_made = 0;
};

}  // namespace tamblor
