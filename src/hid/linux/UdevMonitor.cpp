#include "UdevMonitor.h"

#include <cstring>

#include "HidrawDiscovery.h"

namespace tamblor {

CUdevMonitor::CUdevMonitor(udev& context) {
    UdevMonitorPtr monitor(udev_monitor_new_from_netlink(&context, "udev"));
    if (!monitor) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        return;
    }
    m_monitor = std::move(monitor);
}

int CUdevMonitor::Descriptor() const {
    return m_monitor ? udev_monitor_get_fd(m_monitor.get()) : -1;
}

void CUdevMonitor::Pump(const DeviceChangeSink& sink) {
    if (!m_monitor) return;
    // The monitor's socket is non-blocking: null means nothing more is pending.
    while (UdevDevicePtr device{udev_monitor_receive_device(m_monitor.get())}) {
        const char* action = udev_device_get_action(device.get());
        const char* devnode = udev_device_get_devnode(device.get());
        if (action == nullptr || devnode == nullptr) continue;
        DeviceChange change;
        if (std::strcmp(action, "add") == 0) {
            change.kind = DeviceChangeKind::Arrival;
            // Whose arrival it is, told while sysfs still shows it: an engine bound to another
            // port need not look.
            change.place = ReadPlace(*device);
        } else if (std::strcmp(action, "remove") == 0) {
            change.kind = DeviceChangeKind::Removal;
        } else {
            continue;
        }
        change.path = devnode;
        if (sink) sink(change);
    }
}

}  // namespace tamblor
