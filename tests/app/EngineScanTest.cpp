// The scan: what the operator reads for each kind of device the machine may show.
#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>

#include "EngineFixture.h"

namespace tamblor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct ScanCase {
    const char* name;
    std::vector<HidInterfaceInfo> interfaces;
    std::vector<std::string> lines;
    bool ready;
};

class Scan : public EngineFixture, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(Scan, TellsTheOperatorWhatItFound) {
    bus.interfaces = GetParam().interfaces;
    Start();
    EXPECT_THAT(ui.Lines(), ElementsAreArray(GetParam().lines));
    EXPECT_EQ(engine->IsDeviceReady(), GetParam().ready);
    EXPECT_FALSE(ui.upgradeEnabled);
    const auto written = bus.Written();
    if (GetParam().ready) {
        ASSERT_EQ(written.size(), 1u);
        EXPECT_EQ(CommandOf(written[0]), IspCommand::GetMode);
    } else {
        EXPECT_TRUE(written.empty());
    }
}

const HidInterfaceInfo kUnreadable{"probe-fails", std::nullopt, std::nullopt};
// The dock as far as its attributes go, with collections that could not be read (a
// truncated, unbalanced or empty report descriptor).
const HidInterfaceInfo kDockWithoutCaps{"a", HidAttributes{0x10C4, 0xF505, 0x0100}, std::nullopt};

HidInterfaceInfo DockWithLengths(std::uint16_t input, std::uint16_t output) {
    return {"a", HidAttributes{0x10C4, 0xF505, 0x0100}, HidCaps{0xFF00, 2, input, output}};
}

