#include "PtyDock.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tamblor::test {
namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// True once nothing waits to be read at the tool's end of the line. poll() on a terminal first
// moves what the line still carries into its input queue, so no byte in transit is missed.
bool WaitUntilDrained(int slave) {
    for (int i = 0; i < 10000; ++i) {
        pollfd p{slave, POLLIN, 0};
        if (::poll(&p, 1, 0) >= 0 && (p.revents & POLLIN) == 0) return true;
        ::usleep(1000);
    }
    return false;
}

}  // namespace

CPtyDock::CPtyDock(DockSide& side, int master, int slave)
    : m_side(side), m_master(master), m_slave(slave), m_stop(::eventfd(0, EFD_CLOEXEC)) {
    m_thread = std::thread([this] { Run(); });
}

CPtyDock::~CPtyDock() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_stop.Get(), &one, sizeof one);
    m_thread.join();
}

void ForEachReport(int master, int stop, const std::function<bool(const Report&)>& onReport) {
    Report report{};
    std::size_t have = 0;
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
        const ssize_t n = ::read(master, report.data() + have, report.size() - have);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return;
        have += static_cast<std::size_t>(n);
        if (have < report.size()) continue;
        have = 0;
        if (!onReport(report)) return;
    }
}

void CPtyDock::Run() {
    ForEachReport(m_master, m_stop.Get(), [this](const Report& report) { return Answer(report); });
}

bool CPtyDock::Answer(const Report& report) {
    std::lock_guard lock(m_side.lock);
    if (m_side.otherCollection) {
        const auto other = m_side.otherCollection(report);
        if (!other.empty() &&
            (!WriteAll(m_master, other.data(), other.size()) || !WaitUntilDrained(m_slave))) {
            return false;
        }
    }
    const DockActions actions = m_side.logic.OnHostReport(report);
    for (const Report& reply : actions.replies) {
        if (!WriteAll(m_master, reply.data(), reply.size())) return false;
    }
    if (const auto* restart = std::get_if<DockActions::Restart>(&actions.effect)) {
        m_side.effects.push_back(*restart);
        return false;
    }
    if (std::holds_alternative<DockActions::Unplug>(actions.effect)) {
        m_side.effects.push_back(DockActions::Unplug{});
        return false;
    }
    return true;
}

}  // namespace tamblor::test
