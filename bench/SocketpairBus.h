#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "Bench.h"
#include "hid/HidPort.h"

namespace tamblor::bench {

// A HID bus over a SOCK_SEQPACKET socketpair: one report per packet, like a hidraw node. The
// host's side records when each report arrived on the reader and when the next one was
// written, which is the turnaround the engine adds to every round trip.
class SocketpairBus : public IHidBus {
  public:
    SocketpairBus();
    ~SocketpairBus() override;

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override;
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override;
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override;
    void SetDeviceChangeSink(DeviceChangeSink) override {}

    int DockDescriptor() const { return m_fds[1]; }
    // Turnarounds in microseconds, one per report written in answer to a received one.
    std::vector<double> Turnarounds() const;

    // Written and read on the engine's reader thread only; writes from other threads (the
    // operator's commands) are not answers to a received report and are not counted.
    Clock::time_point m_lastArrival{};
    bool m_arrived = false;
    std::atomic<std::thread::id> m_readerThread{};
    std::vector<double> m_turnarounds;

  private:
    int m_fds[2] = {-1, -1};
};

}  // namespace tamblor::bench
