// tamblor-dock: the emulated dock as a real USB device, for the tool on this machine's kernel.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "ConfigfsGadget.h"
#include "DockOptions.h"
#include "DockSignals.h"
#include "GadgetDescriptor.h"
#include "GadgetDock.h"
#include "GadgetReport.h"
#include "GadgetTree.h"
#include "ReportFile.h"
#include "cli/SelfPath.h"
#include "dock/DockExpectation.h"
#include "hid/linux/UniqueFd.h"
#include "package/PackageLoader.h"

namespace tamblor {
namespace {

constexpr int kCannotRun = 2;

int RemoveLeftover(const std::string& udc) {
    if (::geteuid() != 0) {
        std::cerr << "tamblor-dock: needs root to remove a USB gadget (run it with sudo)\n";
        return kCannotRun;
    }
    CConfigfsCalls calls;
    std::string text;
    ConfigfsPaths paths;
    paths.udc = udc;
    const bool removed = RemoveLeftoverGadget(calls, paths, text);
    (removed ? std::cout : std::cerr) << "tamblor-dock: " << text << '\n';
    return removed ? 0 : kCannotRun;
}

int Run(const std::vector<std::string>& args, const std::filesystem::path& self) {
    int status = 0;
    auto options = ParseDockOptions(args, std::cout, std::cerr, status);
    if (!options) return status;
    if (options->remove) return RemoveLeftover(options->udc);
    if (options->package.empty()) options->package = self;
    if (options->reportJson) {
        if (auto problem = ReportTargetProblem(*options->reportJson); !problem.empty()) {
            std::cerr << "tamblor-dock: --report-json: " << problem << '\n';
            return kCannotRun;
        }
    }

    const LoadResult loaded = LoadPackage(options->package);
    if (loaded.code != 0) {
        std::cerr << "tamblor-dock: no usable firmware package in " << options->package.string()
                  << " (ISP error " << loaded.code << "!)\n";
        return kCannotRun;
    }
    DockConfig& config = options->dock;
    config.vendorId = loaded.info.g_packageVid;
    config.productId = loaded.info.g_packagePid;
    // What an honest host writes: the dock judges every byte it stores against it.
    config.expected = LoadDockExpectation(options->package);

    const CUniqueFd stop = WatchEndingSignals();
    if (!stop.IsValid()) {
        std::cerr << "tamblor-dock: cannot watch for signals: " << std::strerror(errno) << '\n';
        return kCannotRun;
    }

    GadgetRunReport report;
    report.declaredAttributes = {config.vendorId, ReportedProductId(config),
                                 ReportedVersionNumber(config)};
    report.declaredCaps = DeclaredDockCaps();
    const GadgetIdentity identity{
        report.declaredAttributes.vendorId, report.declaredAttributes.productId,
        report.declaredAttributes.versionNumber,
        GadgetReportDescriptor(options->run.keyboardEvery != 0, options->dockFirst)};
    std::string error;
    auto gadget = CConfigfsGadget::Create(identity, options->udc, error);
    if (!gadget) {
        std::cerr << "tamblor-dock: " << error << '\n';
        return kCannotRun;
    }

    CDockLogic logic(config);
    CGadgetDock dock(*gadget, logic, options->run, stop.Get(), std::cout);
    report.end = dock.Run(error);
    gadget.reset();
    if (report.end == GadgetDockEnd::Failed) std::cerr << "tamblor-dock: " << error << '\n';

    report.restarts = dock.Restarts();
    report.earlyReports = dock.EarlyReports();
    report.turnaround = SummariseTurnarounds(dock.Turnarounds());
    report.dock = logic.Report();
    report.Print(std::cout);
    const int signal = report.end == GadgetDockEnd::Stopped ? TakeSignal(stop.Get()) : 0;
    if (options->reportJson && !WriteReportFile(*options->reportJson, report.ToJson(), error)) {
        std::cerr << "tamblor-dock: " << error << '\n';
        return kCannotRun;
    }
    if (signal != 0 && !IsStopSignal(signal)) EndBy(signal);
    if (report.end == GadgetDockEnd::Failed) return kCannotRun;
    return report.Passed() ? 0 : 1;
}

}  // namespace
}  // namespace tamblor

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tamblor::Run(args, tamblor::SelfExecutablePath(argv[0]));
}
