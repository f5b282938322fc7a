// tamblor-cli upgrade: start-up, the scan, Start upgrade and the whole sequence, with the log
// printed as the window would show it.
#include <array>
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "DeviceUpgrade.h"
#include "InterruptPolicy.h"
#include "PackageText.h"
#include "SimulatedUpgrade.h"
#include "TerminalOutput.h"
#include "app/TamblorEngine.h"

namespace tamblor {
namespace {

constexpr std::string_view kCommand = "upgrade";
// Slower than any USB dock by far; the bound keeps the dock's timing arithmetic in range.
constexpr std::uint64_t kMaxLatencyUs = 1'000'000;

struct UpgradeOptions {
    bool simulate = false;
    bool dockReport = false;
    std::filesystem::path package;
    DockConfig dock;
    EmulatedBusOptions bus;
};

constexpr std::array<OptionRule, 7> kOptions = {{
    {"--package", true},
    {"--simulate", false},
    {"--dock-report", false},
    {"--device-mode", true},
    {"--device-version", true},
    {"--latency-us", true},
    {"--fault", true, true},
}};

void PrintHelp(std::ostream& out) {
    out << "usage: tamblor-cli upgrade [--package FILE]\n"
           "       tamblor-cli upgrade --simulate [--package FILE] [--device-mode ap|isp]\n"
           "                           [--device-version XNNN] [--latency-us N]\n"
           "                           [--fault NAME[=N]]... [--dock-report]\n"
           "Runs start-up, the scan, Start upgrade and the whole sequence, printing the log.\n"
           "Exit status 0 only when every check passed: no failure line was logged after\n"
           "Start upgrade, Chip 3 was verified and so was Chip 1 when it was programmed; with\n"
           "--simulate the dock also saw no protocol violation and holds, byte for byte, the\n"
           "package's image in every chip the run programs and nothing in the others.\n"
           "Once the upgrade was tried, the last line on stderr is the verdict: \"upgrade\n"
           "succeeded: every check passed\" or \"upgrade failed: \" and what failed (a good\n"
           "run's log itself ends with the rescan of the upgraded dock: \"Don't need to\n"
           "upgrade!\"); refused arguments (2) and a dock held by another copy (75) are told\n"
           "in one line of their own instead.\n"
           "Exit status 1: the upgrade failed or was not offered; 2: arguments or package\n"
           "refused; 75: another copy of tamblor is upgrading the real dock (nothing was\n"
           "tried); 130 (Ctrl-C), 143 (SIGTERM) or 129 (SIGHUP): stopped before the upgrade\n"
           "ended.\n"
           "A real dock (Linux hidraw): when none is attached the tool says so and waits up to\n"
        << kDockWait.count()
        << " s for one. While the dock is being upgraded, Ctrl-C only warns (stopping then may\n"
           "leave the dock unusable) and a second Ctrl-C within "
        << CInterruptPolicy::kConfirmWindow.count()
        << " s stops; otherwise Ctrl-C stops at\n"
           "once. SIGTERM always stops at once; SIGHUP (the terminal went away) stops only\n"
           "outside an upgrade, and during one the upgrade goes on to its end.\n"
           "Options:\n"
           "  --package FILE         the package at the end of FILE, not the one carried\n"
           "  --simulate             upgrade the emulated dock instead of a real one\n"
           "  --device-mode ap|isp   the emulated dock starts in its application (default) or\n"
           "                         its boot loader\n"
           "  --device-version XNNN  the version the emulated dock reports (default V102)\n"
           "  --latency-us N         the emulated dock answers each report after N\n"
           "                         microseconds, 0 to "
        << kMaxLatencyUs
        << "\n"
           "  --fault NAME[=N]       a fault of the emulated dock (below); may be repeated\n"
           "  --dock-report          what the emulated dock stored and found wrong, as JSON on\n"
           "                         stderr\n"
           "Faults of the emulated dock:\n"
        << DockFaultHelp();
}

// "V102" -> 'V', 1, 0, 2.
bool ParseDeviceVersion(const std::string& text, std::array<std::uint8_t, 4>& version) {
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (text.size() != 4 || !isLetter(text[0])) return false;
    version[0] = static_cast<std::uint8_t>(text[0]);
    for (std::size_t i = 1; i < 4; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        version[i] = static_cast<std::uint8_t>(text[i] - '0');
    }
    return true;
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
        } else if (name == "--device-mode") {
            if (value != "ap" && value != "isp") return "--device-mode takes ap or isp";
            options.dock.ispMode = value == "isp";
        } else if (name == "--device-version") {
            if (!ParseDeviceVersion(value, options.dock.version)) {
                return "--device-version takes a letter and three digits, e.g. V102";
            }
        } else if (name == "--latency-us") {
            const auto micros = ParseDecimal(value, kMaxLatencyUs);
            if (!micros) {
                return "--latency-us takes a whole number of microseconds from 0 to " +
                       std::to_string(kMaxLatencyUs) + ", not '" + value + "'";
            }
            options.bus.latency = std::chrono::microseconds(*micros);
        } else if (name == "--fault") {
            std::string error;
            if (!ParseDockFault(value, options.dock.faults, error)) return error;
        }
    }
    if (!options.simulate) {
        // Dock options only make sense for the emulated dock; refuse rather than ignore them.
        for (const auto& given : parsed.options) {
            if (given.name != "--package") return std::string(given.name) + " needs --simulate";
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
    return options.simulate ? RunSimulated(options, out, err)
                            : RunOnDevice(options.package, loaded.info, out, err);
}

}  // namespace tamblor
