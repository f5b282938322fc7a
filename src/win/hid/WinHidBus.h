#pragma once

#include "HidApi.h"
#include "hid/HidPort.h"

namespace tamblor::win {

// The HID port over SetupAPI and the HID class driver. Device changes reach the dialog as
// WM_DEVICECHANGE through its own registration, so this bus never calls the change sink.
class CWinHidBus final : public IHidBus {
  public:
    explicit CWinHidBus(const HidApi& api = SystemHidApi()) : m_api(api) {}

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink sink) override { m_sink = std::move(sink); }

  private:
    HANDLE Open(const std::string& path, DWORD access, DWORD flags) const;
    void Probe(HidInterfaceInfo& info) const;

    const HidApi& m_api;
    DeviceChangeSink m_sink;
};

}  // namespace tamblor::win
