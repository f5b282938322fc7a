// Prints the figures the tool is held to: engine cost per chunk, report turnaround across
// threads, package load time.
#include <cstdio>

#include "Bench.h"

int main() {
    std::printf(
        "tamblor benchmarks (targets: <= 2 us per chunk, turnaround p99 <= 50 us, "
        "load <= 5 ms)\n");
    tamblor::bench::RunChunkCost();
    tamblor::bench::RunTurnaround();
    tamblor::bench::RunLoadTime();
    return 0;
}
