#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "SelfPath.h"

#ifndef _WIN32
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "InterruptPolicy.h"
#include "QueuedOutput.h"
#endif

int main(int argc, char** argv) {
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
    // reads.
    std::optional<std::chrono::milliseconds> bound;
    if (tamblor::IsStopStatus(status)) bound = std::chrono::seconds(2);
    if (!out.Drain(bound) && !outputJudged) {
        const std::size_t unwritten = out.Unwritten();
        err.Stream() << "tamblor-cli: " << unwritten << (unwritten == 1 ? " byte" : " bytes")
                     << " of output not written ("
                     << (out.Failure() != 0 ? std::strerror(out.Failure())
                                            : "its reader did not keep up")
                     << ")\n";
    }
    err.Drain(bound);
    return status;
#endif
}
