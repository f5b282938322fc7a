#include "HidrawChannels.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tamblor {

CHidrawReadChannel::CHidrawReadChannel(CUniqueFd node, CUniqueFd cancel, HidrawReportFilter filter)
    : m_node(std::move(node)), m_cancel(std::move(cancel)), m_filter(filter) {}

int CHidrawReadChannel::ReadReport(std::span<std::uint8_t> buffer) {
    if (buffer.empty()) return 0;
    // Room for the ID byte that an unnumbered device leaves out.
    const std::size_t offset = m_filter.unnumbered ? 1 : 0;
    if (buffer.size() <= offset) return 0;
    for (;;) {
        pollfd fds[2] = {{m_node.Get(), POLLIN, 0}, {m_cancel.Get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[1].revents != 0) return -1;
        // An unplugged node reports POLLHUP and POLLERR, with or without POLLIN; whatever it
        // still holds belongs to a device that is gone.
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const ssize_t got = ::read(m_node.Get(), buffer.data() + offset, buffer.size() - offset);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;  // ENODEV after an unplug, EIO on a hung-up line
        }
        if (got == 0) return 0;
        if (m_filter.unnumbered) buffer[0] = 0;
        // Another collection's report: wait for the next one (each read takes one report).
        // Its bytes go, so none shows past the end of a shorter report that follows.
        if (m_filter.byId && !m_filter.ids.test(buffer[0])) {
            std::fill_n(buffer.begin(), got, std::uint8_t{0});
            continue;
        }
        return static_cast<int>(got + static_cast<ssize_t>(offset));
    }
}

void CHidrawReadChannel::Cancel() {
    const std::uint64_t one = 1;
    // A full counter already wakes every reader, so a failed write changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(m_cancel.Get(), &one, sizeof one);
}

CHidrawWriteChannel::CHidrawWriteChannel(CUniqueFd node) : m_node(std::move(node)) {}

std::uint32_t CHidrawWriteChannel::WriteReport(std::span<const std::uint8_t> report) {
    for (;;) {
        const ssize_t written = ::write(m_node.Get(), report.data(), report.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return static_cast<std::uint32_t>(errno);
        }
        // hidraw takes a report whole or not at all; a part would be a different report.
        if (static_cast<std::size_t>(written) != report.size()) return EIO;
        return 0;
    }
}

std::unique_ptr<CHidrawReadChannel> OpenHidrawRead(const std::string& path,
                                                   const HidrawReportFilter& filter) {
    // Non-blocking, so a wake-up without a whole report goes back to poll() instead of
    // sitting in read() where Cancel() cannot reach it.
    CUniqueFd node(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!node.IsValid()) return nullptr;
    CUniqueFd cancel(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!cancel.IsValid()) return nullptr;
    return std::make_unique<CHidrawReadChannel>(std::move(node), std::move(cancel), filter);
}

std::unique_ptr<CHidrawWriteChannel> OpenHidrawWrite(const std::string& path) {
    CUniqueFd node(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!node.IsValid()) return nullptr;
    // hidraw lets any number of programs open a node, and each one reads every report: two
    // copies of the tool on one dock would take each other's answers and interleave their
    // writes. Whoever writes holds the node; the lock goes with the descriptor.
    if (::flock(node.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;
        return nullptr;
    }
    return std::make_unique<CHidrawWriteChannel>(std::move(node));
}

}  // namespace tamblor
