#include "DockSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <iostream>

namespace tamblor {
namespace {

constexpr std::array kEndingSignals = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1,
                                       SIGUSR2, SIGALRM, SIGPOLL, SIGVTALRM, SIGPROF,
                                       SIGXCPU, SIGXFSZ, SIGPWR,  SIGSTKFLT};

}  // namespace

CUniqueFd WatchEndingSignals() {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : kEndingSignals) sigaddset(&signals, signal);
    // The real-time signals end a process by default as well; their numbers are known only now.
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&signals, signal);
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return CUniqueFd();
    return CUniqueFd(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
}

bool IsStopSignal(int signal) { return signal == SIGINT || signal == SIGTERM || signal == SIGHUP; }

int TakeSignal(int fd) {
    signalfd_siginfo info{};
    if (::read(fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

void EndBy(int signal) {
    std::cout.flush();
    std::cerr.flush();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    // Not reached for a signal whose default ends the process; anything else must still not
    // pass for success.
    std::_Exit(128 + signal);
}

}  // namespace tamblor
