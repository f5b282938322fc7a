// tamblor-cli upgrade on the machine's own dock: the waits, Ctrl-C and SIGTERM, the verdict.
#include "DeviceUpgrade.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "CliSession.h"
#include "CommandLine.h"
#include "InterruptPolicy.h"
#include "SimulatedUpgrade.h"
#include "StopSignals.h"
#include "TerminalOutput.h"
#include "TextFormat.h"
#include "UpgradeVerdict.h"
#include "app/DockMatch.h"
#include "app/PlaceView.h"
#include "app/TamblorEngine.h"
#include "hid/PlatformHidBus.h"

namespace tamblor {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitCurrent = 3;
constexpr int kExitNoDock = 4;
// How often the wait for a dock looks at the bus, besides on device changes.
constexpr auto kLookEvery = std::chrono::milliseconds(100);
// After "ISP Success!" the dock restarts into its application; long enough to see it return.
constexpr std::chrono::seconds kReturnWait{3};

struct Stop {
    StopSignal signal;
    bool chipBeingWritten;  // the engine's own notion, as the window's exit confirmation uses
};

std::string WarningLine() {
    return "tamblor-cli upgrade: the dock is being upgraded; stopping now may leave it unusable. "
           "Press Ctrl-C again within " +
           std::to_string(CInterruptPolicy::kConfirmWindow.count()) + " s to stop anyway.";
}

// The places of the matching docks, in the bus's order, each once.
std::vector<std::string> MatchingPlaces(IHidBus& bus, const PackageInfo& package) {
    std::vector<std::string> places;
    for (const auto& info : bus.EnumerateInterfaces()) {
        if (!MatchesDock(info, package.g_packageVid, package.g_packagePid)) continue;
        if (std::find(places.begin(), places.end(), info.place) == places.end())
            places.push_back(info.place);
    }
    return places;
}

// The last words when a signal ended the run; returns the exit status.
int ReportStop(const Stop& stop, bool started, const std::string& failure, std::ostream& err) {
    const std::string stopped = std::string("stopped by ") + SignalName(stop.signal);
    err << "tamblor-cli upgrade: " << stopped;
    if (stop.chipBeingWritten) {
        err << " while the dock was being upgraded: the upgrade did not finish and the dock may "
               "be left unusable\n";
        err << VerdictLine(stopped + " while the dock was being upgraded") << '\n';
        return StopStatus(stop.signal);
    }
    if (!started) {
        err << " before the upgrade started; the dock was not changed\n";
        err << VerdictLine(stopped + " before the upgrade started") << '\n';
        return StopStatus(stop.signal);
    }
    // The sequence had already come to its end: its verdict stands.
    err << " after the upgrade had ended\n";
    err << VerdictLine(failure) << '\n';
    return failure.empty() ? 0 : kExitFailed;
}

}  // namespace

std::string NoDockWaitingText(const PackageInfo& package, std::chrono::seconds wait) {
    return "no dock attached; waiting up to " + std::to_string(wait.count()) +
           " s for one with vendor ID " + Hex4(package.g_packageVid) + " and product ID " +
           Hex4(package.g_packagePid) + " (Ctrl-C stops)";
}

