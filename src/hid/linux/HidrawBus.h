#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "ClaimWatch.h"
#include "HidrawChannels.h"
#include "PlaceLock.h"
#include "UdevMonitor.h"
#include "UdevPtr.h"
#include "hid/HidPort.h"

namespace tamblor {

// The HID port over hidraw nodes, found and watched through udev. A dock's place is claimed
// through a lock file in `claimFolder`, shared by every user's copy of the tool; a place
// refused is watched, and its release comes to the sink as an Arrival of the lock file.
//
// Threads: EnumerateInterfaces, OpenRead, OpenWrite, OpenFailureHint and ClaimPlace may be
// called from any thread. SetDeviceChangeSink and PumpDeviceChanges belong to the one thread
// that watches DeviceChangeDescriptor(); the sink runs there and may call back into the bus.
class CHidrawBus final : public IHidBus {
  public:
    explicit CHidrawBus(std::filesystem::path claimFolder = kClaimFolder);

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    // Every input report of the node.
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    // Only the collection's own input reports.
    std::unique_ptr<IHidReadChannel> OpenInterfaceRead(const HidInterfaceInfo& info) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink sink) override;
    int DeviceChangeDescriptor() const override;
    void PumpDeviceChanges() override;
    std::string OpenFailureHint() const override;
    ClaimResult ClaimPlace(const HidInterfaceInfo& info) override;

  private:
    std::unique_ptr<IHidReadChannel> OpenFilteredRead(const std::string& path,
                                                      HidrawReportFilter filter);
    void NoteOpenResult(bool& deniedFlag, const std::string& path, int error);

    mutable std::mutex m_lock;  // guards the enumeration context and the members below it
    UdevPtr m_udev;
    std::set<std::string> m_unnumberedPaths;  // nodes whose descriptor declares no report IDs
    bool m_readDenied = false;
    bool m_writeDenied = false;
    std::string m_deniedPath;
    // The last write open found the node held by another copy of the tool.
    bool m_writeBusy = false;
    std::string m_busyPath;

    // The monitor has a context of its own, so a sink that rescans never waits for m_lock
    // while the monitor is in use.
    UdevPtr m_monitorUdev;
    std::unique_ptr<CUdevMonitor> m_monitor;
    DeviceChangeSink m_sink;

    const std::filesystem::path m_claimFolder;
    std::mutex m_claimLock;  // guards the watch: claims come from any thread
    CClaimWatch m_claimWatch;
    // Readable when the monitor or the watch has news; -1 when it could not be made.
    CUniqueFd m_changes;
};

}  // namespace tamblor
