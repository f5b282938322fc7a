// Whole upgrades through the emulated dock, as the operator would run them.
#include <gmock/gmock.h>

#include <algorithm>
#include <sstream>

#include "SimulatedPackages.h"
#include "cli/SimulatedUpgrade.h"
#include "isp/IspReport.h"

namespace tamblor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

SimulationResult Simulate(CEmulatedDock& dock, const SimulatedPackage& package = kShipped) {
    std::ostringstream out;
    return RunSimulatedUpgrade(dock, package.path, out, false);
}

// The dock judges the run against the package's images unless told otherwise.
SimulationResult Simulate(const DockConfig& config, const SimulatedPackage& package = kShipped) {
    CEmulatedDock dock(config.expected ? config : Judging(config, package));
    return Simulate(dock, package);
}

DockConfig WithFault(const char* fault) {
    DockConfig config;
    std::string error;
    EXPECT_TRUE(ParseDockFault(fault, config.faults, error)) << error;
    return config;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(EndToEnd, ShippedPackageUpgradesChip3OfAnApDock) {
    const auto result = Simulate(DockConfig{});
    EXPECT_TRUE(result.succeeded);
    EXPECT_THAT(
        result.lines,
        ElementsAre("AP device found!", "File Version: V103", "Device Version: V102",
                    "Press to upgrade new version!", "Waiting...", "No Device found!",
                    "ISP device found!", "File 1/1 :  25856 BYTES", "", "File 1/1 End",
                    "ISP Chip 3 Finish!", "Chip 3 Checksum pass, ISP Success!", "No Device found!",
                    "AP device found!", "File Version: V103", "Device Version: V103",
                    "ISP file version must higher then device version!", "Don't need to upgrade!"));
    EXPECT_EQ(result.report.chip3Chunks, 439u);
    EXPECT_EQ(result.report.chip3Sum, 0xA40F);
    EXPECT_EQ(result.report.chip1Chunks, 0u);
    EXPECT_EQ(result.report.chip2Chunks[0], 0u);
    EXPECT_TRUE(result.report.Passed()) << result.report.ToJson();
    EXPECT_TRUE(result.report.chip3.programmed);
    EXPECT_FALSE(result.report.chip1.due);
    EXPECT_FALSE(result.report.chip2[0].programmed);
}

TEST(EndToEnd, Selector2WritesBothChip2FilesThenChip3) {
    const auto result = Simulate(DockConfig{}, kSelector2);
    EXPECT_TRUE(result.succeeded) << result.report.ToJson();
    EXPECT_TRUE(result.report.chip2[0].due && result.report.chip2[0].Equal());
    EXPECT_TRUE(result.report.chip2[1].due && result.report.chip2[1].Equal());
    EXPECT_EQ(result.report.chip2Chunks[0], 88u);
    EXPECT_EQ(result.report.chip2Chunks[1], 4444u);
    EXPECT_EQ(result.report.chip3Chunks, 439u);
    EXPECT_TRUE(Contains(result.lines, "Chip 2 File 1/2 :   5186 BYTES"));
    EXPECT_TRUE(Contains(result.lines, "File 2/2 End, ISP Chip 2 FINISH"));
}

TEST(EndToEnd, Selector3WritesChip1ThenChip3) {
    const auto result = Simulate(WithFault("chip1-erase-busy=3"), kSelector3);
    EXPECT_TRUE(result.succeeded) << result.report.ToJson();
    EXPECT_TRUE(result.report.chip1.due && result.report.chip1.Equal());
    EXPECT_EQ(result.report.chip1Chunks, 3779u);
    EXPECT_EQ(result.report.chip1Sum, 0x7BBE);
    EXPECT_EQ(result.report.chip3Chunks, 439u);
    EXPECT_TRUE(Contains(result.lines, "Chip 1 Checksum pass, ISP Success!"));
    EXPECT_EQ(std::count(result.lines.begin(), result.lines.end(), "Chip 1 Erasing..."), 1);
}

TEST(EndToEnd, AnIspDockStartsWithTheEraseWithoutRestarting) {
    DockConfig config;
    config.ispMode = true;
    CEmulatedDock dock(Judging(config, kSelector2));
    const auto result = Simulate(dock, kSelector2);
    // The selector asks for Chip 2, but a dock already in its boot loader only gets Chip 3.
    EXPECT_TRUE(result.succeeded) << result.report.ToJson();
    EXPECT_FALSE(result.report.chip2[0].due);
    const auto received = dock.ReceivedReports();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0][4], static_cast<std::uint8_t>(IspCommand::GetMode));
    EXPECT_EQ(received[1][4], static_cast<std::uint8_t>(IspCommand::IspErase));
    EXPECT_EQ(std::count_if(received.begin(), received.end(),
                            [](const Report& r) {
                                return IsCommandReport(r) &&
                                       r[4] == static_cast<std::uint8_t>(IspCommand::IspEnter);
                            }),
              0);
    EXPECT_EQ(result.report.chip2Chunks[0], 0u);
}

