#include "SimulatedUpgrade.h"

#include <chrono>

#include "CliSession.h"
#include "app/TamblorEngine.h"

namespace tamblor {

SimulationResult RunSimulatedUpgrade(CEmulatedDock& dock, const std::filesystem::path& package,
                                     std::ostream& out, bool drawProgressBar) {
    return RunSimulatedUpgrade(dock, dock, package, out, drawProgressBar);
}

SimulationResult RunSimulatedUpgrade(IHidBus& hostBus, CEmulatedDock& dock,
                                     const std::filesystem::path& package, std::ostream& out,
                                     bool drawProgressBar) {
    CCliSession session(out, drawProgressBar);
    SimulationResult result;
    {
        CTamblorEngine engine(hostBus, session);
        session.Attach(engine);
        hostBus.SetDeviceChangeSink(
            [&session](const DeviceChange& c) { session.PostDeviceChange(c); });

        // Nothing can happen that the dock does not know about: once it has nothing pending,
        // the run has settled. The stall limit only guards against a dock that never settles.
        const auto settled = [&dock] { return dock.Pending() == 0; };
        constexpr auto kStall = std::chrono::seconds(60);

        engine.OnInitDialog(package);
        session.Run(settled, kStall);
        result.offered = session.UpgradeEnabled();
        if (result.offered) {
            engine.OnStartUpgrade();
            session.Run(settled, kStall);
        }
        result.outcome = engine.Outcome();
        engine.OnDestroy();
        hostBus.SetDeviceChangeSink({});
    }
    result.lines = session.Lines();
    result.report = dock.Report();
    result.succeeded = result.offered && result.outcome.Succeeded() && result.report.Passed();
    return result;
}

}  // namespace tamblor
