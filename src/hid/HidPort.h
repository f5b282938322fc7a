#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamblor {

// Attributes of an opened HID interface (HIDD_ATTRIBUTES on Windows, sysfs on Linux).
struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// Capabilities of an interface's top-level collection; report lengths include the ID byte.
struct HidCaps {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
};

// One HID interface (top-level collection) in the platform's enumeration order. Empty
// attributes or caps mean the platform could not open or query the interface.
struct HidInterfaceInfo {
    std::string path;
    std::optional<HidAttributes> attributes;
    std::optional<HidCaps> caps;
    // The report IDs of the collection's input reports, where its path may also carry other
    // collections' reports (a hidraw node of a device that numbers its reports; under Wine, the
    // handle of a device's first collection). Empty where the path carries this collection's
    // reports only, or its reports carry no ID.
    std::vector<std::uint8_t> inputReportIds{};
    // Where the device is plugged in, a name that stays the same while the device restarts
    // (on Linux the USB port chain "BUSNUM-DEVPATH", such as "3-1.4"). Empty where the platform
    // cannot tell; such a device cannot be claimed beyond its path.
    std::string place{};
};

// A place as a platform names one: letters, digits, '.', '-' and '_', 64 at most, and not
// beginning with '.' or '-'. A name outside this set never names a port, and never becomes a
// file name or an option.
inline bool IsPlaceName(std::string_view place) {
    constexpr std::size_t kMaxLength = 64;
    if (place.empty() || place.size() > kMaxLength || place.front() == '.' ||
        place.front() == '-') {
        return false;
    }
    for (const char c : place) {
        const bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                             (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '_';
        if (!allowed) return false;
    }
    return true;
}

class IHidReadChannel {
  public:
    virtual ~IHidReadChannel() = default;
    // Blocks until an input report arrives and copies it into `buffer`; returns the number of
    // bytes delivered (0 for an empty read), or -1 when the channel failed or was cancelled.
    virtual int ReadReport(std::span<std::uint8_t> buffer) = 0;
    // Makes a blocked ReadReport return -1, and every later one at once. Any thread.
    virtual void Cancel() = 0;
};

class IHidWriteChannel {
  public:
    virtual ~IHidWriteChannel() = default;
    // Writes one output report of exactly the bytes given; returns 0 when it was written or
    // queued, otherwise the platform's error code. The channel does not keep `report`.
    virtual std::uint32_t WriteReport(std::span<const std::uint8_t> report) = 0;
};

enum class DeviceChangeKind { Arrival, Removal };

struct DeviceChange {
    DeviceChangeKind kind = DeviceChangeKind::Arrival;
    std::string path;
    // The place of the interface (HidInterfaceInfo::place) where the platform tells it with the
    // change; empty where it cannot.
    std::string place{};
};

using DeviceChangeSink = std::function<void(const DeviceChange&)>;

// A hold on a place: while it lives, no other copy of the tool is granted the same place.
class IDockClaim {
  public:
    virtual ~IDockClaim() = default;
};

enum class ClaimOutcome {
    Granted,        // the place is ours (or the platform has nothing to claim)
    HeldElsewhere,  // another copy of the tool holds the place
    Unavailable,    // the place cannot be claimed on this machine; only the path is held
};

struct ClaimResult {
    ClaimOutcome outcome = ClaimOutcome::Granted;
    // Set when Granted through a lock; the claim ends when it is destroyed.
    std::unique_ptr<IDockClaim> hold;
    // Why, when Unavailable.
    std::string detail;
};

// The HID port: everything the engine needs of the machine's HID stack.
class IHidBus {
  public:
    virtual ~IHidBus() = default;
    virtual std::vector<HidInterfaceInfo> EnumerateInterfaces() = 0;
    // Null when the interface cannot be opened for that direction.
    virtual std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) = 0;
    // Reads the input reports of one enumerated interface and none of the other collections
    // that may share its path. Platforms that give each collection a path of its own need not
    // override it.
    virtual std::unique_ptr<IHidReadChannel> OpenInterfaceRead(const HidInterfaceInfo& info) {
        return OpenRead(info.path);
    }
    virtual std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) = 0;
    // Arrivals and removals of HID interfaces. The sink may be called on any thread; the
    // front-end hands each change to its own thread before it reaches the engine.
    virtual void SetDeviceChangeSink(DeviceChangeSink sink) = 0;
    // Some platforms deliver changes through a descriptor that the front-end's event loop
    // watches: when it becomes readable, the front-end calls PumpDeviceChanges() on its own
    // thread, which calls the sink there. -1 when the bus calls the sink by itself.
    virtual int DeviceChangeDescriptor() const { return -1; }
    virtual void PumpDeviceChanges() {}
    // A line of advice after an interface failed to open (for instance missing permissions);
    // empty when there is nothing to add.
    virtual std::string OpenFailureHint() const { return {}; }
    // Claims the interface's place for this copy of the tool, so that a dock that comes back
    // from a restart on another path is still ours. Never waits. A copy refused a place hears
    // of its release as an Arrival (so it rescans), where the platform can tell; the default
    // grants every place.
    virtual ClaimResult ClaimPlace(const HidInterfaceInfo& info) {
        (void)info;
        return {};
    }
};

}  // namespace tamblor
