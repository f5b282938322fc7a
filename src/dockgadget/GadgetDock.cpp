#include "GadgetDock.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "GadgetDescriptor.h"
#include "isp/IspReport.h"

namespace tamblor {
namespace {

using Clock = std::chrono::steady_clock;

// Larger than any report, so one read() always takes a whole report and a longer one the
// host sent shows as what it is.
constexpr std::size_t kReadBuffer = 1024;

}  // namespace

const char* ToString(GadgetDockEnd end) {
    switch (end) {
        case GadgetDockEnd::Upgraded:
            return "upgraded";
        case GadgetDockEnd::Unplugged:
            return "unplugged";
        case GadgetDockEnd::Stopped:
            return "stopped";
        case GadgetDockEnd::Failed:
            return "failed";
    }
    return "failed";
}

CGadgetDock::CGadgetDock(IGadgetLink& link, CDockLogic& logic, GadgetDockOptions options,
                         int stopFd, std::ostream& out)
    : m_link(link), m_logic(logic), m_options(options), m_stopFd(stopFd), m_out(out) {}

CGadgetDock::Wait CGadgetDock::WaitFor(int fd, short events, int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {fd, events, 0}};
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (fds[0].revents != 0) return Wait::Stopped;
        if (ready == 0) return Wait::Ready;  // the time is up
        if (fd < 0) continue;
        if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            errno = EPIPE;
            return Wait::Failed;
        }
        if (fds[1].revents != 0) return Wait::Ready;
    }
}

bool CGadgetDock::Connect(std::string& error) {
    if (!m_link.Connect(error)) return false;
    // The first report after an arrival answers nothing of ours.
    m_answered = false;
    m_out << "tamblor-dock: on the bus in " << (m_logic.IsIspMode() ? "ISP" : "AP") << " mode ("
          << m_link.Describe() << ")" << std::endl;
    return true;
}

bool CGadgetDock::HostTookLast() const {
    // The node turns writable once the host has taken the last report off the endpoint.
    pollfd node{m_link.ReportDescriptor(), POLLOUT, 0};
    return ::poll(&node, 1, 0) > 0 && (node.revents & POLLOUT) != 0;
}

void CGadgetDock::NoteTaken() {
    if (m_inFlight == InFlight::Reply) m_logic.OnReplyRead();
    m_inFlight = InFlight::None;
}

void CGadgetDock::LeaveBus() {
    if (m_inFlight != InFlight::None) {
        if (HostTookLast()) {
            NoteTaken();
        } else {
            // What the host had not taken leaves with the device.
            if (m_inFlight == InFlight::Reply) m_logic.OnRepliesLost();
            m_inFlight = InFlight::None;
        }
    }
    m_link.Disconnect();
}

CGadgetDock::Wait CGadgetDock::Send(std::span<const std::uint8_t> report, bool isReply,
                                    std::string& error) {
    // The endpoint holds one report: the next waits until the host has taken the last, which
    // is also how the logic learns that its reply was read.
    if (m_inFlight != InFlight::None) {
        const Wait wait = WaitFor(m_link.ReportDescriptor(), POLLOUT, -1);
        if (wait != Wait::Ready) return wait;
        NoteTaken();
    }
    for (;;) {
        const ssize_t written = ::write(m_link.ReportDescriptor(), report.data(), report.size());
        if (written == static_cast<ssize_t>(report.size())) {
            m_inFlight = isReply ? InFlight::Reply : InFlight::Other;
            return Wait::Ready;
        }
        if (written >= 0) {
            error = "a report went out short (" + std::to_string(written) + " of " +
                    std::to_string(report.size()) + " bytes)";
            return Wait::Failed;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            const Wait wait = WaitFor(m_link.ReportDescriptor(), POLLOUT, -1);
            if (wait == Wait::Ready) continue;
            if (wait == Wait::Stopped) return wait;
        }
        error = std::string("cannot send a report: ") + std::strerror(errno);
        return Wait::Failed;
    }
}

void CGadgetDock::NoteProgress() {
    if (m_options.progressEvery == 0 || m_chunks % m_options.progressEvery != 0) return;
    m_out << "tamblor-dock: progress: " << m_chunks << " chunks, Chip 1 "
          << m_logic.Chip1Image().size() << " bytes, Chip 2 " << m_logic.Chip2File(0).size()
          << " + " << m_logic.Chip2File(1).size() << " bytes, Chip 3 "
          << m_logic.Chip3Image().size() << " bytes" << std::endl;
}

