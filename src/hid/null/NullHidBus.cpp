// The HID port of a build without a transport: no interface, no change, nothing to open. The
// command line's emulated dock still works; every real one is out of reach, and says so.
#include "hid/PlatformHidBus.h"

namespace tamblor {
namespace {

class CNullHidBus final : public IHidBus {
  public:
    std::vector<HidInterfaceInfo> EnumerateInterfaces() override { return {}; }
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string&) override { return nullptr; }
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string&) override { return nullptr; }
    void SetDeviceChangeSink(DeviceChangeSink) override {}
};

}  // namespace

std::unique_ptr<IHidBus> CreatePlatformHidBus() { return std::make_unique<CNullHidBus>(); }

bool PlatformHidBusReachesDocks() { return false; }

}  // namespace tamblor
