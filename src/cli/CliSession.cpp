#include "CliSession.h"

#include <algorithm>
#include <ostream>

#include "TextFormat.h"
#include "app/TamblorEngine.h"

#ifndef _WIN32
#include <poll.h>
#endif

namespace tamblor {

CCliSession::CCliSession(std::ostream& out, bool drawProgressBar)
    : m_out(out), m_drawBar(drawProgressBar) {}

void CCliSession::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_queueLock);
        m_queue.push_back(std::move(work));
    }
    m_queued.notify_one();
}

bool CCliSession::QueueEmpty() const {
    std::lock_guard lock(m_queueLock);
    return m_queue.empty();
}

void CCliSession::PostLogRecord(LogRecord record) {
    Post([this, record = std::move(record)] {
        const auto effect = m_log.OnLogRecord(record);
        if (effect.moveBar) {
            m_position = std::clamp<int>(effect.barValue, 0, 100);
            DrawBar();
        } else if (effect.textChanged) {
            ShowLine(record.text);
        }
    });
}

void CCliSession::ClearLog() {
    Post([this] { m_log.ClearLog(); });
}

void CCliSession::SetProgressPosition(int position) {
    Post([this, position] {
        m_position = std::clamp(position, 0, 100);
        if (m_barShown) DrawBar();
    });
}

void CCliSession::SetFillColor(std::uint32_t argb, bool) {
    Post([this, argb] { m_fill = argb; });
}

void CCliSession::EnableUpgradeButton(bool enable) {
    Post([this, enable] { m_upgradeEnabled = enable; });
}

void CCliSession::SetVersionText(std::string) {}

void CCliSession::PostDeviceChange(const DeviceChange& change) {
    Post([this, change] {
        if (m_engine != nullptr) m_engine->OnDeviceChange(change);
    });
}

void CCliSession::ShowLine(const std::string& text) {
    ClearBar();
    m_lines.push_back(text);
    // The log's text comes partly from the package and the device: no byte of it may reach
    // the terminal as a control sequence.
    m_out << PrintableText(text) << '\n';
    m_out.flush();
}

void CCliSession::WatchStop(int descriptor, std::function<bool()> onReadable) {
    m_stopDescriptor = descriptor;
    m_onStop = std::move(onReadable);
}

void CCliSession::ShowNote(std::ostream& stream, const std::string& text) {
    ClearBar();
    m_out.flush();
    stream << text << '\n';
    stream.flush();
}

void CCliSession::DrawBar() {
    if (!m_drawBar) return;
    constexpr int kWidth = 40;
    const int filled = m_position * kWidth / 100;
    m_out << '\r' << '[' << std::string(static_cast<std::size_t>(filled), '#')
          << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << m_position
          << '%' << std::flush;
    m_barShown = true;
}

void CCliSession::ClearBar() {
    if (!m_barShown) return;
    m_out << "\r\033[K";
    m_barShown = false;
}

bool CCliSession::Run(const std::function<bool()>& settled, std::chrono::milliseconds timeout,
                      int descriptor, const std::function<void()>& pump) {
    constexpr auto kAskAtLeastEvery = std::chrono::milliseconds(20);
    auto lastWork = std::chrono::steady_clock::now();
    auto lastAsked = lastWork;
    for (;;) {
        if (m_stopped) {
            ClearBar();
            return false;
        }
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(m_queueLock);
            batch.swap(m_queue);
        }
        for (auto& work : batch) work();
        if (!batch.empty()) {
            lastWork = std::chrono::steady_clock::now();
            // Many docks may keep the queue busy for good: ask now and then all the same.
            if (lastWork - lastAsked < kAskAtLeastEvery) continue;
        }
        lastAsked = std::chrono::steady_clock::now();
        // Ask first, look at the queue second: once nothing is in flight, nothing can be queued
        // after we looked.
        if (settled()) {
            std::lock_guard lock(m_queueLock);
            if (m_queue.empty()) {
                ClearBar();
                return true;
            }
            continue;
        }
        if (std::chrono::steady_clock::now() - lastWork > timeout) {
            ClearBar();
            return false;
        }
#ifndef _WIN32
        if (descriptor >= 0 || m_stopDescriptor >= 0) {
            // poll() passes over a negative descriptor.
            pollfd watched[2] = {{descriptor, POLLIN, 0}, {m_stopDescriptor, POLLIN, 0}};
            if (::poll(watched, 2, 5) > 0) {
                if (watched[1].revents != 0 && m_onStop && m_onStop()) m_stopped = true;
                if (watched[0].revents != 0 && pump) pump();
            }
            continue;
        }
#else
        (void)descriptor;
        (void)pump;
#endif
        std::unique_lock lock(m_queueLock);
        m_queued.wait_for(lock, std::chrono::milliseconds(2), [&] { return !m_queue.empty(); });
    }
}

}  // namespace tamblor
