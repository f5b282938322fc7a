#include "WinHidChannels.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace tamblor::win {
namespace {

std::atomic<std::size_t> g_abandonedWrites{0};

// What the driver reported when it gave no error code of its own.
DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : fallback;
}

}  // namespace

bool IsDeviceGoneError(DWORD error) {
    // 5: what a pending read or a write gets once the device has left (also Wine's answer);
    // 6: the handle went with it; 1167: the class driver's own word for it.
    return error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_DEVICE_NOT_CONNECTED;
}

CWinHidReadChannel::CWinHidReadChannel(const HidApi& api, HANDLE device, WinHidTimeouts timeouts,
                                       WinHidReportFilter filter)
    : m_api(api),
      m_timeouts(timeouts),
      m_filter(filter),
      m_device(api, device),
      m_cancelEvent(MakeManualResetEvent()) {}

int CWinHidReadChannel::ReadReport(std::span<std::uint8_t> buffer) {
    for (;;) {
        const int n = ReadOne(buffer);
        if (n <= 0 || !m_filter.byId || m_filter.ids.test(buffer[0])) return n;
    }
}

int CWinHidReadChannel::ReadOne(std::span<std::uint8_t> buffer) {
    if (m_gone) return -1;
    if (!m_transfer) m_transfer = std::make_unique<Transfer>();
    auto& t = *m_transfer;
    const HANDLE device = m_device.Get();
    for (;;) {
        // Also before a read issued again: Cancel() may have come with the rearm's abort, and
        // a read issued after it would take a report from the handle's queue.
        if (::WaitForSingleObject(m_cancelEvent.Get(), 0) == WAIT_OBJECT_0) return -1;
        t.bytes.assign(buffer.size(), 0);
        t.overlapped = OVERLAPPED{};
        t.overlapped.hEvent = t.event.Get();
        ::ResetEvent(t.event.Get());
        const auto size = static_cast<DWORD>(t.bytes.size());
        bool rearmed = false;
        if (!m_api.ReadFile(device, t.bytes.data(), size, nullptr, &t.overlapped)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) {
                t.bytes.clear();
                return Failed(error);
            }
            const Await waited = AwaitRead(t);
            if (waited == Await::Cancelled) {
                if (!CancelInFlight()) {
                    // The driver keeps the transfer: so do we, and this channel reads no more.
                    static_cast<void>(m_transfer.release());
                    m_gone = true;
                }
                return -1;
            }
            rearmed = waited == Await::Rearmed;
        }
        DWORD delivered = 0;
        const BOOL done = m_api.GetOverlappedResult(device, &t.overlapped, &delivered, TRUE);
        const DWORD error = done ? 0 : LastErrorOr(ERROR_GEN_FAILURE);
        std::vector<std::uint8_t> bytes;
        bytes.swap(t.bytes);  // empty: no read in flight
        // Our own cancel took it, whatever code the driver gave the abort (995 as a rule): read
        // again. A report that completed it first is kept; a removal is a removal.
        if (!done && rearmed && !IsDeviceGoneError(error)) continue;
        if (!done) return Failed(error);
        const auto n = std::min<std::size_t>(delivered, buffer.size());
        std::copy_n(bytes.begin(), n, buffer.begin());
        return static_cast<int>(n);
    }
}

CWinHidReadChannel::Await CWinHidReadChannel::AwaitRead(Transfer& t) {
    const HANDLE waits[2] = {t.event.Get(), m_cancelEvent.Get()};
    DWORD limit = m_timeouts.readRearm;
    bool rearmed = false;
    for (;;) {
        const DWORD waited = ::WaitForMultipleObjects(2, waits, FALSE, limit);
        if (waited == WAIT_OBJECT_0) return rearmed ? Await::Rearmed : Await::Completed;
        if (waited != WAIT_TIMEOUT) return Await::Cancelled;
        m_api.CancelIoEx(m_device.Get(), &t.overlapped);
        rearmed = true;
        // A driver that keeps a cancelled read is waited for as before: to its completion or
        // to Cancel().
        limit = INFINITE;
    }
}

