#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "GadgetDock.h"
#include "dock/DockReport.h"
#include "hid/HidPort.h"

namespace tamblor {

// p50, p99 and the largest of a run's host turnarounds, in microseconds.
struct TurnaroundFigures {
    std::size_t samples = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

TurnaroundFigures SummariseTurnarounds(std::vector<double> microseconds);

// Everything tamblor-dock tells at its end.
struct GadgetRunReport {
    HidAttributes declaredAttributes;
    HidCaps declaredCaps;
    GadgetDockEnd end = GadgetDockEnd::Stopped;
    unsigned restarts = 0;
    unsigned earlyReports = 0;
    TurnaroundFigures turnaround;
    DockReport dock;

    // The dock found nothing wrong with the host's protocol.
    bool Clean() const { return dock.violations.empty(); }
    // The dock's verdict: an upgrade that reached IspExit passed only when every chip it was
    // due holds the package's bytes and the protocol was clean; a run that ended otherwise
    // (a signal, a fault that unplugged the dock) passes when the protocol was clean.
    bool Passed() const { return end == GadgetDockEnd::Upgraded ? dock.Passed() : Clean(); }
    // One line of JSON: {"end":..., "passed":B, "clean":B, "declared":{...}, "restarts":N,
    // "earlyReports":N, "turnaroundUs":{...}, "dock":{...}}. "declared" has the fields and order of
    // `tamblor-cli list --json`.
    std::string ToJson() const;
    void Print(std::ostream& out) const;
};

}  // namespace tamblor
