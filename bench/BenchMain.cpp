// Prints the figures the tool is held to: engine cost per chunk, report turnaround across
// threads, package load time, many docks at once.
#include <cstdio>
#include <cstring>

#include "Bench.h"

int main(int argc, char** argv) {
    // "turnaround SELECTOR2_PACKAGE SELECTOR3_PACKAGE": only (b), for a machine (such as the
    // kernel test's VM) that has the packages somewhere else than the build left them.
    if (argc == 4 && std::strcmp(argv[1], "turnaround") == 0) {
        tamblor::bench::RunTurnaround(argv[2], argv[3]);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "docks") == 0) {
        tamblor::bench::RunManyDocks(TAMBLOR_SHIPPED_PACKAGE);
        return 0;
    }
    if (argc != 1) {
        std::fprintf(stderr,
                     "usage: tamblor-bench [turnaround SELECTOR2_PACKAGE SELECTOR3_PACKAGE | "
                     "docks]\n");
        return 2;
    }
    std::printf(
        "tamblor benchmarks (targets: <= 2 us per chunk, turnaround p99 <= 50 us, "
        "load <= 5 ms)\n");
    tamblor::bench::RunChunkCost();
    tamblor::bench::RunTurnaround(TAMBLOR_SELECTOR2_PACKAGE, TAMBLOR_SELECTOR3_PACKAGE);
    tamblor::bench::RunLoadTime();
    tamblor::bench::RunManyDocks(TAMBLOR_SHIPPED_PACKAGE);
    return 0;
}
