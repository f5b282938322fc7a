#pragma once

#include <libudev.h>

#include "UdevPtr.h"
#include "hid/HidPort.h"

namespace tamblor {

// Arrivals and removals of hidraw nodes, as udev announces them once its rules have run (so an
// arrived node already carries its permissions).
class CUdevMonitor {
  public:
    explicit CUdevMonitor(udev& context);
    // -1 when no monitor could be set up; the tool then sees no hotplug.
    int Descriptor() const;
    // Hands every pending change to the sink; returns without waiting.
    void Pump(const DeviceChangeSink& sink);

  private:
    UdevMonitorPtr m_monitor;
};

}  // namespace tamblor
