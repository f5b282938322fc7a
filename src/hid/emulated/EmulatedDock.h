#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dock/DockConfig.h"
#include "dock/DockReport.h"
#include "hid/HidPort.h"
#include "hid/emulated/EmulatedBusOptions.h"
#include "isp/IspReport.h"

namespace tamblor {

struct DockBusState;

// A HID bus with one emulated dock on it, for runs and tests without hardware. Replies come
// `latency` after the report they answer; a restart takes the dock off the bus and brings it
// back `restartDelay` later under a new path. One worker thread delivers everything that is
// due, in order, and is the only caller of the device-change sink, which it never calls while
// holding the bus's lock.
class CEmulatedDock final : public IHidBus {
  public:
    explicit CEmulatedDock(DockConfig config = {}, EmulatedBusOptions options = {});
    ~CEmulatedDock() override;
    CEmulatedDock(const CEmulatedDock&) = delete;
    CEmulatedDock& operator=(const CEmulatedDock&) = delete;

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    // Waits for a sink call in progress to return; do not call it from inside the sink.
    void SetDeviceChangeSink(DeviceChangeSink sink) override;

    // What is still to happen: replies scheduled or waiting to be read, device changes whose
    // sink call has not yet returned, and reports read but not yet acknowledged (by the next
    // read on any channel, or by cancelling or destroying the channel that read them).
    std::size_t Pending() const;
    // Grows on every write, read, delivery, acknowledgement and device change.
    std::uint64_t Activity() const;
    // Blocks until Activity() differs from `seen` or the timeout passes; returns Activity().
    std::uint64_t WaitForActivity(std::uint64_t seen, std::chrono::milliseconds timeout) const;
    // Blocks until Pending() differs from its value at the call or the timeout passes.
    void WaitForPendingChange(std::chrono::milliseconds timeout) const;

    // A cable pulled: the dock leaves at once, replies not yet read are lost, and a restart in
    // progress never completes.
    void Unplug();
    // A cable put back: the dock powers up in the mode it last had, under a new path.
    void Plug();

    bool IsPresent() const;
    // Path of the dock's current (or last) appearance.
    std::string CurrentPath() const;
    bool IsIspMode() const;
    // Every report the host wrote successfully, in order.
    std::vector<tamblor::Report> ReceivedReports() const;
    DockReport Report() const;

  private:
    void WorkerLoop();
    void Deliver(const DeviceChange& change);

    std::shared_ptr<DockBusState> m_state;
    std::mutex m_sinkMutex;
    DeviceChangeSink m_sink;
    std::thread m_worker;
};

}  // namespace tamblor
