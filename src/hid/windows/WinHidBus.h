#pragma once

#include <mutex>

#include "HidApi.h"
#include "WinHidChannels.h"
#include "hid/HidPort.h"

namespace tamblor::win {

// The HID port over SetupAPI and the HID class driver. Device changes reach the dialog as
// WM_DEVICECHANGE through its own registration, so this bus never calls the change sink.
class CWinHidBus final : public IHidBus {
  public:
    explicit CWinHidBus(const HidApi& api = SystemHidApi(), WinHidTimeouts timeouts = {})
        : m_api(api), m_timeouts(timeouts) {}

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidReadChannel> OpenInterfaceRead(const HidInterfaceInfo& info) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink sink) override { m_sink = std::move(sink); }
    std::string OpenFailureHint() const override;

  private:
    HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD flags) const;
    void Probe(HidInterfaceInfo& info) const;

    const HidApi& m_api;
    const WinHidTimeouts m_timeouts;
    DeviceChangeSink m_sink;
    mutable std::mutex m_lock;
    std::string m_busyPath;  // the last write open refused because another writer holds it
};

}  // namespace tamblor::win