INSTANTIATE_TEST_SUITE_P(
    Table, Scan,
    ::testing::Values(
        ScanCase{"Usable", {FakeBus::Dock("a")}, {}, true},
        ScanCase{"NoInterfaces", {}, {"No device found!"}, false},
        ScanCase{"LastExaminedIsAnotherVendor",
                 {FakeBus::Dock("a", 0xF503), FakeBus::Dock("m", 0x0001, 0x0100, 1, 2, 0x046D)},
                 {"No device found!"},
                 false},
        ScanCase{"OtherProduct",
                 {FakeBus::Dock("a", 0xF503)},
                 {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
                  "Device PID: 0XF503 : RQN4103K7"},
                 false},
        ScanCase{"OtherVersionNumber",
                 {FakeBus::Dock("a", 0xF505, 0x0200)},
                 {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
                  "Device PID: 0X3305 : Device Name error"},
                 false},
        ScanCase{"UnreadableInterfaceIsSkipped", {kUnreadable, FakeBus::Dock("a")}, {}, true},
        ScanCase{"VendorCollectionSecond",
                 {FakeBus::Dock("a", 0xF505, 0x0100, 0x0001, 0x0006), FakeBus::Dock("a")},
                 {},
                 true},
        ScanCase{"ReportsLongerThanOurBuffers",
                 {FakeBus::Dock("a", 0xF505, 0x0100, 0xFF00, 2, 0x10C4, 65)},
                 {"device Error!"},
                 false},
        // An input report of the ID byte alone can carry no reply: reads of it return at once
        // with nothing.
        ScanCase{"InputReportsCarryNothing", {DockWithLengths(1, 64)}, {"device Error!"}, false},
        ScanCase{"NoInputReport", {DockWithLengths(0, 64)}, {"device Error!"}, false},
        // No output report: nothing may be written to it, least of all 64 bytes.
        ScanCase{"NoOutputReport", {DockWithLengths(64, 0)}, {"device Error!"}, false},
        ScanCase{"OutputReportsCarryNothing", {DockWithLengths(64, 1)}, {"device Error!"}, false},
        ScanCase{"ShortestUsableInputReport", {DockWithLengths(2, 64)}, {}, true},
        // The product ID matched: whatever is wrong, it is not the product.
        ScanCase{"CollectionsUnreadable", {kDockWithoutCaps}, {"device Error!"}, false},
        ScanCase{"CollectionsUnreadableAfterAnotherProduct",
                 {FakeBus::Dock("b", 0xF503), kDockWithoutCaps},
                 {"device Error!"},
                 false},
        ScanCase{"UnreadableCollectionsOfAnotherInterfaceAreSkipped",
                 {kDockWithoutCaps, FakeBus::Dock("a")},
                 {},
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineFixture, AHandleThatDoesNotOpenMakesTheDeviceUnusable) {
    bus.failWrite = true;
    bus.hint = "install the rule";
    Start();
    EXPECT_THAT(ui.Lines(), ElementsAre("device Error!", "install the rule"));
    const auto link = engine->Link();
    EXPECT_EQ(link.g_deviceConnected, 1);
    EXPECT_EQ(link.g_readOpen, 1);
    EXPECT_EQ(link.g_writeOpen, 0);
}

TEST_F(EngineFixture, ADamagedPackageIsReportedBeforeTheScanOutcome) {
    auto spec = ShippedLikeSpec();
    // A seventh record signature inside segment 3.
    spec.segments[3][10] = '5';
    spec.segments[3][11] = 'A';
    spec.segments[3][29] = 'Q';
    spec.segments[3][30] = 'J';
    Start(spec);
    EXPECT_THAT(ui.Lines(), ElementsAre("ISP error 63!", "file Error!"));
    EXPECT_FALSE(engine->IsDeviceReady());
    engine->OnStartUpgrade();
    EXPECT_TRUE(bus.Written().empty());
}

TEST_F(EngineFixture, ARescanReleasesTheOldChannelsFirst) {
    Start();
    engine->OnScan();
    EXPECT_EQ(bus.shared.readsOpened, 2);
    EXPECT_EQ(bus.shared.cancelled, 1);
}

TEST_F(EngineFixture, AFailedWriteIsReportedWithItsCode) {
    Start();
    bus.shared.writeError = 6;
    engine->OnScan();
    EXPECT_THAT(ui.Lines(), ElementsAre("Send Error,Error Code is:0x6"));
}

struct RemovalCase {
    std::uint8_t state;  // reached by the script below
    std::vector<std::string> lines;
    std::uint8_t after;
};

class Removal : public EngineFixture, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(Removal, DependsOnWhereTheSequenceStands) {
    Start();
    Connect(false);
    if (GetParam().state == 9) {
        engine->OnStartUpgrade();  // selector '1': IspEnter, waiting in 9
    } else if (GetParam().state == 12) {
        engine->OnStartUpgrade();
        Restart();
        engine->OnDeviceReport(ModeReply(true));  // back in ISP mode: erase
        engine->OnDeviceReport(StatusReply(0));   // erased: streaming
    }
    ASSERT_EQ(engine->UpgradeState(), GetParam().state);
    ui.Reset();
    // The path differs in case only: still our device.
    std::string path = engine->Link().g_devicePath;
    std::transform(path.begin(), path.end(), path.begin(), ::toupper);
    EXPECT_EQ(engine->OnDeviceChange({DeviceChangeKind::Removal, path}), 1);
    EXPECT_THAT(ui.Lines(), ElementsAreArray(GetParam().lines));
    EXPECT_EQ(engine->UpgradeState(), GetParam().after);
    EXPECT_FALSE(ui.upgradeEnabled);
    // A second notice for the same path changes nothing.
    ui.Reset();
    EXPECT_EQ(engine->OnDeviceChange({DeviceChangeKind::Removal, engine->Link().g_devicePath}), 1);
    EXPECT_TRUE(ui.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Removal,
    ::testing::Values(RemovalCase{0, {"No Device found!"}, 0},
                      RemovalCase{9, {"No Device found!"}, 9},
                      RemovalCase{12, {"No Device found!", "Error!, restart please."}, 0}));

TEST_F(EngineFixture, RemovalOfAnotherInterfaceIsIgnored) {
    Start();
    EXPECT_EQ(engine->OnDeviceChange({DeviceChangeKind::Removal, "mouse"}), 0);
    EXPECT_TRUE(ui.Lines().empty());
    EXPECT_EQ(engine->Link().g_deviceConnected, 1);
}

class ArrivalMidSequence : public EngineFixture, public ::testing::WithParamInterface<bool> {};

// true: a chip is being written; false: IspEnter was sent and the dock has not left yet.
TEST_P(ArrivalMidSequence, OfAnotherInterfaceDoesNotDisturbTheSequence) {
    Start();
    Connect(GetParam());
    engine->OnStartUpgrade();
    if (GetParam()) engine->OnDeviceReport(StatusReply(0));
    const auto state = engine->UpgradeState();
    ASSERT_EQ(state, GetParam() ? 12 : 9);
    const auto sent = bus.Written().size();
    engine->OnDeviceChange({DeviceChangeKind::Arrival, "usb-stick"});
    EXPECT_EQ(bus.Written().size(), sent);
    EXPECT_EQ(engine->UpgradeState(), state);
}

INSTANTIATE_TEST_SUITE_P(States, ArrivalMidSequence, ::testing::Bool());

TEST_F(EngineFixture, AnArrivalDuringTheSequenceAddsNothingWhenTheDockIsPulled) {
    Start();
    Connect(true);
    engine->OnStartUpgrade();
    engine->OnDeviceReport(StatusReply(0));
    engine->OnDeviceChange({DeviceChangeKind::Arrival, "usb-stick"});
    bus.interfaces = {FakeBus::Dock("usb-stick", 0x5678, 0x0100, 1, 2, 0x1234)};
    ui.Reset();
    bus.ClearWritten();
    engine->OnDeviceChange({DeviceChangeKind::Removal, "dock0"});
    EXPECT_THAT(ui.Lines(), ElementsAre("No Device found!", "Error!, restart please."));
    EXPECT_TRUE(bus.Written().empty());
}

struct ReturnCase {
    const char* name;
    // The returning dock's arrival is announced before the old interface's removal.
    bool arrivalFirst;
    // The returning dock cannot be opened at first; its next notice finds it usable.
    bool firstOpenFails;
};

class DockReturn : public EngineFixture, public ::testing::WithParamInterface<ReturnCase> {};

TEST_P(DockReturn, InItsBootLoaderResumesTheSequenceWhateverTheOrderOfTheNotices) {
    Start();
    Connect(false);
    engine->OnStartUpgrade();
    ASSERT_EQ(engine->UpgradeState(), 9);
    ui.Reset();
    bus.ClearWritten();
    // The dock left and is back under another path.
    bus.interfaces = {FakeBus::Dock("dock1")};
    bus.failRead = GetParam().firstOpenFails;
    const DeviceChange removal{DeviceChangeKind::Removal, "dock0"};
    const DeviceChange arrival{DeviceChangeKind::Arrival, "dock1"};
    if (GetParam().arrivalFirst) {
        EXPECT_EQ(engine->OnDeviceChange(arrival), 0);
        EXPECT_TRUE(bus.Written().empty());  // the old interface is still the connected one
        EXPECT_EQ(engine->OnDeviceChange(removal), 1);
    } else {
        EXPECT_EQ(engine->OnDeviceChange(removal), 1);
        EXPECT_EQ(engine->OnDeviceChange(arrival), 0);
    }
    if (GetParam().firstOpenFails) {
        EXPECT_TRUE(HasLine("device Error!"));
        EXPECT_TRUE(bus.Written().empty());
        bus.failRead = false;
        engine->OnDeviceChange(arrival);  // the dock's next interface, or a repeated notice
    }
    EXPECT_EQ(engine->Link().g_devicePath, "dock1");
    ASSERT_FALSE(bus.Written().empty());
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::GetMode);
    engine->OnDeviceReport(ModeReply(true));
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::IspErase);
    EXPECT_EQ(engine->UpgradeState(), 10);
    EXPECT_FALSE(HasLine("Error!, restart please."));
}

INSTANTIATE_TEST_SUITE_P(Table, DockReturn,
                         ::testing::Values(ReturnCase{"RemovalFirst", false, false},
                                           ReturnCase{"ArrivalFirst", true, false},
                                           ReturnCase{"RemovalFirstOpenFails", false, true},
                                           ReturnCase{"ArrivalFirstOpenFails", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineFixture, TheTestCommandWritesNineBlankLines) {
    Start();
    engine->OnTest();
    EXPECT_EQ(ui.Lines(), std::vector<std::string>(9, " "));
}

}  // namespace
}  // namespace tamblor::test
