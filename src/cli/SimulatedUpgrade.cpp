#include "SimulatedUpgrade.h"

#include <chrono>

#include "CliSession.h"
#include "app/TamblorEngine.h"

namespace tamblor {

bool EndedInSuccess(const std::vector<std::string>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (*it == "Chip 3 Checksum pass, ISP Success!") return true;
        if (*it == "ISP Chip 3 false!" || *it == "ISP Chip 3 ERASE ERROR!" ||
            *it == "Error!, restart please." || *it == "ISP file read error!" ||
            *it == "Waiting...") {
            return false;
        }
    }
    return false;
}

SimulationResult RunSimulatedUpgrade(CEmulatedDock& dock, const std::filesystem::path& package,
                                     std::ostream& out, bool drawProgressBar) {
    CCliSession session(out, drawProgressBar);
    SimulationResult result;
    {
        CTamblorEngine engine(dock, session);
        session.Attach(engine);
        dock.SetDeviceChangeSink(
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
        engine.OnDestroy();
        dock.SetDeviceChangeSink({});
    }
    result.lines = session.Lines();
    result.report = dock.Report();
    result.succeeded =
        result.offered && EndedInSuccess(result.lines) && result.report.violations.empty();
    return result;
}

}  // namespace tamblor
