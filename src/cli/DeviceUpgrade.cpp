// tamblor-cli upgrade on the machine's own dock: the waits, Ctrl-C and SIGTERM, the verdict.
#include "DeviceUpgrade.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#ifdef TAMBLOR_HAVE_PLATFORM_HID
#include "CliSession.h"
#include "InterruptPolicy.h"
#include "SimulatedUpgrade.h"
#include "StopSignals.h"
#include "TerminalOutput.h"
#include "TextFormat.h"
#include "UpgradeVerdict.h"
#include "app/TamblorEngine.h"
#include "hid/PlatformHidBus.h"
#endif

namespace tamblor {

#ifdef TAMBLOR_HAVE_PLATFORM_HID

namespace {

constexpr int kExitFailed = 1;
// The dock is being upgraded by another copy of the tool: nothing was tried (EX_TEMPFAIL).
constexpr int kExitBusy = 75;
// After "ISP Success!" the dock restarts into its application; long enough to see it return.
constexpr std::chrono::seconds kReturnWait{3};

// The shell's convention: 128 and the signal's number.
int StopStatus(StopSignal signal) {
    switch (signal) {
        case StopSignal::Terminate:
            return 143;
        case StopSignal::Hangup:
            return 129;
        case StopSignal::Interrupt:
            break;
    }
    return 130;
}

const char* SignalName(StopSignal signal) {
    switch (signal) {
        case StopSignal::Terminate:
            return "SIGTERM";
        case StopSignal::Hangup:
            return "SIGHUP";
        case StopSignal::Interrupt:
            break;
    }
    return "Ctrl-C";
}

struct Stop {
    StopSignal signal;
    bool chipBeingWritten;  // the engine's own notion, as the window's exit confirmation uses
};

std::string WarningLine() {
    return "tamblor-cli upgrade: the dock is being upgraded; stopping now may leave it unusable. "
           "Press Ctrl-C again within " +
           std::to_string(CInterruptPolicy::kConfirmWindow.count()) + " s to stop anyway.";
}

std::string WaitingLine(const PackageInfo& package) {
    return "tamblor-cli upgrade: no dock attached; waiting up to " +
           std::to_string(kDockWait.count()) + " s for one with vendor ID " +
           Hex4(package.g_packageVid) + " and product ID " + Hex4(package.g_packagePid) +
           " (Ctrl-C stops)";
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

int RunOnDevice(const std::filesystem::path& packagePath, const PackageInfo& package,
                std::ostream& out, std::ostream& err) {
    // From here on a Ctrl-C is the policy's to decide.
    CStopSignals signals;
    CCliSession session(out, StdoutIsTerminal());
    std::unique_ptr<IHidBus> bus;
    {
        // Threads of the bus and the engine never take the signals; the loop's thread does.
        CStopSignalsBlocked shield;
        bus = CreatePlatformHidBus();
    }
    CTamblorEngine engine(*bus, session);
    session.Attach(engine);
    bus->SetDeviceChangeSink([&session](const DeviceChange& c) { session.PostDeviceChange(c); });
    const int descriptor = bus->DeviceChangeDescriptor();
    const auto pump = [&bus] { bus->PumpDeviceChanges(); };

    CInterruptPolicy policy;
    std::optional<Stop> stop;
    session.WatchStop(signals.Descriptor(), [&] {
        for (const StopSignal signal : signals.Take()) {
            const bool writing = engine.IsUpgradeRunning();
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

    {
        CStopSignalsBlocked shield;
        engine.OnInitDialog(packagePath);
    }
    // The start-up's own lines first; then, before a wait, a word about it.
    session.Run([] { return true; }, kDockWait);
    const auto refused = [&engine] { return engine.Link().claimRefused; };
    if (engine.Link().g_deviceConnected == 0 && !refused()) {
        session.ShowNote(err, WaitingLine(package));
    }
    session.Run([&] { return session.UpgradeEnabled() || refused(); }, kDockWait, descriptor, pump);

    bool started = false;
    bool wentQuiet = false;
    if (!session.Stopped() && refused()) {
        // A script wants to hear at once that the dock is busy, not after a wait that another
        // copy's upgrade would outlast anyway.
        const std::string place = engine.Link().refusedPlace;
        engine.OnDestroy();
        err << "tamblor-cli upgrade: another copy of tamblor is upgrading the dock at " << place
            << "; this one leaves it alone\n";
        return kExitBusy;
    }
    if (!session.Stopped()) {
        if (!session.UpgradeEnabled()) {
            const bool attached = engine.Link().g_deviceConnected != 0;
            engine.OnDestroy();
            const std::string failure =
                attached ? "the upgrade was not offered"
                         : "no dock came within " + std::to_string(kDockWait.count()) + " s";
            err << "tamblor-cli upgrade: " << failure << '\n' << VerdictLine(failure) << '\n';
            return kExitFailed;
        }
        engine.OnStartUpgrade();
        started = true;
        // A real dock gives no sign that it has finished: wait for the sequence to come to
        // rest, bounded by a quiet spell.
        wentQuiet = !session.Run([&] { return !engine.IsUpgradeRunning(); }, kSequenceWait,
                                 descriptor, pump) &&
                    !session.Stopped();
    }
    if (started && !session.Stopped() && !wentQuiet) {
        session.Run([] { return false; }, kReturnWait, descriptor, pump);
    }
    const bool stillRunning = engine.IsUpgradeRunning();
    const std::string failure = FailureOf(engine.Outcome());
    engine.OnDestroy();

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

#else

int RunOnDevice(const std::filesystem::path&, const PackageInfo&, std::ostream&,
                std::ostream& err) {
    err << "tamblor-cli upgrade: this build has no HID transport; use --simulate\n";
    return 2;
}

#endif

}  // namespace tamblor
