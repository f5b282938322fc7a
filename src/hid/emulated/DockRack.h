#pragma once

#include <memory>
#include <string>
#include <vector>

#include "EmulatedDock.h"

namespace tamblor {

// Several emulated docks on one bus, each on a port of its own, as a hub full of docks shows
// them: one enumeration lists them all, and a path opens whichever dock has it.
class CDockRack final : public IHidBus {
  public:
    struct Slot {
        DockConfig dock;
        EmulatedBusOptions bus;  // a slot without a place gets "emu-K" (K from 1)
    };
    explicit CDockRack(std::vector<Slot> slots);
    // One dock per configuration, each presented as `bus` says, at its own place.
    explicit CDockRack(const std::vector<DockConfig>& configs, const EmulatedBusOptions& bus = {});

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    // Every dock calls the sink from its own worker, so the sink must take calls on any thread.
    void SetDeviceChangeSink(DeviceChangeSink sink) override;

    std::size_t Size() const { return m_docks.size(); }
    CEmulatedDock& Dock(std::size_t index) { return *m_docks.at(index); }
    // The dock at `place`, or null.
    CEmulatedDock* DockAt(const std::string& place);
    const std::string& PlaceOf(std::size_t index) const { return m_places.at(index); }

  private:
    std::vector<std::unique_ptr<CEmulatedDock>> m_docks;
    std::vector<std::string> m_places;
};

// "emu-1", "emu-2", ...: the place of the rack's K-th dock (from 1) when its configuration
// names none.
std::string RackPlace(std::size_t number);

}  // namespace tamblor
