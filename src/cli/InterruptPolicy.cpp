#include "InterruptPolicy.h"

namespace tamblor {

int StopStatus(StopSignal signal) {
    switch (signal) {
        case StopSignal::Terminate:
            return 143;
        case StopSignal::Hangup:
            return 129;
        case StopSignal::Interrupt:
            break;
    }
    return 130;
}

bool IsStopStatus(int status) {
    for (const auto signal : {StopSignal::Interrupt, StopSignal::Terminate, StopSignal::Hangup}) {
        if (status == StopStatus(signal)) return true;
    }
    return false;
}

const char* SignalName(StopSignal signal) {
    switch (signal) {
        case StopSignal::Terminate:
            return "SIGTERM";
        case StopSignal::Hangup:
            return "SIGHUP";
        case StopSignal::Interrupt:
            break;
    }
    return "Ctrl-C";
}

StopDecision CInterruptPolicy::OnSignal(StopSignal signal, Clock::time_point now,
                                        bool chipBeingWritten) {
    if (signal == StopSignal::Terminate || !chipBeingWritten) return StopDecision::End;
    if (signal == StopSignal::Hangup) return StopDecision::Carry;
    if (m_warnedAt && now - *m_warnedAt <= kConfirmWindow) return StopDecision::End;
    // A Ctrl-C long after the warning is a new request: the operator may have forgotten it.
    m_warnedAt = now;
    return StopDecision::Warn;
}

}  // namespace tamblor
