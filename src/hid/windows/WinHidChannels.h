#pragma once

#include <bitset>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "HidApi.h"
#include "hid/HidPort.h"
#include "winutil/WinHandle.h"

namespace tamblor::win {

// How long the channels wait on the HID stack, in milliseconds. None of these waits may be
// endless: a driver that never completes a request must not freeze the window.
struct WinHidTimeouts {
    // A write that went pending: how long WriteReport waits to learn its outcome. The class
    // driver queues writes and reports a stall or a removal only at completion, which on a
    // healthy device comes within a few frames.
    DWORD writeOutcome = 1000;
    // A cancelled transfer: how long closing waits for the driver to complete it.
    DWORD cancelCompletion = 2000;
    // A read that failed because the device has left: how long it waits for the removal
    // notice (which cancels the channel) before it fails, so the operator reads that the
    // device was lost rather than that it could not be read.
    DWORD removalNotice = 5000;
    // A read still pending after this long is cancelled and issued again. Wine under load now
    // and then leaves a read pending while the report it waits for sits in the handle's
    // queue, where a new read finds it at once; on Windows a cancelled read loses nothing (a
    // report either completes the read or waits in the queue), so the new read costs nothing.
    DWORD readRearm = 1000;
};

// True for the errors a read or write gives once the device has left: no retry can help.
bool IsDeviceGoneError(DWORD error);

// Which input reports a read channel passes on. Wine presents only a device's first top-level
// collection, yet hands its handle the reports of every collection of the device (a
// keyboard's beside the dock's): only reports whose ID the collection declares are ours.
struct WinHidReportFilter {
    bool byId = false;  // unset: every report comes through
    std::bitset<256> ids;
};

// One overlapped read at a time on a device opened for reading. A read waits on its own
// completion event and on the cancel event, so Cancel() frees a blocked reader at once; one
// that stays pending is issued again now and then (WinHidTimeouts::readRearm). The
// read goes into a buffer of the channel's own, so a read whose cancel the driver never
// completes can be left behind without taking the caller's buffer with it.
class CWinHidReadChannel final : public IHidReadChannel {
  public:
    CWinHidReadChannel(const HidApi& api, HANDLE device, WinHidTimeouts timeouts = {},
                       WinHidReportFilter filter = {});
    int ReadReport(std::span<std::uint8_t> buffer) override;
    void Cancel() override;

  private:
    struct Transfer {
        OVERLAPPED overlapped{};
        CHandle event = MakeManualResetEvent();
        std::vector<std::uint8_t> bytes;
    };

    enum class Await { Completed, Rearmed, Cancelled };

    int ReadOne(std::span<std::uint8_t> buffer);
    // Waits for the read in flight to complete (Rearmed: after a cancel of its own, see
    // WinHidTimeouts::readRearm) or for Cancel().
    Await AwaitRead(Transfer& t);
    int Failed(DWORD error);
    // Cancels the transfer in flight; false when the driver did not complete it in time.
    bool CancelInFlight();

    const HidApi& m_api;
    const WinHidTimeouts m_timeouts;
    const WinHidReportFilter m_filter;
    CDeviceHandle m_device;
    CHandle m_cancelEvent;
    std::unique_ptr<Transfer> m_transfer;
    bool m_gone = false;
};

// Overlapped writes, each from a buffer and OVERLAPPED of its own, so a write issued while the
// previous one is still pending never touches the bytes in flight. A write waits a moment for
// its outcome; one that takes longer is collected by a completion thread, in queue order, and
// a failure found there is returned by the next WriteReport.
class CWinHidWriteChannel final : public IHidWriteChannel {
  public:
    CWinHidWriteChannel(const HidApi& api, HANDLE device, WinHidTimeouts timeouts = {});
    ~CWinHidWriteChannel() override;
    std::uint32_t WriteReport(std::span<const std::uint8_t> report) override;

    // Writes queued and not yet collected.
    std::size_t PendingCount() const;
    // Writes whose cancel the driver never completed when the channel closed; their buffers
    // stay allocated for ever, as the driver may still write their OVERLAPPED.
    static std::size_t AbandonedCount();

  private:
    struct PendingWrite {
        OVERLAPPED overlapped{};
        CHandle event = MakeManualResetEvent();
        std::vector<std::uint8_t> bytes;
    };

    void CompletionThreadProc();
    // The write's outcome once its event is set: 0 or the error it failed with.
    DWORD Outcome(PendingWrite& write);

    const HidApi& m_api;
    const WinHidTimeouts m_timeouts;
    CDeviceHandle m_device;
    CHandle m_stopEvent = MakeManualResetEvent();
    CHandle m_queuedEvent = MakeManualResetEvent();
    mutable std::mutex m_lock;
    std::deque<std::unique_ptr<PendingWrite>> m_pending;
    DWORD m_laterFailure = 0;  // guarded by m_lock
    std::thread m_completion;
};

}  // namespace tamblor::win
