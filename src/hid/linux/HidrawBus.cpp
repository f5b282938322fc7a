#include "HidrawBus.h"

#include <sys/epoll.h>

#include <cerrno>

#include "HidrawDiscovery.h"
#include "hid/PlatformHidBus.h"

namespace tamblor {

inline constexpr const char* kUdevRuleName = "70-tamblor.rules";

namespace {

// Holds a granted place until it is destroyed (the lock goes with the descriptor).
class CLockedClaim final : public IDockClaim {
  public:
    explicit CLockedClaim(CUniqueFd file) : m_file(std::move(file)) {}

  private:
    CUniqueFd m_file;
};

void Watch(int epoll, int descriptor) {
    if (descriptor < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = descriptor;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, descriptor, &event);
}

}  // namespace

CHidrawBus::CHidrawBus(std::filesystem::path claimFolder)
    : m_udev(udev_new()), m_monitorUdev(udev_new()), m_claimFolder(std::move(claimFolder)) {
    if (m_monitorUdev) m_monitor = std::make_unique<CUdevMonitor>(*m_monitorUdev);
    // One descriptor for the front-end's loop: readable while either source has news.
    m_changes.Reset(::epoll_create1(EPOLL_CLOEXEC));
    if (!m_changes.IsValid()) return;
    if (m_monitor) Watch(m_changes.Get(), m_monitor->Descriptor());
    Watch(m_changes.Get(), m_claimWatch.Descriptor());
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

int CHidrawBus::DeviceChangeDescriptor() const {
    if (m_changes.IsValid()) return m_changes.Get();
    return m_monitor ? m_monitor->Descriptor() : -1;
}

void CHidrawBus::PumpDeviceChanges() {
    if (m_monitor) m_monitor->Pump(m_sink);
    std::vector<std::string> freed;
    {
        std::lock_guard lock(m_claimLock);
        freed = m_claimWatch.Pump();
    }
    // Outside the lock: the sink rescans, which claims again.
    for (const auto& place : freed) {
        if (m_sink)
            m_sink({DeviceChangeKind::Arrival, (m_claimFolder / ClaimFileName(place)).string(),
                    place});
    }
}

ClaimResult CHidrawBus::ClaimPlace(const HidInterfaceInfo& info) {
    ClaimResult result;
    // Not on USB (uhid, say): nothing survives a restart to claim, and the node's lock is all.
    if (info.place.empty()) return result;
    PlaceLock lock = LockPlace(m_claimFolder, info.place);
    result.outcome = lock.outcome;
    result.detail = std::move(lock.detail);
    std::lock_guard guard(m_claimLock);
    if (lock.outcome == ClaimOutcome::HeldElsewhere) {
        m_claimWatch.Wait(info.place, std::move(lock.file));
        return result;
    }
    m_claimWatch.Forget(info.place);
    if (lock.outcome == ClaimOutcome::Granted) {
        result.hold = std::make_unique<CLockedClaim>(std::move(lock.file));
    }
    return result;
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

bool PlatformHidBusReachesDocks() { return true; }

}  // namespace tamblor
