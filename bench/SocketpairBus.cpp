#include "SocketpairBus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tamblor::bench {
namespace {

class SocketRead : public IHidReadChannel {
  public:
    SocketRead(int fd, SocketpairBus& bus)
        : m_fd(fd), m_cancel(::eventfd(0, EFD_CLOEXEC)), m_bus(bus) {}
    ~SocketRead() override { ::close(m_cancel); }

    int ReadReport(std::span<std::uint8_t> buffer) override {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_cancel, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR) return -1;
        }
        if (fds[1].revents != 0) return -1;
        const auto got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (got <= 0) return -1;
        m_bus.m_lastArrival = Clock::now();
        m_bus.m_arrived = true;
        m_bus.m_readerThread = std::this_thread::get_id();
        return static_cast<int>(got);
    }
    void Cancel() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(m_cancel, &one, sizeof one);
    }

  private:
    int m_fd;
    int m_cancel;
    SocketpairBus& m_bus;
};

class SocketWrite : public IHidWriteChannel {
  public:
    SocketWrite(int fd, SocketpairBus& bus) : m_fd(fd), m_bus(bus) {}
    std::uint32_t WriteReport(std::span<const std::uint8_t> report) override {
        // The engine writes in answer to a report only from the reader thread, after the read
        // that set the arrival time; each arrival is paired with the first write after it.
        if (std::this_thread::get_id() == m_bus.m_readerThread.load() && m_bus.m_arrived) {
            m_bus.m_arrived = false;
            m_bus.m_turnarounds.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - m_bus.m_lastArrival)
                    .count());
        }
        return ::send(m_fd, report.data(), report.size(), 0) < 0 ? static_cast<std::uint32_t>(errno)
                                                                 : 0;
    }

  private:
    int m_fd;
    SocketpairBus& m_bus;
};

}  // namespace

SocketpairBus::SocketpairBus() {
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, m_fds) != 0) {
        throw std::runtime_error("socketpair failed");
    }
    m_turnarounds.reserve(16384);
}

SocketpairBus::~SocketpairBus() {
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

std::vector<HidInterfaceInfo> SocketpairBus::EnumerateInterfaces() {
    return {{"socketpair", HidAttributes{0x10C4, 0xF505, 0x0100}, HidCaps{0xFF00, 2, 64, 64}}};
}

std::unique_ptr<IHidReadChannel> SocketpairBus::OpenRead(const std::string&) {
    return std::make_unique<SocketRead>(m_fds[0], *this);
}

std::unique_ptr<IHidWriteChannel> SocketpairBus::OpenWrite(const std::string&) {
    return std::make_unique<SocketWrite>(m_fds[0], *this);
}

std::vector<double> SocketpairBus::Turnarounds() const { return m_turnarounds; }

}  // namespace tamblor::bench
