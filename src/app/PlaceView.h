#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "hid/HidPort.h"

namespace tamblor {

// What the dock at a place said of itself in answer to the scan's queries.
struct DockSighting {
    std::optional<bool> ispMode;                         // the last mode reply
    std::optional<std::array<std::uint8_t, 4>> version;  // the last version reply
};

// The bus as one engine sees it: only the interfaces at one place. The engine's scan takes the
// first matching interface it sees, so an engine bound to a view cannot take another dock for
// its own, nor be refused at another dock's port while its dock restarts. Channels and claims
// pass through to the bus. Device changes do not reach the view by themselves: the front-end
// owns the bus's one sink and hands each change to every view (Notify).
class CPlaceView final : public IHidBus {
  public:
    // An empty place sees the whole bus (a platform that cannot tell places).
    CPlaceView(IHidBus& bus, std::string place);

    const std::string& Place() const { return m_place; }

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidReadChannel> OpenInterfaceRead(const HidInterfaceInfo& info) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink sink) override;
    std::string OpenFailureHint() const override;
    ClaimResult ClaimPlace(const HidInterfaceInfo& info) override;

    // Hands a change of the bus to the view's sink, unless it is the arrival of an interface at
    // another place: an engine must not rescan whenever a neighbour arrives (while it waits
    // for an answer, the rescan's query would go out beside the one still owed). The place
    // is the change's own, or else the enumeration's; an arrival neither can place (an
    // interface already gone again) is handed on. Call it on the thread the engine takes changes
    // on.
    void Notify(const DeviceChange& change);

    // What the dock answered to the mode and version queries so far.
    DockSighting Sighting() const;

  private:
    class SniffingChannel;
    bool AtPlace(const HidInterfaceInfo& info) const;
    std::unique_ptr<IHidReadChannel> Sniff(std::unique_ptr<IHidReadChannel> channel);

    IHidBus& m_bus;
    const std::string m_place;
    DeviceChangeSink m_sink;
    struct Shared {
        std::mutex lock;
        DockSighting sighting;
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

}  // namespace tamblor
