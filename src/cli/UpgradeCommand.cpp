// tamblor-cli upgrade: start-up, the scan, Start upgrade and the whole sequence, with the log
// printed as the window would show it.
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "CliSession.h"
#include "Commands.h"
#include "SimulatedUpgrade.h"
#include "app/TamblorEngine.h"

#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef TAMBLOR_HAVE_PLATFORM_HID
#include "hid/PlatformHidBus.h"
#endif

namespace tamblor {
namespace {

struct UpgradeOptions {
    bool simulate = false;
    bool dockReport = false;
    std::filesystem::path package;
    DockConfig dock;
};

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
           "Exit status 1 otherwise, 2 for a command line it cannot use.\n"
           "Faults of the emulated dock:\n"
        << DockFaultHelp();
}

// "V102" -> 'V', 1, 0, 2.
bool ParseDeviceVersion(const std::string& text, std::array<std::uint8_t, 4>& version) {
    if (text.size() != 4) return false;
    version[0] = static_cast<std::uint8_t>(text[0]);
    for (std::size_t i = 1; i < 4; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        version[i] = static_cast<std::uint8_t>(text[i] - '0');
    }
    return true;
}

std::optional<UpgradeOptions> ParseOptions(const std::vector<std::string>& args,
                                           const std::filesystem::path& self, std::ostream& out,
                                           std::ostream& err, int& status) {
    UpgradeOptions options;
    options.package = self;
    status = 2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                err << "tamblor-cli upgrade: " << arg << " needs a value\n";
                return std::nullopt;
            }
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            PrintHelp(out);
            status = 0;
            return std::nullopt;
        } else if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--dock-report") {
            options.dockReport = true;
        } else if (arg == "--package") {
            auto v = value();
            if (!v) return std::nullopt;
            options.package = *v;
        } else if (arg == "--device-mode") {
            auto v = value();
            if (!v) return std::nullopt;
            if (*v != "ap" && *v != "isp") {
                err << "tamblor-cli upgrade: --device-mode takes ap or isp\n";
                return std::nullopt;
            }
            options.dock.ispMode = *v == "isp";
        } else if (arg == "--device-version") {
            auto v = value();
            if (!v) return std::nullopt;
            if (!ParseDeviceVersion(*v, options.dock.version)) {
                err << "tamblor-cli upgrade: --device-version takes a letter and three digits, "
                       "e.g. V102\n";
                return std::nullopt;
            }
        } else if (arg == "--latency-us") {
            auto v = value();
            if (!v) return std::nullopt;
            try {
                options.dock.latency = std::chrono::microseconds(std::stoul(*v));
            } catch (const std::exception&) {
                err << "tamblor-cli upgrade: --latency-us takes a number of microseconds\n";
                return std::nullopt;
            }
        } else if (arg == "--fault") {
            auto v = value();
            if (!v) return std::nullopt;
            std::string error;
            if (!ParseDockFault(*v, options.dock.faults, error)) {
                err << "tamblor-cli upgrade: " << error << '\n';
                return std::nullopt;
            }
        } else {
            err << "tamblor-cli upgrade: unknown option '" << arg << "'\n";
            return std::nullopt;
        }
    }
    if (!options.simulate &&
        (options.dockReport || options.dock.faults.otherPid || options.dock.ispMode)) {
        // Dock options only make sense for the emulated dock; refuse rather than ignore them.
        err << "tamblor-cli upgrade: dock options need --simulate\n";
        return std::nullopt;
    }
    return options;
}

bool StdoutIsTerminal() {
#ifndef _WIN32
    return ::isatty(STDOUT_FILENO) == 1;
#else
    return false;
#endif
}

int RunSimulated(UpgradeOptions options, std::ostream& out, std::ostream& err) {
    // The dock is told what it should receive, so it can vouch for every byte it stores.
    options.dock.expected = LoadDockExpectation(options.package);
    CEmulatedDock dock(options.dock);
    const auto result = RunSimulatedUpgrade(dock, options.package, out, StdoutIsTerminal());
    for (const auto& violation : result.report.violations)
        err << "violation: " << violation << '\n';
    if (result.offered) {
        for (const auto& finding : result.report.ChipFindings()) err << "dock: " << finding << '\n';
    }
    if (options.dockReport) err << result.report.ToJson() << '\n';
    if (!result.offered) err << "tamblor-cli upgrade: the upgrade was not offered\n";
    return result.succeeded ? 0 : 1;
}

int RunOnDevice(const UpgradeOptions& options, std::ostream& out, std::ostream& err) {
#ifdef TAMBLOR_HAVE_PLATFORM_HID
    auto bus = CreatePlatformHidBus();
    CCliSession session(out, StdoutIsTerminal());
    CTamblorEngine engine(*bus, session);
    session.Attach(engine);
    bus->SetDeviceChangeSink([&session](const DeviceChange& c) { session.PostDeviceChange(c); });
    const int descriptor = bus->DeviceChangeDescriptor();
    const auto pump = [&bus] { bus->PumpDeviceChanges(); };

    // A real dock gives no sign that it has finished: wait for the offer, then for the sequence
    // to come to rest, each bounded by a quiet spell.
    engine.OnInitDialog(options.package);
    session.Run([&] { return session.UpgradeEnabled(); }, std::chrono::seconds(10), descriptor,
                pump);
    if (!session.UpgradeEnabled()) {
        engine.OnDestroy();
        err << "tamblor-cli upgrade: the upgrade was not offered\n";
        return 1;
    }
    engine.OnStartUpgrade();
    session.Run([&] { return !engine.IsUpgradeRunning(); }, std::chrono::seconds(60), descriptor,
                pump);
    // After "ISP Success!" the dock restarts into its application; let that be seen.
    session.Run([] { return false; }, std::chrono::seconds(3), descriptor, pump);
    engine.OnDestroy();
    return EndedInSuccess(session.Lines()) ? 0 : 1;
#else
    (void)options;
    (void)out;
    err << "tamblor-cli upgrade: this build has no HID transport; use --simulate\n";
    return 2;
#endif
}

}  // namespace

int RunUpgradeCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                      std::ostream& out, std::ostream& err) {
    int status = 0;
    const auto options = ParseOptions(args, self, out, err, status);
    if (!options) return status;
    return options->simulate ? RunSimulated(*options, out, err) : RunOnDevice(*options, out, err);
}

}  // namespace tamblor
