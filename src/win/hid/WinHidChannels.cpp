#include "WinHidChannels.h"

#include <algorithm>

namespace tamblor::win {

CWinHidReadChannel::CWinHidReadChannel(const HidApi& api, HANDLE device)
    : m_api(api),
      m_device(api, device),
      m_readEvent(MakeManualResetEvent()),
      m_cancelEvent(MakeManualResetEvent()) {}

int CWinHidReadChannel::ReadReport(std::span<std::uint8_t> buffer) {
    if (::WaitForSingleObject(m_cancelEvent.Get(), 0) == WAIT_OBJECT_0) return -1;
    ::ResetEvent(m_readEvent.Get());
    OVERLAPPED overlapped{};
    overlapped.hEvent = m_readEvent.Get();
    const HANDLE device = m_device.Get();
    DWORD delivered = 0;
    const auto size = static_cast<DWORD>(buffer.size());
    if (!m_api.ReadFile(device, buffer.data(), size, nullptr, &overlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING) return -1;
        const HANDLE waits[2] = {m_readEvent.Get(), m_cancelEvent.Get()};
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            // The buffer is the caller's: the read must be over before we hand it back.
            m_api.CancelIoEx(device, &overlapped);
            m_api.GetOverlappedResult(device, &overlapped, &delivered, TRUE);
            return -1;
        }
    }
    if (!m_api.GetOverlappedResult(device, &overlapped, &delivered, TRUE)) return -1;
    return static_cast<int>(std::min<DWORD>(delivered, size));
}

void CWinHidReadChannel::Cancel() { ::SetEvent(m_cancelEvent.Get()); }

CWinHidWriteChannel::CWinHidWriteChannel(const HidApi& api, HANDLE device)
    : m_api(api), m_device(api, device), m_completion([this] { CompletionThreadProc(); }) {}

CWinHidWriteChannel::~CWinHidWriteChannel() {
    ::SetEvent(m_stopEvent.Get());
    m_completion.join();
    // Whatever is still in flight is cancelled and waited for before its buffer goes.
    for (auto& write : m_pending) Collect(*write, true);
    m_pending.clear();
}

std::uint32_t CWinHidWriteChannel::WriteReport(std::span<const std::uint8_t> report) {
    auto write = std::make_unique<PendingWrite>();
    write->bytes.assign(report.begin(), report.end());
    write->overlapped.hEvent = write->event.Get();
    const auto size = static_cast<DWORD>(write->bytes.size());
    if (m_api.WriteFile(m_device.Get(), write->bytes.data(), size, nullptr, &write->overlapped)) {
        return 0;
    }
    const DWORD error = ::GetLastError();
    if (error == 0) return 0;  // nothing in flight, nothing to collect
    if (error != ERROR_IO_PENDING) return error;
    std::lock_guard lock(m_lock);
    m_pending.push_back(std::move(write));
    ::SetEvent(m_queuedEvent.Get());
    return 0;
}

std::size_t CWinHidWriteChannel::PendingCount() const {
    std::lock_guard lock(m_lock);
    return m_pending.size();
}

void CWinHidWriteChannel::Collect(PendingWrite& write, bool cancel) {
    if (cancel) m_api.CancelIoEx(m_device.Get(), &write.overlapped);
    DWORD written = 0;
    m_api.GetOverlappedResult(m_device.Get(), &write.overlapped, &written, TRUE);
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
        Collect(*oldest, false);
        std::lock_guard lock(m_lock);
        m_pending.pop_front();
    }
}

}  // namespace tamblor::win
