// A run on several docks: the loop, the stop signals and the exit status.
#include "FleetRun.h"

#include <optional>
#include <ostream>

#include "CliSession.h"
#include "CommandLine.h"
#include "InterruptPolicy.h"
#include "StopSignals.h"

namespace tamblor {
namespace {

struct Stop {
    StopSignal signal;
    bool writing;
};

std::string Joined(const std::vector<std::string>& places) {
    std::string text;
    for (const auto& place : places) text += (text.empty() ? "" : ", ") + place;
    return text;
}

}  // namespace

int RunFleet(IHidBus& bus, FleetPlan plan, const FleetPresentation& presentation, std::ostream& out,
             std::ostream& err, bool catchSignals, std::vector<DockResult>* results) {
    std::optional<CStopSignals> signals;
    if (catchSignals) signals.emplace();
    const std::string prefix = "tamblor-cli " + presentation.command + ": ";
    const bool watch = plan.watch;
    const auto waitSeconds = std::to_string(plan.wait.count() / 1000);
    CCliSession session(out, false);
    const auto output = presentation.quiet  ? MakeQuietFleetOutput()
                        : presentation.json ? MakeJsonFleetOutput(out, err)
                                            : MakeTextFleetOutput(out, err, presentation.terminal,
                                                                  presentation.command);
    CDockFleet fleet(bus, session, *output, std::move(plan));
    bus.SetDeviceChangeSink([&session, &fleet](const DeviceChange& change) {
        session.PostWork([&fleet, change] { fleet.OnDeviceChange(change); });
    });
    const int descriptor = bus.DeviceChangeDescriptor();
    const auto pump = [&bus] { bus.PumpDeviceChanges(); };

    CInterruptPolicy policy;
    std::optional<Stop> stop;
    if (signals) {
        session.WatchStop(signals->Descriptor(), [&] {
            for (const StopSignal signal : signals->Take()) {
                const bool writing = fleet.AnyWriting();
                const auto decision =
                    policy.OnSignal(signal, CInterruptPolicy::Clock::now(), writing);
                if (decision == StopDecision::Warn) {
                    output->Note(prefix +
                                 "docks are being upgraded; stopping now may leave them "
                                 "unusable. Press Ctrl-C again within " +
                                 std::to_string(CInterruptPolicy::kConfirmWindow.count()) +
                                 " s to stop anyway.");
                    continue;
                }
                if (decision == StopDecision::Carry) {
                    output->Note(prefix +
                                 "the terminal hung up while docks were being upgraded; "
                                 "their upgrades go on to their end");
                    continue;
                }
                stop = Stop{signal, writing};
                return true;
            }
            return false;
        });
    }
    if (watch) {
        output->Note(prefix + "upgrading every matching dock as it is plugged in; Ctrl-C ends");
    }
    // Nothing but a stop or the fleet's own end finishes the loop.
    constexpr auto kForever = std::chrono::hours(24 * 365);
    session.Run(
        [&] {
            const bool done = fleet.Tick();
            if (const std::string waiting = fleet.TakeWaitingNote(); !waiting.empty()) {
                // A quiet run (status) shows none of the fleet's notes, but a silent wait
                // for a dock would look like a hang.
                if (presentation.quiet) {
                    err << prefix << waiting << '\n' << std::flush;
                } else {
                    output->Note(prefix + waiting);
                }
            }
            return done;
        },
        kForever, descriptor, pump);
    const bool started = fleet.AnyStarted();
    fleet.Close();
    bus.SetDeviceChangeSink({});
    if (results != nullptr) *results = fleet.Results();

    if (!fleet.Refused().empty()) {
        err << prefix << fleet.Refused().size() << " docks match (" << Joined(fleet.Refused())
            << "): choose one with --device PLACE, or take them all with --all\n";
        return kExitRefused;
    }
    FleetSummary summary = fleet.Summary();
    if (fleet.NoneFound() && summary.docks == 0) {
        output->Note(prefix + "no dock came within " + waitSeconds + " s");
    }
    if (stop) {
        const std::string stopped = prefix + "stopped by " + SignalName(stop->signal);
        if (stop->writing) {
            output->Note(stopped +
                         " while docks were being upgraded: their upgrades did not finish and "
                         "they may be left unusable");
            summary.exitStatus = StopStatus(stop->signal);
        } else if (!watch && !started) {
            output->Note(stopped + " before any upgrade started; no dock was changed");
            summary.exitStatus = StopStatus(stop->signal);
        } else {
            if (const auto left = fleet.Unfinished(); !left.empty()) {
                output->Note(stopped + " before the upgrade of " + Joined(left) + " started; " +
                             (left.size() == 1 ? "that dock was" : "those docks were") +
                             " not changed");
                // The docks that passed do not make the run a success: a chosen one was
                // never upgraded.
                summary.exitStatus = StopStatus(stop->signal);
            }
            // The station's normal end: it takes docks as they come, and its verdicts stand.
            if (watch) summary.exitStatus = summary.failed > 0 ? 1 : 0;
        }
    }
    output->Summary(summary);
    return summary.exitStatus;
}

}  // namespace tamblor
