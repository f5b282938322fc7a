#pragma once

#include "hid/HidPort.h"

namespace tamblor::test {

// Passes everything through to the bus it wraps, except that the removal of an interface is
// noticed only right after the next arrival: the order in which some machines report a device
// that restarts under a new path. Meant for a bus whose every removal is followed by an arrival.
class CArrivalFirstBus final : public IHidBus {
  public:
    explicit CArrivalFirstBus(IHidBus& inner) : m_inner(inner) {}

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override {
        return m_inner.EnumerateInterfaces();
    }
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override {
        return m_inner.OpenRead(path);
    }
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override {
        return m_inner.OpenWrite(path);
    }
    void SetDeviceChangeSink(DeviceChangeSink sink) override;

  private:
    IHidBus& m_inner;
};

}  // namespace tamblor::test
