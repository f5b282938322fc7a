#pragma once

#include "hid/linux/UniqueFd.h"

namespace tamblor {

// Every signal that ends a process by default and can be caught (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPOLL, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ) is
// blocked and arrives on the returned descriptor instead, so the dock's loop sees it between
// reports and the gadget is always taken down on the main thread. SIGPIPE is ignored: a reader
// that goes away (`| head`) only makes the dock's lines fail. Invalid when that fails.
CUniqueFd WatchEndingSignals();

// SIGINT, SIGTERM and SIGHUP are the ways to stop the dock: the run's verdict then gives the
// exit status. Any other ending signal ends the dock as that signal would have, once the
// gadget is down and the report written.
bool IsStopSignal(int signal);

// The signal that came on `fd`, 0 for none.
int TakeSignal(int fd);

// Ends the process by `signal` with its default action, so the exit status names the signal.
[[noreturn]] void EndBy(int signal);

}  // namespace tamblor
