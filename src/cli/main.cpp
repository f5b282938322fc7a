#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "SelfPath.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "InterruptPolicy.h"
#include "QueuedOutput.h"
#include "StopSignals.h"

namespace {

using Milliseconds = std::chrono::milliseconds;

// A standard descriptor the tool was started without (`2>&-`, a launcher that closes them) is
// held by /dev/null opened for reading: writes to it fail as they would on a closed one, and no
// descriptor the tool opens takes its number. Otherwise the stop signals' pipe could, and the
// tool's own messages would come back to it as Ctrl-C presses and end an upgrade halfway. Held
// for the whole process, as the standard descriptors are.
void HoldClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int held = ::open("/dev/null", O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

// Waits for `output` to reach its reader, within `bound` when one is given. A stop signal ends
// the wait: the run is over and its status stands, only its output is cut short. True when
// every byte arrived.
bool Deliver(tamblor::CQueuedOutput& output, std::optional<Milliseconds> bound,
             tamblor::CStopSignals& stops, bool& stopped) {
    using Clock = std::chrono::steady_clock;
    // How soon a stop is noticed while the reader holds the output up.
    constexpr Milliseconds kLook{50};
    const auto deadline = bound ? Clock::now() + *bound : Clock::time_point::max();
    for (;;) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        if (output.Drain(std::clamp(left, Milliseconds{0}, kLook))) return true;
        if (output.Idle() || left <= kLook) return false;
        if (stopped || !stops.Take().empty()) {
            stopped = true;
            return false;
        }
    }
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
    HoldClosedStandardDescriptors();
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    const char* argv0 = argc > 0 ? argv[0] : "tamblor-cli";
    const auto self = tamblor::SelfExecutablePath(argv0);
#ifdef _WIN32
    return tamblor::RunTamblorCli(args, self, std::cout, std::cerr);
#else
    tamblor::CQueuedOutput out(STDOUT_FILENO);
    tamblor::CQueuedOutput err(STDERR_FILENO);
    bool outputJudged = false;  // the command's status already says whether its output arrived
    const int status = tamblor::RunTamblorCli(args, self, out.Stream(), err.Stream(), [&] {
        outputJudged = true;
        return out.Drain(std::nullopt);
    });
    // The run is over; what it said is owed to its readers, who may read slowly (a pager). A
    // stopped run owes them less: the one who stopped it must not wait on a reader that never
    // reads. Nor does a stop that comes while they are waited for end the tool by its signal:
    // the status would then say that the run was cut short, and nothing would say why.
    tamblor::CStopSignals stops;
    bool stopped = false;
    std::optional<Milliseconds> bound;
    if (tamblor::IsStopStatus(status)) bound = std::chrono::seconds(2);
    if (!Deliver(out, bound, stops, stopped) && !outputJudged) {
        const std::size_t unwritten = out.Unwritten();
        err.Stream() << "tamblor-cli: " << unwritten << (unwritten == 1 ? " byte" : " bytes")
                     << " of output not written ("
                     << (out.Failure() != 0 ? std::strerror(out.Failure())
                                            : "its reader did not keep up")
                     << ")\n";
    }
    // After a stop, the line that tells what was lost still gets a moment to reach a reader
    // that keeps up.
    if (stopped) bound = Milliseconds{200};
    bool stoppedAgain = false;
    Deliver(err, bound, stops, stoppedAgain);
    return status;
#endif
}