struct FailureRow {
    const char* fault;
    SimulatedPackage package;
    std::vector<std::string> expectedLines;
    bool succeeded;
};

class SequenceFailures : public ::testing::TestWithParam<FailureRow> {};

TEST_P(SequenceFailures, ReachTheOperatorAndTheExitStatus) {
    const auto result = Simulate(WithFault(GetParam().fault), GetParam().package);
    for (const auto& line : GetParam().expectedLines)
        EXPECT_TRUE(Contains(result.lines, line)) << "missing: " << line;
    EXPECT_EQ(result.succeeded, GetParam().succeeded);
    EXPECT_THAT(result.report.violations, ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SequenceFailures,
    ::testing::Values(
        FailureRow{"chip1-prepare-fail", kSelector3, {"ISP Chip 1 FLASH ERROR!"}, false},
        FailureRow{"chip1-erase-fail", kSelector3, {"ISP Chip 1 ERASE ERROR!"}, false},
        // A Chip 1 mismatch is reported, and Chip 3 follows all the same; the run has failed
        // even though every byte the dock holds is right, since a verdict said otherwise.
        FailureRow{"chip1-checksum-wrong",
                   kSelector3,
                   {"Chip 1 checksum cul:  7bbf ,   7bbe", "ISP false!",
                    "Chip 3 Checksum pass, ISP Success!"},
                   false},
        FailureRow{"isp-erase-fail", kShipped, {"ISP Chip 3 ERASE ERROR!"}, false},
        FailureRow{"chip3-checksum-wrong", kShipped, {"ISP Chip 3 false!"}, false},
        FailureRow{"remove-after-chunks=100",
                   kShipped,
                   {"No Device found!", "Error!, restart please."},
                   false},
        FailureRow{"no-return-after-isp-enter", kShipped, {"No Device found!"}, false},
        FailureRow{"other-pid",
                   kShipped,
                   {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
                    "Device PID: 0XF503 : RQN4103K7"},
                   false},
        FailureRow{"other-version-number",
                   kShipped,
                   {"No device found!", "PID error!", "Device PID: 0X3305 : Device Name error"},
                   false}));

TEST(EndToEnd, AnUnsolicitedReportIsNeverTakenForSuccess) {
    // The extra report advances the stream by one chunk too many, so from then on every reply
    // is one step early and the acknowledgement of the last chunk lands where the checksum
    // reply was expected: the verdict must be a failure, not a guess.
    const auto result = Simulate(WithFault("unsolicited-after-chunks=50"));
    EXPECT_FALSE(result.succeeded);
    EXPECT_TRUE(Contains(result.lines, "ISP Chip 3 false!"));
    EXPECT_EQ(result.report.chip3Chunks, 439u);
}

struct VersionRow {
    std::array<std::uint8_t, 4> device;
    bool offered;
};

class VersionPolicy : public ::testing::TestWithParam<VersionRow> {};

TEST_P(VersionPolicy, DecidesWhetherTheUpgradeIsOffered) {
    DockConfig config;
    config.version = GetParam().device;
    const auto result = Simulate(config);
    EXPECT_EQ(result.offered, GetParam().offered);
    if (!GetParam().offered) {
        EXPECT_EQ(result.lines.back(), "Don't need to upgrade!");
        EXPECT_EQ(result.report.chip3Chunks, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, VersionPolicy,
                         ::testing::Values(VersionRow{{'V', 1, 0, 3}, false},
                                           VersionRow{{'V', 1, 1, 0}, false},
                                           VersionRow{{'V', 0, 9, 9}, true},
                                           VersionRow{{'E', 9, 9, 9}, true}));

TEST(EndToEnd, TimingDoesNotChangeTheOutcome) {
    EmulatedBusOptions timed;
    timed.latency = std::chrono::milliseconds(1);
    timed.restartDelay = std::chrono::milliseconds(20);
    CEmulatedDock dock(Judging(DockConfig{}, kShipped), timed);
    const auto result = Simulate(dock);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.report.chip3Chunks, 439u);
}

}  // namespace
}  // namespace tamblor::test
