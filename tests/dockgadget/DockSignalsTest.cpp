// How tamblor-dock meets the signals that would end it: each one reaches its loop instead, so
// the gadget comes down on its own thread; the stop signals end it by the run's verdict, any
// other by the signal itself once the gadget is gone; SIGPIPE does not end it at all.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "dockgadget/DockSignals.h"

namespace tamblor {
namespace {

// In a child: the signal arrives on the descriptor while the process goes on; then the child
// ends as the dock does. Returns the child's wait status; `reachedLoop` tells whether the child
// lived to take the signal from the descriptor (a signal left out of the watch kills it first,
// with the same status).
int RunChild(int signal, bool& reachedLoop) {
    int ends[2];
    if (::pipe(ends) != 0) return -1;
    const pid_t child = ::fork();
    if (child != 0) {
        ::close(ends[1]);
        char mark = 0;
        reachedLoop = ::read(ends[0], &mark, 1) == 1;
        ::close(ends[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }
    ::close(ends[0]);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const CUniqueFd fd = WatchEndingSignals();
    if (!fd.IsValid()) ::_exit(90);
    ::kill(::getpid(), signal);
    pollfd ready{fd.Get(), POLLIN, 0};
    if (::poll(&ready, 1, 10'000) != 1) ::_exit(91);
    // What the gadget's teardown would do now: the process is still here to do it.
    if (TakeSignal(fd.Get()) != signal) ::_exit(92);
    if (::write(ends[1], "t", 1) != 1) ::_exit(93);
    if (IsStopSignal(signal)) ::_exit(0);
    EndBy(signal);
}

TEST(DockSignals, EveryEndingSignalReachesTheLoopAndEndsTheDockTruthfully) {
    // Power failure, the stack fault and the real-time signals end a process by default too.
    for (const int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPOLL, SIGVTALRM, SIGPROF,
          SIGXCPU, SIGXFSZ, SIGPWR, SIGSTKFLT, SIGRTMIN, SIGRTMIN + 1, SIGRTMAX}) {
        SCOPED_TRACE(strsignal(signal));
        bool reachedLoop = false;
        const int status = RunChild(signal, reachedLoop);
        EXPECT_TRUE(reachedLoop);
        if (IsStopSignal(signal)) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        } else {
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), signal);
        }
    }
}

TEST(DockSignals, ReaderThatGoesAwayDoesNotEndTheDock) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const CUniqueFd fd = WatchEndingSignals();
        int ends[2];
        if (::pipe(ends) != 0) ::_exit(90);
        ::close(ends[0]);
        const bool failed = ::write(ends[1], "x", 1) < 0 && errno == EPIPE;
        ::_exit(failed ? 0 : 91);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tamblor