bool CGadgetDock::OnHostReport(std::span<const std::uint8_t> report, GadgetDockEnd& end,
                               std::string& error) {
    const auto arrival = Clock::now();
    if (m_answered) {
        m_turnarounds.push_back(
            std::chrono::duration<double, std::micro>(arrival - m_lastAnswer).count());
    }
    if (m_inFlight != InFlight::None) {
        if (HostTookLast()) {
            NoteTaken();
        } else {
            ++m_earlyReports;
            m_out << "tamblor-dock: a report came before the host had collected the previous "
                     "answer"
                  << std::endl;
        }
    }
    m_answered = false;
    const bool chunk = !IsCommandReport(report);
    const DockActions actions = m_logic.OnHostReport(report);

    if (!actions.replies.empty()) {
        ++m_answers;
        if (m_options.keyboardEvery != 0 && m_answers % m_options.keyboardEvery == 0) {
            std::array<std::uint8_t, kKeyboardReportSize> keyboard{};
            keyboard[0] = kKeyboardReportId;
            const Wait wait = Send(keyboard, false, error);
            if (wait != Wait::Ready) {
                end = wait == Wait::Stopped ? GadgetDockEnd::Stopped : GadgetDockEnd::Failed;
                return false;
            }
        }
    }
    for (const Report& reply : actions.replies) {
        const Wait wait = Send(reply, true, error);
        if (wait != Wait::Ready) {
            end = wait == Wait::Stopped ? GadgetDockEnd::Stopped : GadgetDockEnd::Failed;
            return false;
        }
        m_lastAnswer = Clock::now();
        m_answered = true;
    }
    if (chunk) {
        ++m_chunks;
        NoteProgress();
    }

    if (std::holds_alternative<DockActions::Unplug>(actions.effect)) {
        LeaveBus();
        m_out << "tamblor-dock: left the bus for good" << std::endl;
        end = GadgetDockEnd::Unplugged;
        return false;
    }
    if (const auto* restart = std::get_if<DockActions::Restart>(&actions.effect)) {
        LeaveBus();
        ++m_restarts;
        if (!restart->toIspMode && !m_options.keepGoing) {
            m_out << "tamblor-dock: IspExit: the upgrade is over, the dock has left the bus"
                  << std::endl;
            end = GadgetDockEnd::Upgraded;
            return false;
        }
        m_out << "tamblor-dock: restarting into its "
              << (restart->toIspMode ? "boot loader" : "application") << ", back in "
              << m_options.restartDelay.count() << " ms" << std::endl;
        if (WaitFor(-1, 0, static_cast<int>(m_options.restartDelay.count())) != Wait::Ready) {
            end = GadgetDockEnd::Stopped;
            return false;
        }
        if (!Connect(error)) {
            end = GadgetDockEnd::Failed;
            return false;
        }
    }
    return true;
}

GadgetDockEnd CGadgetDock::Run(std::string& error) {
    m_logic.TrackReplyReads();
    if (!Connect(error)) return GadgetDockEnd::Failed;
    std::array<std::uint8_t, kReadBuffer> buffer{};
    GadgetDockEnd end = GadgetDockEnd::Stopped;
    for (;;) {
        const Wait wait = WaitFor(m_link.ReportDescriptor(), POLLIN, -1);
        if (wait == Wait::Stopped) {
            end = GadgetDockEnd::Stopped;
            break;
        }
        if (wait == Wait::Failed) {
            error = std::string("the report node failed: ") + std::strerror(errno);
            end = GadgetDockEnd::Failed;
            break;
        }
        const ssize_t got = ::read(m_link.ReportDescriptor(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            error = std::string("cannot read the host's reports: ") + std::strerror(errno);
            end = GadgetDockEnd::Failed;
            break;
        }
        if (got == 0) continue;
        if (!OnHostReport(std::span(buffer.data(), static_cast<std::size_t>(got)), end, error)) {
            break;
        }
    }
    LeaveBus();
    return end;
}

}  // namespace tamblor