int RunOnDevice(const std::filesystem::path& packagePath, const PackageInfo& package,
                std::chrono::seconds wait, std::ostream& out, std::ostream& err) {
    // From here on a Ctrl-C is the policy's to decide.
    CStopSignals signals;
    CCliSession session(out, StdoutIsTerminal());
    std::unique_ptr<IHidBus> bus;
    {
        // Threads of the bus and the engine never take the signals; the loop's thread does.
        CStopSignalsBlocked shield;
        bus = CreatePlatformHidBus();
    }
    const int descriptor = bus->DeviceChangeDescriptor();
    const auto pump = [&bus] { bus->PumpDeviceChanges(); };
    // The engine comes once its dock is known; a stop before then finds none at work.
    std::optional<CPlaceView> view;
    std::optional<CTamblorEngine> engine;

    CInterruptPolicy policy;
    std::optional<Stop> stop;
    session.WatchStop(signals.Descriptor(), [&] {
        for (const StopSignal signal : signals.Take()) {
            const bool writing = engine && engine->IsUpgradeRunning();
            const auto now = CInterruptPolicy::Clock::now();
            const StopDecision decision = policy.OnSignal(signal, now, writing);
            if (decision == StopDecision::Warn) {
                session.ShowNote(err, WarningLine());
                continue;
            }
            if (decision == StopDecision::Carry) {
                // Written for a log that outlives the terminal (stderr to a file).
                session.ShowNote(err,
                                 "tamblor-cli upgrade: the terminal hung up while the dock "
                                 "was being upgraded; the upgrade goes on to its end");
                continue;
            }
            stop = Stop{signal, writing};
            return true;
        }
        return false;
    });

    // Which dock: the only one that matches. The engine then sees its place alone, so the
    // dock's restart can only bring back this dock.
    std::vector<std::string> places = MatchingPlaces(*bus, package);
    if (places.empty()) {
        session.ShowNote(err, "tamblor-cli upgrade: " + NoDockWaitingText(package, wait));
        bus->SetDeviceChangeSink(
            [&session](const DeviceChange& c) { session.PostDeviceChange(c); });
        const auto deadline = std::chrono::steady_clock::now() + wait;
        auto lastLook = std::chrono::steady_clock::now();
        session.Run(
            [&] {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastLook < kLookEvery && now < deadline) return false;
                lastLook = now;
                places = MatchingPlaces(*bus, package);
                return !places.empty() || now >= deadline;
            },
            wait, descriptor, pump);
        bus->SetDeviceChangeSink({});
        if (stop) return ReportStop(*stop, false, {}, err);
    }
    if (places.size() > 1) {
        std::string list;
        for (const auto& place : places) list += (list.empty() ? "" : ", ") + place;
        err << "tamblor-cli upgrade: " << places.size() << " docks match (" << list
            << "): choose one with --device PLACE, or take them all with --all\n";
        return kExitRefused;
    }
    if (places.empty()) {
        const std::string failure = "no dock came within " + std::to_string(wait.count()) + " s";
        err << "tamblor-cli upgrade: " << failure << '\n' << VerdictLine(failure) << '\n';
        return kExitNoDock;
    }
    view.emplace(*bus, places.front());
    engine.emplace(*view, session);
    session.Attach(*engine);
    view->SetDeviceChangeSink([&engine](const DeviceChange& c) { engine->OnDeviceChange(c); });
    bus->SetDeviceChangeSink([&session, &view](const DeviceChange& c) {
        session.PostWork([&view, c] { view->Notify(c); });
    });

    {
        CStopSignalsBlocked shield;
        engine->OnInitDialog(packagePath);
    }
    // The start-up's own lines first.
    session.Run([] { return true; }, kDockWait);
    const auto refused = [&engine] { return engine->Link().claimRefused; };
    session.Run([&] { return session.UpgradeEnabled() || refused(); }, kDockWait, descriptor, pump);

    bool started = false;
    bool wentQuiet = false;
    if (!session.Stopped() && refused()) {
        // A script wants to hear at once that the dock is busy, not after a wait that another
        // copy's upgrade would outlast anyway.
        const std::string place = engine->Link().refusedPlace;
        engine->OnDestroy();
        // Nothing was tried: one line of its own, not a verdict.
        err << "tamblor-cli upgrade: another copy of tamblor is upgrading the dock at " << place
            << "; this one leaves it alone\n";
        return kExitFailed;
    }
    if (!session.Stopped()) {
        if (!session.UpgradeEnabled()) {
            const bool attached = engine->Link().g_deviceConnected != 0;
            engine->OnDestroy();
            const auto& lines = session.Lines();
            if (attached &&
                std::find(lines.begin(), lines.end(), "Don't need to upgrade!") != lines.end()) {
                err << "tamblor-cli upgrade: the dock at " << places.front()
                    << " already has this version or a newer one; nothing to do\n";
                return kExitCurrent;
            }
            const std::string failure =
                attached ? "the upgrade was not offered" : "the dock went away before its upgrade";
            err << "tamblor-cli upgrade: " << failure << '\n' << VerdictLine(failure) << '\n';
            return kExitFailed;
        }
        engine->OnStartUpgrade();
        started = true;
        // A real dock gives no sign that it has finished: wait for the sequence to come to
        // rest, bounded by a quiet spell.
        wentQuiet = !session.Run([&] { return !engine->IsUpgradeRunning(); }, kSequenceWait,
                                 descriptor, pump) &&
                    !session.Stopped();
    }
    if (started && !session.Stopped() && !wentQuiet) {
        session.Run([] { return false; }, kReturnWait, descriptor, pump);
    }
    const bool stillRunning = engine->IsUpgradeRunning();
    const std::string failure = FailureOf(engine->Outcome());
    engine->OnDestroy();

    if (stop) return ReportStop(*stop, started, failure, err);
    if (stillRunning) {
        err << "tamblor-cli upgrade: the dock did not answer for " << kSequenceWait.count()
            << " s in the middle of the upgrade; giving up, and the dock may be left unusable\n";
        err << VerdictLine("the dock stopped answering in the middle of the upgrade") << '\n';
        return kExitFailed;
    }
    err << VerdictLine(failure) << '\n';
    return failure.empty() ? 0 : kExitFailed;
}

}  // namespace tamblor
