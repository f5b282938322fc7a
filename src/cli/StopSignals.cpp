#include "StopSignals.h"

#ifndef _WIN32

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tamblor {
namespace {

// The handler's only state: where to write. Lock-free, so reading it in a handler is safe.
std::atomic<int> g_stopPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr unsigned char kInterruptByte = 'I';
constexpr unsigned char kTerminateByte = 'T';
constexpr unsigned char kHangupByte = 'H';

extern "C" void OnStopSignal(int signal) {
    const int savedErrno = errno;
    const int fd = g_stopPipe.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = signal == SIGTERM  ? kTerminateByte
                                   : signal == SIGHUP ? kHangupByte
                                                      : kInterruptByte;
        // A full pipe drops the byte: the loop has plenty of signals to read already.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

CStopSignals::CStopSignals() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    int expected = -1;
    if (!g_stopPipe.compare_exchange_strong(expected, ends[1])) {
        // Another instance owns the handlers.
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    m_read = ends[0];
    m_write = ends[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Restart what the signal interrupts: only the loop's poll needs to notice it, and the
    // pipe already tells it.
    action.sa_flags = SA_RESTART;
    // A signal ignored when the tool started (a background job of a script, nohup) stays
    // ignored, as the one who started it asked.
    ::sigaction(SIGINT, nullptr, &m_previousInterrupt);
    ::sigaction(SIGTERM, nullptr, &m_previousTerminate);
    ::sigaction(SIGHUP, nullptr, &m_previousHangup);
    if (m_previousInterrupt.sa_handler != SIG_IGN) ::sigaction(SIGINT, &action, nullptr);
    if (m_previousTerminate.sa_handler != SIG_IGN) ::sigaction(SIGTERM, &action, nullptr);
    if (m_previousHangup.sa_handler != SIG_IGN) ::sigaction(SIGHUP, &action, nullptr);
    // The log's writes then fail with EPIPE, which the upgrade does not depend on.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &m_previousPipe);
    m_installed = true;
}

CStopSignals::~CStopSignals() {
    if (m_installed) {
        ::sigaction(SIGINT, &m_previousInterrupt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerminate, nullptr);
        ::sigaction(SIGHUP, &m_previousHangup, nullptr);
        ::sigaction(SIGPIPE, &m_previousPipe, nullptr);
        g_stopPipe.store(-1);
    }
    if (m_read >= 0) ::close(m_read);
    if (m_write >= 0) ::close(m_write);
}

std::vector<StopSignal> CStopSignals::Take() {
    std::vector<StopSignal> signals;
    if (m_read < 0) return signals;
    unsigned char bytes[64];
    for (;;) {
        const ssize_t got = ::read(m_read, bytes, sizeof bytes);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t i = 0; i < got; ++i) {
            signals.push_back(bytes[i] == kTerminateByte ? StopSignal::Terminate
                              : bytes[i] == kHangupByte  ? StopSignal::Hangup
                                                         : StopSignal::Interrupt);
        }
    }
    return signals;
}

CStopSignalsBlocked::CStopSignalsBlocked() {
    const sigset_t set = StopSignalSet();
    m_blocked = ::pthread_sigmask(SIG_BLOCK, &set, &m_previous) == 0;
}

CStopSignalsBlocked::~CStopSignalsBlocked() {
    if (m_blocked) ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

}  // namespace tamblor

#else  // Windows: the command line has no real dock there, so nothing to protect.

namespace tamblor {

CStopSignals::CStopSignals() = default;
CStopSignals::~CStopSignals() = default;
std::vector<StopSignal> CStopSignals::Take() { return {}; }
CStopSignalsBlocked::CStopSignalsBlocked() = default;
CStopSignalsBlocked::~CStopSignalsBlocked() = default;

}  // namespace tamblor

#endif
