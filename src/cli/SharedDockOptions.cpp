#include "SharedDockOptions.h"

#include "CommandLine.h"

namespace tamblor {

std::optional<std::string> ReadSharedDockOption(std::string_view name, const std::string& value,
                                                SharedDockOptions options) {
    if (name == "--wait") {
        const auto seconds = ParseDecimal(value, kMaxWaitSeconds);
        if (!seconds) {
            return "--wait takes a whole number of seconds from 0 to " +
                   std::to_string(kMaxWaitSeconds) + ", not '" + value + "'";
        }
        options.wait = std::chrono::seconds(*seconds);
        return std::string();
    }
    if (name == "--docks") {
        const auto docks = ParseDecimal(value, kMaxDocks);
        if (!docks || *docks == 0) {
            return "--docks takes a number of docks from 1 to " + std::to_string(kMaxDocks) +
                   ", not '" + value + "'";
        }
        options.docks = *docks;
        return std::string();
    }
    if (name == "--device-mode") {
        if (value != "ap" && value != "isp") return std::string("--device-mode takes ap or isp");
        options.dock.ispMode = value == "isp";
        return std::string();
    }
    if (name == "--device-version") {
        if (!ParseDeviceVersion(value, options.dock.version))
            return std::string("--device-version takes a letter and three digits, e.g. V102");
        return std::string();
    }
    return std::nullopt;
}

}  // namespace tamblor
