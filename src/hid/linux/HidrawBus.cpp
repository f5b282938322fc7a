#include "HidrawBus.h"

#include <cerrno>

#include "HidrawDiscovery.h"
#include "hid/PlatformHidBus.h"

namespace tamblor {

inline constexpr const char* kUdevRuleName = "70-tamblor.rules";

CHidrawBus::CHidrawBus() : m_udev(udev_new()), m_monitorUdev(udev_new()) {
    if (m_monitorUdev) m_monitor = std::make_unique<CUdevMonitor>(*m_monitorUdev);
}

std::vector<HidInterfaceInfo> CHidrawBus::EnumerateInterfaces() {
    std::lock_guard lock(m_lock);
    if (!m_udev) return {};
    const auto nodes = EnumerateHidrawNodes(*m_udev);
    m_unnumberedPaths.clear();
    for (const auto& node : nodes) {
        if (node.descriptor && !node.descriptor->usesReportIds) {
            m_unnumberedPaths.insert(node.devnode);
        }
    }
    return ToInterfaces(nodes);
}

std::unique_ptr<IHidReadChannel> CHidrawBus::OpenRead(const std::string& path) {
    return OpenFilteredRead(path, {});
}

std::unique_ptr<IHidReadChannel> CHidrawBus::OpenInterfaceRead(const HidInterfaceInfo& info) {
    HidrawReportFilter filter;
    // Enumeration lists the IDs only for nodes that number their reports.
    filter.byId = !info.inputReportIds.empty();
    for (const std::uint8_t id : info.inputReportIds) filter.ids.set(id);
    return OpenFilteredRead(info.path, filter);
}

std::unique_ptr<IHidReadChannel> CHidrawBus::OpenFilteredRead(const std::string& path,
                                                              HidrawReportFilter filter) {
    std::lock_guard lock(m_lock);
    filter.unnumbered = m_unnumberedPaths.count(path) != 0;
    auto channel = OpenHidrawRead(path, filter);
    NoteOpenResult(m_readDenied, path, channel ? 0 : errno);
    return channel;
}

std::unique_ptr<IHidWriteChannel> CHidrawBus::OpenWrite(const std::string& path) {
    std::lock_guard lock(m_lock);
    auto channel = OpenHidrawWrite(path);
    const int error = channel ? 0 : errno;
    NoteOpenResult(m_writeDenied, path, error);
    m_writeBusy = error == EBUSY;
    if (m_writeBusy) m_busyPath = path;
    return channel;
}

void CHidrawBus::NoteOpenResult(bool& deniedFlag, const std::string& path, int error) {
    deniedFlag = error == EACCES;
    if (deniedFlag) m_deniedPath = path;
}

void CHidrawBus::SetDeviceChangeSink(DeviceChangeSink sink) { m_sink = std::move(sink); }

int CHidrawBus::DeviceChangeDescriptor() const { return m_monitor ? m_monitor->Descriptor() : -1; }

void CHidrawBus::PumpDeviceChanges() {
    if (m_monitor) m_monitor->Pump(m_sink);
}

std::string CHidrawBus::OpenFailureHint() const {
    std::lock_guard lock(m_lock);
    if (m_writeBusy) {
        return m_busyPath +
               " is held by another tamblor or tamblor-cli: end it, then replug the "
               "dock";
    }
    if (!m_readDenied && !m_writeDenied) return {};
    return "Permission denied on " + m_deniedPath + ": install " + kUdevRuleName +
           " into /etc/udev/rules.d, run 'udevadm control --reload', then replug the dock "
           "(see README)";
}

std::unique_ptr<IHidBus> CreatePlatformHidBus() { return std::make_unique<CHidrawBus>(); }

}  // namespace tamblor
