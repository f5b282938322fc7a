// Report I/O: the writer and the reader thread that feeds reply dispatch.
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "TamblorEngine.h"

namespace tamblor {
namespace {

// What a write to a closed handle reports on the platform the tool was first written for; the
// operator's line is the same on every platform.
constexpr std::uint32_t kErrorInvalidHandle = 6;

// The operator's line when the reader gives up on an interface that is still connected.
constexpr const char* kReadLostLine =
    "Read Error! The device cannot be read; reconnect it, please.";

// The scan opens only interfaces whose reports fit the buffers, so this never cuts a report.
std::size_t TransferLength(std::uint16_t reportLength) {
    return std::min<std::size_t>(reportLength, kReportSize);
}

}  // namespace

bool CTamblorEngine::SendReport(const Report& report) {
    // Every write gets its own copy, so no write ever reuses a buffer still in flight.
    NoteSignOfLife();
    Report out = report;
    out[0] = kReportId;
    const auto length = TransferLength(m_link.g_outputReportLength);
    const std::uint32_t error = m_writeChannel
                                    ? m_writeChannel->WriteReport(std::span(out.data(), length))
                                    : kErrorInvalidHandle;
    if (error == 0) return true;
    char line[64];
    std::snprintf(line, sizeof line, "Send Error,Error Code is:0x%x", static_cast<unsigned>(error));
    PostFailure(line);
    return false;
}

void CTamblorEngine::StartIoThreads() {
    std::lock_guard lock(m_lock);
    if (g_threadsStarted != 0 || m_destroyed) return;
    try {
        if (!m_reader.joinable()) m_reader = std::thread([this] { ReaderThreadProc(); });
        if (!m_silenceWatch.joinable()) {
            m_silenceWatch = std::thread([this] { SilenceWatchProc(); });
        }
    } catch (const std::system_error&) {
        // The scan reports "device Error!" while either is missing; whichever runs is
        // stopped with the other at the end.
        return;
    }
    g_threadsStarted = 1;
}

void CTamblorEngine::StopIoThreads() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        if (m_readChannel) m_readChannel->Cancel();
    }
    m_readerWake.notify_all();
    if (m_reader.joinable()) m_reader.join();
    if (m_silenceWatch.joinable()) m_silenceWatch.join();
}

void CTamblorEngine::WakeReader() {
    ++m_wakeGeneration;
    m_readerWake.notify_all();
}

void CTamblorEngine::ReaderThreadProc() {
    std::array<std::uint8_t, kReportSize> buffer{};
    std::unique_lock lock(m_lock);
    // The channel the count belongs to; weak, so the reader keeps no replaced channel open.
    std::weak_ptr<IHidReadChannel> failing;
    int failedReads = 0;
    while (!m_stopping) {
        const auto generation = m_wakeGeneration;
        if (m_link.g_deviceConnected == 0 || !m_readChannel || m_link.g_writeOpen == 0) {
            // No device, or one we cannot write to (held by another copy of the tool, denied):
            // it owes us nothing, and its reports are another reader's. Idle until a scan
            // wakes us or we are stopped.
            m_readerWake.wait(lock, [&] { return m_stopping || m_wakeGeneration != generation; });
            continue;
        }
        const auto channel = m_readChannel;
        const auto length = TransferLength(m_link.g_inputReportLength);
        lock.unlock();
        buffer.fill(0);
        const int got = channel->ReadReport(std::span(buffer.data(), length));
        lock.lock();
        if (m_stopping) break;
        // A rescan or a removal has replaced the channel meanwhile: whatever it gave is stale.
        if (m_link.g_deviceConnected == 0 || channel != m_readChannel) continue;
        if (got > 0) {
            failedReads = 0;
            DispatchReport(buffer);
            continue;
        }
        // A failed or empty read while the device stays connected. The device may still
        // answer, so read again; but a channel that fails at once must not spin, and one that
        // keeps failing is of no use: its removal notice, if any, is overdue.
        if (failing.owner_before(channel) || channel.owner_before(failing)) {
            failing = channel;
            failedReads = 0;
        }
        if (++failedReads >= m_readRetry.attempts) {
            failing.reset();
            failedReads = 0;
            LoseInterface();
            continue;
        }
        m_readerWake.wait_for(lock, m_readRetry.pause, [&] {
            return m_stopping || m_wakeGeneration != generation || channel != m_readChannel;
        });
    }
}

void CTamblorEngine::LoseInterface() { EndLink(kReadLostLine); }

}  // namespace tamblor
