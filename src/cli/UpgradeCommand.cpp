// tamblor-cli upgrade: start-up, the scan, Start upgrade and the whole sequence, with the log
// printed as the window would show it.
#include <algorithm>
#include <array>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "DeviceUpgrade.h"
#include "FleetRun.h"
#include "InterruptPolicy.h"
#include "PackageText.h"
#include "SharedDockOptions.h"
#include "SimulatedUpgrade.h"
#include "StopSignals.h"
#include "TerminalOutput.h"
#include "TextFormat.h"
#include "app/TamblorEngine.h"
#include "hid/PlatformHidBus.h"
#include "hid/emulated/DockRack.h"

namespace tamblor {
namespace {

constexpr std::string_view kCommand = "upgrade";
// Slower than any USB dock by far; the bound keeps the dock's timing arithmetic in range.
constexpr std::uint64_t kMaxLatencyUs = 1'000'000;

// Enough for a cart of docks on a few hubs; the emulated run starts a dock per number.

struct UpgradeOptions {
    bool simulate = false;
    bool dockReport = false;
    std::filesystem::path package;
    DockConfig dock;
    EmulatedBusOptions bus;
    bool all = false;
    bool watch = false;
    bool json = false;
    std::vector<std::string> places;
    std::chrono::seconds wait = kDockWait;
    std::size_t docks = 1;
    // Faults for one dock of an emulated run: its number (from 1) and the fault.
    std::vector<std::pair<std::size_t, std::string>> dockFaults;
    // Several docks, JSON or a choice: the run on several docks, whatever their number.
    bool Fleet() const { return all || watch || json || !places.empty() || docks > 1; }
};

constexpr std::array<OptionRule, 13> kOptions = {{
    {"--package", true},
    {"--simulate", false},
    {"--dock-report", false},
    {"--device-mode", true},
    {"--device-version", true},
    {"--latency-us", true},
    {"--fault", true, true},
    {"--all", false},
    {"--device", true, true},
    {"--watch", false},
    {"--json", false},
    {"--wait", true},
    {"--docks", true},
}};

void PrintHelp(std::ostream& out) {
    out << "usage: tamblor-cli upgrade [--all [--watch] | --device PLACE...] [--json]\n"
           "                           [--wait SECONDS] [--package FILE]\n"
           "       tamblor-cli upgrade --simulate [--docks N] [--all | --device PLACE...]\n"
           "                           [--json] [--package FILE] [--device-mode ap|isp]\n"
           "                           [--device-version XNNN] [--latency-us N]\n"
           "                           [--fault [K:]NAME[=N]]... [--dock-report]\n"
           "Runs start-up, the scan, Start upgrade and the whole sequence, printing the log.\n"
           "With several matching docks, --all upgrades every one at the same time and\n"
           "--device PLACE (repeatable) chooses by place (the USB port, as 'list' shows it);\n"
           "with neither the command refuses and lists the places. --all --watch keeps\n"
           "running and upgrades each matching dock as it is plugged in, until Ctrl-C (taken\n"
           "only while no dock is being written). On several docks each log line starts with\n"
           "the dock's place, each dock's verdict is a line of its own on stderr and a\n"
           "summary ends the run; --json writes JSON Lines events on stdout instead (see\n"
           "the manual page).\n"
           "Exit status 0 only when every check passed: no failure line was logged after\n"
           "Start upgrade, Chip 3 was verified and so was Chip 1 when it was programmed; with\n"
           "--simulate the dock also saw no protocol violation and holds, byte for byte, the\n"
           "package's image in every chip the run programs and nothing in the others.\n"
           "Once the upgrade was tried, the last line on stderr is the verdict: \"upgrade\n"
           "succeeded: every check passed\" or \"upgrade failed: \" and what failed (a good\n"
           "run's log itself ends with the rescan of the upgraded dock: \"Don't need to\n"
           "upgrade!\"); refused arguments (2) and a dock held by another copy (1) are told\n"
           "in one line of their own instead.\n"
           "Exit status 0: every chosen dock passed every check; 1: an upgrade failed or\n"
           "was not offered (a dock held by another copy of tamblor counts here, told by\n"
           "its place); 2: arguments or package refused, or several docks matched and none\n"
           "was chosen; 3: nothing to do, every dock already has this version or a newer\n"
           "one; 4: no dock came within --wait SECONDS (default 10); 130 (Ctrl-C),\n"
           "143 (SIGTERM) or 129 (SIGHUP): stopped before the upgrade ended.\n"
           "A real dock (Linux hidraw): when none is attached the tool says so and waits for\n"
           "one. While the dock is being upgraded, Ctrl-C only warns (stopping then may\n"
           "leave the dock unusable) and a second Ctrl-C within "
        << CInterruptPolicy::kConfirmWindow.count()
        << " s stops; otherwise Ctrl-C stops at\n"
           "once. SIGTERM always stops at once; SIGHUP (the terminal went away) stops only\n"
           "outside an upgrade, and during one the upgrade goes on to its end.\n"
           "Options:\n"
           "  --package FILE         the package at the end of FILE, not the one carried\n"
           "  --all                  every matching dock present at the start\n"
           "  --device PLACE         the dock at PLACE; may be repeated\n"
           "  --watch                with --all: go on, taking each dock plugged in\n"
           "  --json                 JSON Lines events on stdout\n"
           "  --wait SECONDS         how long to wait for a dock (default "
        << kDockWait.count()
        << ")\n"
           "  --simulate             upgrade the emulated dock instead of a real one\n"
           "  --docks N              with --simulate: N emulated docks, at emu-1..emu-N\n"
           "  --device-mode ap|isp   the emulated dock starts in its application (default) or\n"
           "                         its boot loader\n"
           "  --device-version XNNN  the version the emulated dock reports (default V102)\n"
           "  --latency-us N         the emulated dock answers each report after N\n"
           "                         microseconds, 0 to "
        << kMaxLatencyUs
        << "\n"
           "  --fault [K:]NAME[=N]   a fault of the emulated dock (below), of dock K only\n"
           "                         when numbered; may be repeated\n"
           "  --dock-report          what the emulated dock stored and found wrong, as JSON on\n"
           "                         stderr (one line per dock, with its place, for several)\n"
           "Faults of the emulated dock:\n"
        << DockFaultHelp();
}

// Empty when every option was taken, otherwise what is wrong.
std::string ReadOptions(const ParsedCommandLine& parsed, UpgradeOptions& options) {
    for (const auto& [name, value] : parsed.options) {
        if (name == "--simulate") {
            options.simulate = true;
        } else if (name == "--dock-report") {
            options.dockReport = true;
        } else if (name == "--package") {
            options.package = value;
        } else if (name == "--latency-us") {
            const auto micros = ParseDecimal(value, kMaxLatencyUs);
            if (!micros) {
                return "--latency-us takes a whole number of microseconds from 0 to " +
                       std::to_string(kMaxLatencyUs) + ", not '" + value + "'";
            }
            options.bus.latency = std::chrono::microseconds(*micros);
        } else if (name == "--fault") {
            const auto colon = value.find(':');
            if (colon == std::string::npos) {
                std::string error;
                if (!ParseDockFault(value, options.dock.faults, error)) return error;
            } else {
                const auto number =
                    ParseDecimal(std::string_view(value).substr(0, colon), kMaxDocks);
                if (!number || *number == 0) {
                    return "--fault K:NAME takes a dock number from 1 to " +
                           std::to_string(kMaxDocks) + ", not '" + value + "'";
                }
                options.dockFaults.emplace_back(*number, value.substr(colon + 1));
            }
        } else if (name == "--all") {
            options.all = true;
        } else if (name == "--watch") {
            options.watch = true;
        } else if (name == "--json") {
            options.json = true;
        } else if (name == "--device") {
            if (!IsPlaceName(value)) {
                return "--device takes a place as 'list' shows it (such as 3-1.4), not '" +
                       OneLineText(value) + "'";
            }
            if (std::find(options.places.begin(), options.places.end(), value) !=
                options.places.end()) {
                return "--device " + value + " is given twice";
            }
            options.places.push_back(value);
        } else if (auto problem = ReadSharedDockOption(
                       name, value, {options.wait, options.docks, options.dock})) {
            if (!problem->empty()) return *problem;
        }
    }
    if (options.watch && !options.all) return "--watch needs --all";
    if (options.all && !options.places.empty()) return "--all and --device exclude each other";
    for (const auto& [number, fault] : options.dockFaults) {
        if (number > options.docks) {
            return "--fault " + std::to_string(number) + ":" + fault + " names dock " +
                   std::to_string(number) + " of " + std::to_string(options.docks);
        }
        DockFaults check;
        std::string error;
        if (!ParseDockFault(fault, check, error)) return error;
    }
    if (!options.simulate) {
        // Dock options only make sense for the emulated dock; refuse rather than ignore them.
        constexpr std::array<std::string_view, 6> kReal = {"--package", "--all",  "--device",
                                                           "--watch",   "--json", "--wait"};
        for (const auto& given : parsed.options) {
            if (std::find(kReal.begin(), kReal.end(), given.name) == kReal.end())
                return std::string(given.name) + " needs --simulate";
        }
    }
    return {};
}

// What the verdict line names: the host's own verdicts first, then the dock's judgement. Empty
// exactly when the run succeeded, so the line and the exit status agree.
std::string SimulationFailure(const SimulationResult& result) {
    if (result.succeeded) return {};
    if (!result.offered) return "the upgrade was not offered";
    if (auto failure = FailureOf(result.outcome); !failure.empty()) return failure;
    if (!result.report.violations.empty()) {
        return "the dock saw the host break the protocol: " + result.report.violations.front();
    }
    if (const auto findings = result.report.ChipFindings(); !findings.empty()) {
        return "the dock's images differ from the package: " + findings.front();
    }
    return "the dock's report did not pass";
}

int RunSimulated(UpgradeOptions options, std::ostream& out, std::ostream& err) {
    // The dock is told what it should receive, so it can vouch for every byte it stores.
    options.dock.expected = LoadDockExpectation(options.package);
    CEmulatedDock dock(options.dock, options.bus);
    const auto result = RunSimulatedUpgrade(dock, options.package, out, StdoutIsTerminal());
    for (const auto& violation : result.report.violations)
        err << "violation: " << violation << '\n';
    if (result.offered) {
        for (const auto& finding : result.report.ChipFindings()) err << "dock: " << finding << '\n';
    }
    if (options.dockReport) err << result.report.ToJson() << '\n';
    if (!result.offered) err << "tamblor-cli upgrade: the upgrade was not offered\n";
    err << VerdictLine(SimulationFailure(result)) << '\n';
    return result.succeeded ? 0 : 1;
}

// Every dock's configuration: the shared options, then its own faults.
std::vector<DockConfig> RackConfigs(const UpgradeOptions& options) {
    std::vector<DockConfig> configs(options.docks, options.dock);
    for (const auto& [number, fault] : options.dockFaults) {
        std::string error;  // checked when the options were read
        ParseDockFault(fault, configs[number - 1].faults, error);
    }
    return configs;
}

// What the emulated dock at a place found wrong, in a few words; empty when its report passed.
std::string RackJudgement(CDockRack& rack, const std::string& place) {
    const CEmulatedDock* dock = rack.DockAt(place);
    if (dock == nullptr) return "no emulated dock at " + place;
    const DockReport report = dock->Report();
    if (!report.violations.empty()) {
        return "the dock saw the host break the protocol: " + report.violations.front();
    }
    if (const auto findings = report.ChipFindings(); !findings.empty()) {
        return "the dock's images differ from the package: " + findings.front();
    }
    if (!report.Passed()) return "the dock's report did not pass";
    return {};
}

// Which docks the run takes and how long it waits for them, as the options say.
FleetPlan PlanFor(const UpgradeOptions& options, const PackageInfo& package) {
    FleetPlan plan;
    plan.packagePath = options.package;
    plan.package = package;
    plan.all = options.all;
    plan.places = options.places;
    plan.watch = options.watch;
    plan.wait = options.wait;
    return plan;
}

int RunSimulatedFleet(UpgradeOptions options, const PackageInfo& package, std::ostream& out,
                      std::ostream& err) {
    options.dock.expected = LoadDockExpectation(options.package);
    CDockRack rack(RackConfigs(options), options.bus);
    FleetPlan plan = PlanFor(options, package);
    plan.quiet = [&rack](const std::string& place) {
        const CEmulatedDock* dock = rack.DockAt(place);
        return dock == nullptr || dock->Pending() == 0;
    };
    plan.judge = [&rack](const std::string& place) { return RackJudgement(rack, place); };
    FleetPresentation presentation;
    presentation.json = options.json;
    presentation.terminal = !options.json && StdoutIsTerminal();
    std::vector<DockResult> results;
    // Stopped, a rehearsal still ends with its verdicts and the docks' reports, as a real run
    // does.
    const int status = RunFleet(rack, std::move(plan), presentation, out, err, true, &results);
    for (std::size_t i = 0; i < rack.Size(); ++i) {
        const auto& place = rack.PlaceOf(i);
        const DockReport report = rack.Dock(i).Report();
        for (const auto& violation : report.violations)
            err << place << ": violation: " << violation << '\n';
        const bool started = std::any_of(results.begin(), results.end(), [&](const auto& r) {
            return r.place == place && r.started;
        });
        if (started) {
            for (const auto& finding : report.ChipFindings())
                err << place << ": dock: " << finding << '\n';
        }
        if (options.dockReport) {
            err << "{\"place\":" << JsonString(place) << ",\"report\":" << report.ToJson() << "}\n";
        }
    }
    return status;
}

int RunFleetOnDevice(const UpgradeOptions& options, const PackageInfo& package, std::ostream& out,
                     std::ostream& err) {
    std::unique_ptr<IHidBus> bus;
    {
        CStopSignalsBlocked shield;
        bus = CreatePlatformHidBus();
    }
    FleetPlan plan = PlanFor(options, package);
    plan.offerWait = kDockWait;
    plan.sequenceWait = kSequenceWait;
    FleetPresentation presentation;
    presentation.json = options.json;
    presentation.terminal = !options.json && StdoutIsTerminal();
    return RunFleet(*bus, std::move(plan), presentation, out, err, true);
}

}  // namespace

int RunUpgradeCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                      std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = ParseCommandLine(args, kOptions);
    if (parsed.help) {
        PrintHelp(out);
        return 0;
    }
    UpgradeOptions options;
    options.package = self;
    std::string problem = parsed.error;
    if (problem.empty()) problem = ReadOptions(parsed, options);
    if (!problem.empty()) {
        err << UsageError(kCommand, problem) << "\n";
        return kExitRefused;
    }
    // A package that cannot be upgraded from is the operator's input error: say it in one line
    // before any dock is looked for.
    const LoadResult loaded = LoadPackage(options.package);
    if (loaded.code != 0) {
        err << "tamblor-cli upgrade: " << DescribeLoadFailure(options.package, loaded) << "\n";
        return kExitRefused;
    }
    if (options.simulate) {
        if (options.Fleet()) return RunSimulatedFleet(options, loaded.info, out, err);
        options.dock.faults = RackConfigs(options).front().faults;
        return RunSimulated(options, out, err);
    }
    if (!PlatformHidBusReachesDocks()) {
        err << "tamblor-cli upgrade: this build has no HID transport; use --simulate\n";
        return kExitRefused;
    }
    if (options.Fleet()) return RunFleetOnDevice(options, loaded.info, out, err);
    return RunOnDevice(options.package, loaded.info, options.wait, out, err);
}

}  // namespace tamblor
