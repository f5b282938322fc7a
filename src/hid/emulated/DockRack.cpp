#include "DockRack.h"

namespace tamblor {

std::string RackPlace(std::size_t number) { return "emu-" + std::to_string(number); }

CDockRack::CDockRack(std::vector<Slot> slots) {
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].bus.place.empty()) slots[i].bus.place = RackPlace(i + 1);
        m_places.push_back(slots[i].bus.place);
        m_docks.push_back(std::make_unique<CEmulatedDock>(slots[i].dock, slots[i].bus));
    }
}

namespace {

std::vector<CDockRack::Slot> Slots(const std::vector<DockConfig>& configs,
                                   const EmulatedBusOptions& bus) {
    std::vector<CDockRack::Slot> slots;
    for (const auto& config : configs) slots.push_back({config, bus});
    return slots;
}

}  // namespace

CDockRack::CDockRack(const std::vector<DockConfig>& configs, const EmulatedBusOptions& bus)
    : CDockRack(Slots(configs, bus)) {}

std::vector<HidInterfaceInfo> CDockRack::EnumerateInterfaces() {
    std::vector<HidInterfaceInfo> all;
    for (auto& dock : m_docks) {
        auto interfaces = dock->EnumerateInterfaces();
        all.insert(all.end(), interfaces.begin(), interfaces.end());
    }
    return all;
}

// Paths carry the dock's place, so at most one dock opens a path.
std::unique_ptr<IHidReadChannel> CDockRack::OpenRead(const std::string& path) {
    for (auto& dock : m_docks) {
        if (auto channel = dock->OpenRead(path)) return channel;
    }
    return nullptr;
}

std::unique_ptr<IHidWriteChannel> CDockRack::OpenWrite(const std::string& path) {
    for (auto& dock : m_docks) {
        if (auto channel = dock->OpenWrite(path)) return channel;
    }
    return nullptr;
}

void CDockRack::SetDeviceChangeSink(DeviceChangeSink sink) {
    for (auto& dock : m_docks) dock->SetDeviceChangeSink(sink);
}

CEmulatedDock* CDockRack::DockAt(const std::string& place) {
    for (std::size_t i = 0; i < m_docks.size(); ++i) {
        if (m_places[i] == place) return m_docks[i].get();
    }
    return nullptr;
}

}  // namespace tamblor
