#pragma once

#include <chrono>
#include <optional>

namespace tamblor {

enum class StopSignal { Interrupt, Terminate };  // Ctrl-C (SIGINT); SIGTERM

enum class StopDecision {
    Warn,  // go on, after telling the operator what a stop now would cost
    End,   // end the tool now
};

// What a stop request does to a real upgrade. Ending while a chip is being written can leave
// the dock unusable, so the first Ctrl-C then only warns and a second one within the confirm
// window ends; outside a chip write Ctrl-C ends at once. SIGTERM always ends: it comes from a
// service manager or a shutdown, which will not ask twice and would follow up with SIGKILL.
class CInterruptPolicy {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kConfirmWindow{5};

    StopDecision OnSignal(StopSignal signal, Clock::time_point now, bool chipBeingWritten);

  private:
    std::optional<Clock::time_point> m_warnedAt;
};

}  // namespace tamblor
