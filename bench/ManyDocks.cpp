// (d) Many docks at once: wall time of N emulated docks against one dock's in the same run, at
// 1 ms per report, with the host's CPU time per dock and the process's resident memory.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "Bench.h"
#include "cli/FleetRun.h"
#include "dock/DockExpectation.h"
#include "hid/emulated/DockRack.h"
#include "package/PackageLoader.h"

namespace tamblor::bench {
namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident memory now (VmRSS), in MiB; the peak (VmHWM) would keep the largest run's.
double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            double kib = 0;
            fields >> kib;
            return kib / 1024.0;
        }
    }
    return 0;
}

struct Run {
    double wall = 0, cpu = 0, rssDuring = 0;
    std::size_t passed = 0;
};

Run Upgrade(std::size_t docks, const char* package, const PackageInfo& info) {
    DockConfig config;
    config.expected = LoadDockExpectation(package);
    EmulatedBusOptions bus;
    bus.latency = std::chrono::milliseconds(1);
    CDockRack rack(std::vector<DockConfig>(docks, config), bus);
    FleetPlan plan;
    plan.packagePath = package;
    plan.package = info;
    plan.all = true;
    plan.quiet = [&rack](const std::string& place) { return rack.DockAt(place)->Pending() == 0; };
    double rss = 0;
    plan.judge = [&rack, &rss](const std::string& place) {
        // Every engine is still up when the first dock is judged.
        if (rss == 0) rss = ResidentMiB();
        return rack.DockAt(place)->Report().Passed() ? std::string() : "report";
    };
    std::ostringstream out, err;
    std::vector<DockResult> results;
    const double cpuBefore = CpuSeconds();
    const auto begin = Clock::now();
    RunFleet(rack, std::move(plan), FleetPresentation{}, out, err, false, &results);
    Run run;
    run.wall = std::chrono::duration<double>(Clock::now() - begin).count();
    run.cpu = CpuSeconds() - cpuBefore;
    run.rssDuring = rss;
    for (const auto& result : results) run.passed += result.verdict == DockVerdict::Passed;
    return run;
}

// The run of median wall time of three: the machine's other work moves single runs a lot.
Run Median(std::size_t docks, const char* package, const PackageInfo& info) {
    std::vector<Run> runs;
    for (int i = 0; i < 3; ++i) runs.push_back(Upgrade(docks, package, info));
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.wall < b.wall; });
    return runs[1];
}

}  // namespace

void RunManyDocks(const char* package) {
    const LoadResult loaded = LoadPackage(package);
    if (loaded.code != 0) {
        std::printf("(d) many docks: the package %s does not load\n", package);
        return;
    }
    std::printf(
        "(d) many emulated docks at once, 1 ms per report, median of 3 runs (target: N docks "
        "<= 1.15x one)\n");
    // The first run also pays for the package's first reads and the allocator's growth.
    Upgrade(1, package, loaded.info);
    const Run one = Median(1, package, loaded.info);
    std::printf(
        "    %2d dock : wall %6.3f s          CPU %6.1f ms/dock  RSS %6.1f MiB  passed %zu/1\n", 1,
        one.wall, one.cpu * 1e3, one.rssDuring, one.passed);
    for (const std::size_t n : {4u, 16u, 32u}) {
        const Run many = Median(n, package, loaded.info);
        std::printf(
            "    %2zu docks: wall %6.3f s (%.2fx)  CPU %6.1f ms/dock  RSS %6.1f MiB  passed "
            "%zu/%zu\n",
            n, many.wall, many.wall / one.wall, many.cpu * 1e3 / static_cast<double>(n),
            many.rssDuring, many.passed, n);
    }
}

}  // namespace tamblor::bench
