#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "HidApi.h"
#include "hid/HidPort.h"
#include "win/util/WinHandle.h"

namespace tamblor::win {

// One overlapped read at a time on a device opened for reading. A read waits on its own
// completion event and on the cancel event, so Cancel() frees a blocked reader at once.
class CWinHidReadChannel final : public IHidReadChannel {
  public:
    CWinHidReadChannel(const HidApi& api, HANDLE device);
    int ReadReport(std::span<std::uint8_t> buffer) override;
    void Cancel() override;

  private:
    const HidApi& m_api;
    CDeviceHandle m_device;
    CHandle m_readEvent;
    CHandle m_cancelEvent;
};

// Overlapped writes, each from a buffer and OVERLAPPED of its own, so a write issued while the
// previous one is still pending never touches the bytes in flight. A completion thread
// collects the writes in the order they were queued.
class CWinHidWriteChannel final : public IHidWriteChannel {
  public:
    CWinHidWriteChannel(const HidApi& api, HANDLE device);
    ~CWinHidWriteChannel() override;
    std::uint32_t WriteReport(std::span<const std::uint8_t> report) override;

    // Writes queued and not yet collected.
    std::size_t PendingCount() const;

  private:
    struct PendingWrite {
        OVERLAPPED overlapped{};
        CHandle event = MakeManualResetEvent();
        std::vector<std::uint8_t> bytes;
    };

    void CompletionThreadProc();
    void Collect(PendingWrite& write, bool cancel);

    const HidApi& m_api;
    CDeviceHandle m_device;
    CHandle m_stopEvent = MakeManualResetEvent();
    CHandle m_queuedEvent = MakeManualResetEvent();
    mutable std::mutex m_lock;
    std::deque<std::unique_ptr<PendingWrite>> m_pending;
    std::thread m_completion;
};

}  // namespace tamblor::win
