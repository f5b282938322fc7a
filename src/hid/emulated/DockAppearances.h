#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamblor {

// Numbers and names the dock's appearances on an emulated bus. Every arrival is a new
// appearance with the next number, and its path names the bus, the mode the dock arrives in and
// that number ("emu:dock/isp/2"), so a host that kept the old path finds nothing there.
class CDockAppearances {
  public:
    struct Appearance {
        std::uint64_t number = 0;
        std::string path;
    };

    // `bus`: the path's first part, which tells the emulated buses apart ("emu", "step").
    explicit CDockAppearances(std::string_view bus) : m_bus(bus) {}

    // The next appearance, for a dock that arrives in its boot loader when `ispMode`.
    Appearance Next(bool ispMode) {
        const std::uint64_t number = ++m_made;
        return {number, m_bus + ":dock/" + (ispMode ? "isp/" : "ap/") + std::to_string(number)};
    }

  private:
    std::string m_bus;
    std::uint64_t m_made = 0;
};

}  // namespace tamblor
