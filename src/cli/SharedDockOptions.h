#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dock/DockConfig.h"

namespace tamblor {

// The bounds `status` and `upgrade` share: more emulated docks than a station could hold,
// or a wait longer than a day, is a typing error rather than a plan.
inline constexpr std::uint64_t kMaxDocks = 64;
inline constexpr std::uint64_t kMaxWaitSeconds = 24 * 3600;

// What the options both commands take set.
struct SharedDockOptions {
    std::chrono::seconds& wait;
    std::size_t& docks;
    DockConfig& dock;
};

// Takes --wait, --docks, --device-mode and --device-version. Empty when `name` is none of them,
// otherwise an empty string when the value was taken, or what is wrong with it.
std::optional<std::string> ReadSharedDockOption(std::string_view name, const std::string& value,
                                                SharedDockOptions options);

}  // namespace tamblor
