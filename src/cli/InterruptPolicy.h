#pragma once

#include <chrono>
#include <optional>

namespace tamblor {

enum class StopSignal { Interrupt, Terminate, Hangup };  // Ctrl-C (SIGINT); SIGTERM; SIGHUP

// The shell's convention for a tool that a signal ended: 128 and the signal's number.
int StopStatus(StopSignal signal);
// The status is one that a stop signal gave.
bool IsStopStatus(int status);
// "Ctrl-C", "SIGTERM", "SIGHUP".
const char* SignalName(StopSignal signal);

enum class StopDecision {
    Warn,   // go on, after telling the operator what a stop now would cost
    Carry,  // go on: the terminal has gone, so nobody is there to warn or to ask twice
    End,    // end the tool now
};

// What a stop request does to a real upgrade. Ending while a chip is being written can leave
// the dock unusable, so the first Ctrl-C then only warns and a second one within the confirm
// window ends; outside a chip write Ctrl-C ends at once. SIGTERM always ends: it comes from a
// service manager or a shutdown, which will not ask twice and would follow up with SIGKILL.
// SIGHUP (the terminal or the ssh session went away) ends outside a chip write; during one
// the upgrade is carried to its end, since nobody is left to be warned.
class CInterruptPolicy {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kConfirmWindow{5};

    StopDecision OnSignal(StopSignal signal, Clock::time_point now, bool chipBeingWritten);

  private:
    std::optional<Clock::time_point> m_warnedAt;
};

}  // namespace tamblor
