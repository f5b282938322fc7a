// tamblor-cli status: every matching dock, its place, mode and firmware version, asked with the
// scan's own read-only queries, and whether the package would upgrade it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <ostream>

#include "CommandLine.h"
#include "Commands.h"
#include "DeviceUpgrade.h"
#include "FleetRun.h"
#include "InterruptPolicy.h"
#include "PackageText.h"
#include "SharedDockOptions.h"
#include "StopSignals.h"
#include "TextFormat.h"
#include "hid/PlatformHidBus.h"
#include "hid/emulated/DockRack.h"

namespace tamblor {
namespace {

constexpr std::string_view kCommand = "status";

constexpr const char* kHelp =
    "usage: tamblor-cli status [--json] [--wait SECONDS] [--package FILE]\n"
    "       tamblor-cli status --simulate [--docks N] [--device-mode ap|isp]\n"
    "                          [--device-version XNNN] [--json] [--package FILE]\n"
    "Lists every dock that matches the package this tool carries (or FILE): its place\n"
    "(the USB port), its mode (AP: its application, ISP: its boot loader), its firmware\n"
    "version and whether the package would upgrade it. Each dock is asked only what the\n"
    "scan asks (its mode, and in AP its version); nothing is written to it. A dock being\n"
    "upgraded by another copy of tamblor is listed as busy and not asked.\n"
    "Exit status 0: docks were listed; 2: arguments or package refused; 4: no dock came\n"
    "within --wait SECONDS (default 10); 130 (Ctrl-C), 143 (SIGTERM) or 129 (SIGHUP):\n"
    "stopped before every dock had answered, and nothing is listed.\n"
    "Options:\n"
    "  --json                 one JSON object: {\"docks\":[{\"place\",\"path\",\"mode\",\n"
    "                         \"version\",\"wouldUpgrade\",\"busy\"}...]}\n"
    "  --wait SECONDS         how long to wait for a dock when none is attached\n"
    "  --package FILE         the package at the end of FILE, not the one carried\n"
    "  --simulate             ask emulated docks instead of real ones\n"
    "  --docks N              with --simulate: N emulated docks (default 1)\n"
    "  --device-mode ap|isp   with --simulate: the docks' mode (default ap)\n"
    "  --device-version XNNN  with --simulate: the docks' version (default V102)\n";

constexpr std::array<OptionRule, 7> kOptions = {{
    {"--json", false},
    {"--wait", true},
    {"--package", true},
    {"--simulate", false},
    {"--docks", true},
    {"--device-mode", true},
    {"--device-version", true},
}};

struct StatusOptions {
    bool json = false;
    bool simulate = false;
    std::size_t docks = 1;
    std::chrono::seconds wait = kDockWait;
    std::filesystem::path package;
    DockConfig dock;
};

std::string ReadOptions(const ParsedCommandLine& parsed, StatusOptions& options) {
    for (const auto& [name, value] : parsed.options) {
        if (name == "--json") {
            options.json = true;
        } else if (name == "--simulate") {
            options.simulate = true;
        } else if (name == "--package") {
            options.package = value;
        } else if (auto problem = ReadSharedDockOption(
                       name, value, {options.wait, options.docks, options.dock})) {
            if (!problem->empty()) return *problem;
        }
    }
    if (!options.simulate) {
        for (const auto& given : parsed.options) {
            if (given.name != "--package" && given.name != "--json" && given.name != "--wait")
                return std::string(given.name) + " needs --simulate";
        }
    }
    return {};
}

void PrintText(const std::vector<DockResult>& docks, std::ostream& out) {
    out << "PLACE        MODE  VERSION  UPGRADE\n";
    for (const auto& dock : docks) {
        const bool busy = dock.verdict == DockVerdict::Busy;
        const std::string mode = ModeName(dock.sighting);
        const std::string version = VersionName(dock.sighting);
        const char* upgrade = busy                ? "busy (another copy of tamblor is upgrading it)"
                              : dock.wouldUpgrade ? "yes"
                              : dock.sighting.ispMode ? "no"
                                                      : "unknown (the dock did not answer)";
        char line[96];
        std::snprintf(line, sizeof line, "%-4s  %-7s  ", mode.empty() ? "-" : mode.c_str(),
                      version.empty() ? "-" : version.c_str());
        out << PrintableText(dock.place)
            << std::string(dock.place.size() < 11 ? 11 - dock.place.size() : 0, ' ') << "  " << line
            << upgrade << "\n";
    }
}

void PrintJson(const std::vector<DockResult>& docks, std::ostream& out) {
    out << "{\"docks\":[";
    bool first = true;
    for (const auto& dock : docks) {
        const auto mode = ModeName(dock.sighting);
        const auto version = VersionName(dock.sighting);
        out << (first ? "" : ",") << "{\"place\":" << JsonString(dock.place)
            << ",\"path\":" << JsonString(dock.path)
            << ",\"mode\":" << (mode.empty() ? "null" : JsonString(mode))
            << ",\"version\":" << (version.empty() ? "null" : JsonString(version))
            << ",\"wouldUpgrade\":" << (dock.wouldUpgrade ? "true" : "false")
            << ",\"busy\":" << (dock.verdict == DockVerdict::Busy ? "true" : "false") << "}";
        first = false;
    }
    out << "]}\n";
}

}  // namespace

int RunStatusCommand(const std::vector<std::string>& args, const std::filesystem::path& self,
                     std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = ParseCommandLine(args, kOptions);
    if (const auto done = AnswerHelpOrRefusal(parsed, kCommand, kHelp, out, err)) return *done;
    StatusOptions options;
    options.package = self;
    if (const auto problem = ReadOptions(parsed, options); !problem.empty()) {
        err << UsageError(kCommand, problem) << "\n";
        return kExitRefused;
    }
    if (!options.simulate && !PlatformHidBusReachesDocks()) {
        err << "tamblor-cli status: this build has no HID transport; use --simulate\n";
        return kExitRefused;
    }
    const LoadResult loaded = LoadPackage(options.package);
    if (loaded.code != 0) {
        err << "tamblor-cli status: " << DescribeLoadFailure(options.package, loaded) << "\n";
        return kExitRefused;
    }
    FleetPlan plan;
    plan.packagePath = options.package;
    plan.package = loaded.info;
    plan.all = true;
    plan.queryOnly = true;
    plan.wait = options.wait;
    plan.offerWait = kDockWait;
    std::unique_ptr<IHidBus> bus;
    std::unique_ptr<CDockRack> rack;
    if (options.simulate) {
        rack = std::make_unique<CDockRack>(std::vector<DockConfig>(options.docks, options.dock));
        plan.quiet = [&rack](const std::string& place) {
            const CEmulatedDock* dock = rack->DockAt(place);
            return dock == nullptr || dock->Pending() == 0;
        };
    } else {
        CStopSignalsBlocked shield;
        bus = CreatePlatformHidBus();
    }
    IHidBus& used = rack ? static_cast<IHidBus&>(*rack) : *bus;
    FleetPresentation presentation;
    presentation.command = "status";
    presentation.quiet = true;
    std::vector<DockResult> results;
    const int status =
        RunFleet(used, std::move(plan), presentation, out, err, !options.simulate, &results);
    if (status == 4) {
        err << "tamblor-cli status: no dock came within " << options.wait.count() << " s\n";
        return status;
    }
    if (IsStopStatus(status)) {
        // The run shows nothing of its own: without this line a stopped status ends silent.
        err << "tamblor-cli status: stopped before every dock had answered; nothing is listed\n";
        return status;
    }
    // In the bus's order of places, not in the order the docks answered.
    std::stable_sort(results.begin(), results.end(),
                     [](const DockResult& a, const DockResult& b) { return a.place < b.place; });
    if (options.json) {
        PrintJson(results, out);
    } else {
        PrintText(results, out);
    }
    return 0;
}

}  // namespace tamblor
