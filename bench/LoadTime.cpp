// (c) Package load: the whole loader, from opening the executable to the checksums.
#include <cstdio>
#include <vector>

#include "Bench.h"
#include "package/PackageLoader.h"

namespace tamblor::bench {

void RunLoadTime() {
    constexpr int kRuns = 50;
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = Clock::now();
        const auto result = LoadPackage(TAMBLOR_SHIPPED_PACKAGE);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (result.code != 0) {
            std::printf("(c) package load failed: ISP error %d!\n", result.code);
            return;
        }
    }
    std::printf("(c) package load of the shipped executable, %d runs (warm cache)\n", kRuns);
    std::printf("  median %.3f ms  p99 %.3f ms  first %.3f ms\n", Percentile(times, 0.5),
                Percentile(times, 0.99), times.front());
}

}  // namespace tamblor::bench