bool CWinHidReadChannel::CancelInFlight() {
    auto& t = *m_transfer;
    m_api.CancelIoEx(m_device.Get(), &t.overlapped);
    if (::WaitForSingleObject(t.event.Get(), m_timeouts.cancelCompletion) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD delivered = 0;
    m_api.GetOverlappedResult(m_device.Get(), &t.overlapped, &delivered, FALSE);
    t.bytes.clear();
    return true;
}

int CWinHidReadChannel::Failed(DWORD error) {
    if (!IsDeviceGoneError(error)) return -1;  // the reader reads again after a pause
    // The device has left, and its removal notice says so to the operator: wait for it (it
    // cancels this channel) instead of failing reads until the reader gives up on a device
    // that cannot be read. Every later read fails at once.
    m_gone = true;
    ::WaitForSingleObject(m_cancelEvent.Get(), m_timeouts.removalNotice);
    return -1;
}

void CWinHidReadChannel::Cancel() { ::SetEvent(m_cancelEvent.Get()); }

CWinHidWriteChannel::CWinHidWriteChannel(const HidApi& api, HANDLE device, WinHidTimeouts timeouts)
    : m_api(api),
      m_timeouts(timeouts),
      m_device(api, device),
      m_completion([this] { CompletionThreadProc(); }) {}

CWinHidWriteChannel::~CWinHidWriteChannel() {
    ::SetEvent(m_stopEvent.Get());
    m_completion.join();
    // Whatever is still in flight is cancelled, and waited for before its buffer goes; but
    // only for a while, as this may run on the window's thread: a write whose cancel the
    // driver never completes is left allocated rather than freed under the driver.
    const DWORD start = ::GetTickCount();
    for (auto& write : m_pending) {
        m_api.CancelIoEx(m_device.Get(), &write->overlapped);
        const DWORD spent = ::GetTickCount() - start;
        const DWORD left =
            spent < m_timeouts.cancelCompletion ? m_timeouts.cancelCompletion - spent : 0;
        if (::WaitForSingleObject(write->event.Get(), left) == WAIT_OBJECT_0) {
            Outcome(*write);
            continue;
        }
        static_cast<void>(write.release());
        ++g_abandonedWrites;
    }
    m_pending.clear();
}

std::uint32_t CWinHidWriteChannel::WriteReport(std::span<const std::uint8_t> report) {
    {
        // A queued write failed after its WriteReport returned: say so now, before anything
        // else goes out after it.
        std::lock_guard lock(m_lock);
        if (m_laterFailure != 0) return std::exchange(m_laterFailure, DWORD{0});
    }
    auto write = std::make_unique<PendingWrite>();
    write->bytes.assign(report.begin(), report.end());
    write->overlapped.hEvent = write->event.Get();
    const auto size = static_cast<DWORD>(write->bytes.size());
    if (m_api.WriteFile(m_device.Get(), write->bytes.data(), size, nullptr, &write->overlapped)) {
        return 0;
    }
    // A refused write is a failed one, whether or not the driver gave a code for it.
    const DWORD error = LastErrorOr(ERROR_GEN_FAILURE);
    if (error != ERROR_IO_PENDING) return error;
    // The class driver queues writes, so a stall (31) or a removal shows only at completion:
    // wait a moment for it, or the sequence would wait for the answer to a report never sent.
    if (::WaitForSingleObject(write->event.Get(), m_timeouts.writeOutcome) == WAIT_OBJECT_0) {
        return Outcome(*write);
    }
    std::lock_guard lock(m_lock);
    m_pending.push_back(std::move(write));
    ::SetEvent(m_queuedEvent.Get());
    return 0;
}

std::size_t CWinHidWriteChannel::PendingCount() const {
    std::lock_guard lock(m_lock);
    return m_pending.size();
}

std::size_t CWinHidWriteChannel::AbandonedCount() { return g_abandonedWrites.load(); }

DWORD CWinHidWriteChannel::Outcome(PendingWrite& write) {
    DWORD written = 0;
    if (m_api.GetOverlappedResult(m_device.Get(), &write.overlapped, &written, FALSE)) return 0;
    return LastErrorOr(ERROR_GEN_FAILURE);
}

void CWinHidWriteChannel::CompletionThreadProc() {
    for (;;) {
        PendingWrite* oldest = nullptr;
        {
            std::lock_guard lock(m_lock);
            if (m_pending.empty()) {
                ::ResetEvent(m_queuedEvent.Get());
            } else {
                oldest = m_pending.front().get();
            }
        }
        const HANDLE waits[2] = {m_stopEvent.Get(),
                                 oldest ? oldest->event.Get() : m_queuedEvent.Get()};
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
        if (oldest == nullptr) continue;
        const DWORD error = Outcome(*oldest);
        std::lock_guard lock(m_lock);
        if (error != 0 && m_laterFailure == 0) m_laterFailure = error;
        m_pending.pop_front();
    }
}

}  // namespace tamblor::win
