#pragma once

#include <vector>

#include "InterruptPolicy.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace tamblor {

// Catches SIGINT, SIGTERM and SIGHUP for as long as it lives and queues them for the session's
// loop: the handler only writes one byte into a pipe whose read end the loop polls, so nothing
// unsafe runs in the handler and the decision is taken on the loop's thread. SIGPIPE is
// ignored meanwhile: a reader of the log that goes away (`| head`) must not end the tool in the
// middle of a chip. The previous handlers come back on destruction. One instance at a time. Where
// the platform has no such signals, Descriptor() is -1 and nothing is caught.
class CStopSignals {
  public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // Readable while signals wait to be taken; -1 when none can be caught.
    int Descriptor() const { return m_read; }
    // The signals that came since the last call, in order.
    std::vector<StopSignal> Take();

  private:
    int m_read = -1;
    int m_write = -1;
#ifndef _WIN32
    bool m_installed = false;
    struct sigaction m_previousInterrupt {};
    struct sigaction m_previousTerminate {};
    struct sigaction m_previousHangup {};
    struct sigaction m_previousPipe {};
#endif
};

// Keeps SIGINT, SIGTERM and SIGHUP away from the calling thread while it lives, so that threads
// started meanwhile (and their threads) never take them: their system calls are not
// interrupted, and the signals wait for the thread that runs the loop.
class CStopSignalsBlocked {
  public:
    CStopSignalsBlocked();
    ~CStopSignalsBlocked();
    CStopSignalsBlocked(const CStopSignalsBlocked&) = delete;
    CStopSignalsBlocked& operator=(const CStopSignalsBlocked&) = delete;

  private:
#ifndef _WIN32
    bool m_blocked = false;
    sigset_t m_previous{};
#endif
};

}  // namespace tamblor
