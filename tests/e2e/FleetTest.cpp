// Several emulated docks in one run: which docks are taken, what each is told, the exit status,
// the JSON events, and a dock's restart beside a neighbour.
#include <gmock/gmock.h>
#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "JsonReader.h"
#include "SimulatedPackages.h"
#include "app/PlaceView.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "cli/FleetRun.h"
#include "hid/emulated/DockRack.h"
#include "isp/IspReport.h"
#include "package/PackageLoader.h"

namespace tamblor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct CliRun {
    int status = 0;
    std::string out, err;
};

CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"upgrade", "--simulate"});
    std::ostringstream out, err;
    CliRun run;
    run.status = RunTamblorCli(args, kShipped.path, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// A plan for the package the tests carry; which docks and how is each test's own.
FleetPlan ShippedPlan() {
    const LoadResult loaded = LoadPackage(kShipped.path);
    EXPECT_EQ(loaded.code, 0);
    FleetPlan plan;
    plan.packagePath = kShipped.path;
    plan.package = loaded.info;
    return plan;
}

struct FleetCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> errHas;  // lines (or parts) stderr must show
    std::vector<std::string> errHasNot;
};

class FleetStatus : public testing::TestWithParam<FleetCase> {};

TEST_P(FleetStatus, TellsEachDockAndTheWholeRun) {
    const auto& c = GetParam();
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    for (const auto& text : c.errHas) EXPECT_THAT(run.err, HasSubstr(text)) << run.out;
    for (const auto& text : c.errHasNot) EXPECT_THAT(run.err, Not(HasSubstr(text)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FleetStatus,
    testing::Values(
        FleetCase{"AllPass",
                  {"--docks", "3", "--all"},
                  0,
                  {"emu-1: upgrade succeeded", "emu-2: upgrade succeeded",
                   "emu-3: upgrade succeeded", "3 docks: 3 passed, 0 failed, 0 already current"},
                  {"violation"}},
        // Dock 2 is pulled in the middle of its stream: the others finish and pass, and the lost
        // dock is told by its place.
        FleetCase{"OneLostOthersFinish",
                  {"--docks", "3", "--all", "--fault", "2:remove-after-chunks=100"},
                  1,
                  {"emu-1: upgrade succeeded", "emu-3: upgrade succeeded",
                   "emu-2: upgrade failed: the log says \"Error!, restart please.\"", "1 failed"},
                  {"emu-1: dock:", "emu-3: dock:", "violation"}},
        FleetCase{"UnnumberedFaultHitsEveryDock",
                  {"--docks", "2", "--all", "--fault", "chip3-checksum-wrong"},
                  1,
                  {"emu-1: upgrade failed", "emu-2: upgrade failed"},
                  {"succeeded"}},
        FleetCase{"SeveralWithoutAChoiceAreRefused",
                  {"--docks", "2"},
                  2,
                  {"tamblor-cli upgrade: 2 docks match (emu-1, emu-2): choose one with --device "
                   "PLACE, or take them all with --all\n"},
                  {"succeeded", "failed"}},
        FleetCase{"EveryDockCurrent",
                  {"--docks", "2", "--all", "--device-version", "V200"},
                  3,
                  {"emu-1: already has this version", "2 already current"},
                  {"succeeded"}},
        FleetCase{"CurrentAndUpgradedMakeZero",
                  {"--docks", "1", "--device", "emu-1"},
                  0,
                  {"emu-1: upgrade succeeded"},
                  {"waiting"}},
        // Only the chosen dock is upgraded: dock 1's fault never shows.
        FleetCase{"DeviceChoosesOneDock",
                  {"--docks", "2", "--device", "emu-2", "--fault", "1:chip3-checksum-wrong"},
                  0,
                  {"emu-2: upgrade succeeded"},
                  {"emu-1"}},
        FleetCase{"MissingPlaceIsAFailure",
                  {"--docks", "2", "--device", "emu-2", "--device", "emu-7", "--wait", "0"},
                  1,
                  {"emu-2: upgrade succeeded", "emu-7: upgrade failed: no dock came at emu-7"},
                  {}},
        FleetCase{"NoDockAtAnyChosenPlace",
                  {"--device", "emu-7", "--wait", "0"},
                  4,
                  {"no dock came within 0 s"},
                  {"waiting"}},
        // A wait for a dock says what it waits for before it starts, never in silence.
        FleetCase{"AWaitForAChosenPlaceIsTold",
                  {"--docks", "2", "--device", "emu-1", "--device", "emu-7", "--device", "emu-9",
                   "--wait", "1"},
                  1,
                  {"tamblor-cli upgrade: waiting up to 1 s for the docks at emu-7, emu-9 "
                   "(Ctrl-C stops)\n",
                   "emu-1: upgrade succeeded", "emu-7: upgrade failed: no dock came at emu-7"},
                  {"emu-1 ("}},
        FleetCase{"WatchNeedsAll", {"--watch"}, 2, {"--watch needs --all"}, {}},
        FleetCase{"AllOrDevice", {"--all", "--device", "emu-1"}, 2, {"exclude each other"}, {}},
        FleetCase{"FaultOfADockNotThere",
                  {"--docks", "2", "--fault", "3:chip3-checksum-wrong"},
                  2,
                  {"names dock 3 of 2"},
                  {}},
        FleetCase{
            "BadNumberedFault", {"--fault", "0:chip3-checksum-wrong"}, 2, {"dock number"}, {}},
        // Dock 1 leaves for its boot loader and never comes back: it is failed as soon as
        // nothing is left to happen at its place, and dock 2 is not held back.
        FleetCase{"OneNeverReturns",
                  {"--docks", "2", "--all", "--fault", "1:no-return-after-isp-enter"},
                  1,
                  {"emu-1: upgrade failed: Chip 3 was not verified", "emu-2: upgrade succeeded"},
                  {"stopped answering"}},
        FleetCase{"DocksNeedsSimulate", {"--docks", "0"}, 2, {"--docks takes"}, {}},
        // A place is a port's name, never a path or an option.
        FleetCase{"DeviceNotAPlace",
                  {"--docks", "2", "--device", "../emu-1"},
                  2,
                  {"--device takes a place as 'list' shows it (such as 3-1.4), not '../emu-1'"},
                  {"emu-1: "}},
        FleetCase{"DeviceTwice",
                  {"--docks", "2", "--device", "emu-1", "--device", "emu-1"},
                  2,
                  {"--device emu-1 is given twice"},
                  {"emu-1: "}}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<JsonValue> Events(const std::string& out) {
    std::vector<JsonValue> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        auto event = ParseJson(line);
        EXPECT_TRUE(event && event->AsObject()) << "not a JSON object: " << line;
        if (event) events.push_back(*event);
    }
    return events;
}

TEST(FleetJson, EveryLineIsAnEventAndTheOutcomesCarryTheEnginesOwn) {
    const CliRun run =
        Cli({"--docks", "2", "--all", "--json", "--fault", "2:chip3-checksum-wrong"});
    EXPECT_EQ(run.status, 1) << run.err;
    const auto events = Events(run.out);
    ASSERT_FALSE(events.empty());
    // Per place, the order of what happened to it.
    std::map<std::string, std::vector<std::string>> seen;
    std::map<std::string, const JsonValue*> outcome;
    for (const auto& e : events) {
        const std::string name = e.Text("event");
        ASSERT_THAT((std::vector<std::string>{"found", "stage", "progress", "log", "restart",
                                              "outcome", "summary"}),
                    testing::Contains(name));
        if (name == "summary") continue;
        const std::string place = e.Text("place");
        ASSERT_FALSE(place.empty()) << name;
        seen[place].push_back(name);
        if (name == "outcome") outcome[place] = &e;
        if (name == "progress") {
            const double* percent = e.Member("percent")->Number();
            ASSERT_NE(percent, nullptr);
            EXPECT_GE(*percent, 0);
            EXPECT_LE(*percent, 100);
        }
    }
    for (const auto& place : {"emu-1", "emu-2"}) {
        const auto& order = seen[place];
        ASSERT_FALSE(order.empty()) << place;
        EXPECT_EQ(order.front(), "found") << place;
        EXPECT_EQ(order.back(), "outcome") << place;
        EXPECT_NE(std::find(order.begin(), order.end(), "restart"), order.end()) << place;
        EXPECT_NE(std::find(order.begin(), order.end(), "log"), order.end()) << place;
    }
    ASSERT_TRUE(outcome["emu-1"] && outcome["emu-2"]);
    EXPECT_EQ(outcome["emu-1"]->Text("result"), "passed");
    EXPECT_TRUE(outcome["emu-1"]->Member("failure")->IsNull());
    EXPECT_EQ(outcome["emu-1"]->Member("outcome")->Text("end"), "succeeded");
    EXPECT_EQ(outcome["emu-2"]->Text("result"), "failed");
    EXPECT_EQ(outcome["emu-2"]->Member("outcome")->Text("end"), "checkFailed");
    EXPECT_EQ(outcome["emu-2"]->Member("outcome")->Text("failureLine"), "ISP Chip 3 false!");

    const JsonValue& summary = events.back();
    ASSERT_EQ(summary.Text("event"), "summary");
    EXPECT_EQ(*summary.Member("docks")->Number(), 2);
    EXPECT_EQ(*summary.Member("passed")->Number(), 1);
    EXPECT_EQ(*summary.Member("failed")->Number(), 1);
    EXPECT_EQ(*summary.Member("exitStatus")->Number(), run.status);
}

TEST(FleetJson, DockReportsAreOnePerDockWithItsPlace) {
    const CliRun run = Cli({"--docks", "2", "--all", "--dock-report"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> places;
    std::istringstream lines(run.err);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.starts_with("{")) continue;
        const auto report = ParseJson(line);
        ASSERT_TRUE(report) << line;
        places.push_back(report->Text("place"));
        EXPECT_NE(report->Member("report")->AsObject(), nullptr);
    }
    EXPECT_EQ(places, (std::vector<std::string>{"emu-1", "emu-2"}));
}

// Plugs a second dock in the moment the first leaves for its restart: the neighbour arrives,
// in its boot loader, while the first dock's engine waits for its own dock to come back.
class NeighbourOnRestart final : public IHidBus {
  public:
    explicit NeighbourOnRestart(CDockRack& rack) : m_rack(rack) {}
    std::vector<HidInterfaceInfo> EnumerateInterfaces() override {
        return m_rack.EnumerateInterfaces();
    }
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string& path) override {
        return m_rack.OpenRead(path);
    }
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string& path) override {
        return m_rack.OpenWrite(path);
    }
    void SetDeviceChangeSink(DeviceChangeSink sink) override {
        if (!sink) {
            m_rack.SetDeviceChangeSink({});
            return;
        }
        m_rack.SetDeviceChangeSink([this, sink](const DeviceChange& change) {
            if (change.kind == DeviceChangeKind::Removal && change.path.starts_with("emu-1:"))
                m_rack.Dock(1).Plug();
            sink(change);
        });
    }

  private:
    CDockRack& m_rack;
};

TEST(FleetRestart, ANeighbourArrivingDuringTheRestartIsNeverTakenForTheDock) {
    CDockRack::Slot first{Judging(DockConfig{}, kShipped), {}};
    first.bus.restartDelay = std::chrono::milliseconds(100);
    CDockRack::Slot neighbour{Judging(DockConfig{}, kShipped), {}};
    neighbour.dock.ispMode = true;
    neighbour.bus.plugged = false;
    CDockRack rack(std::vector<CDockRack::Slot>{first, neighbour});
    NeighbourOnRestart bus(rack);

    FleetPlan plan = ShippedPlan();
    plan.places = {"emu-1"};
    plan.quiet = [&rack](const std::string& place) { return rack.DockAt(place)->Pending() == 0; };
    std::ostringstream out, err;
    std::vector<DockResult> results;
    FleetPresentation presentation;
    const int status = RunFleet(bus, plan, presentation, out, err, false, &results);

    ASSERT_TRUE(rack.Dock(1).IsPresent()) << "the neighbour never arrived";
    EXPECT_EQ(status, 0) << out.str() << err.str();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].place, "emu-1");
    EXPECT_EQ(results[0].verdict, DockVerdict::Passed) << results[0].failure;
    EXPECT_TRUE(rack.Dock(0).Report().Passed());
    // Not one report reached the neighbour.
    EXPECT_TRUE(rack.Dock(1).ReceivedReports().empty()) << out.str();
}

// The view over a rack of two docks: the engine of one place sees that place only.
struct ViewCase {
    const char* name;
    std::string place;
    DeviceChange change;
    bool handedOn;
};

class PlaceViewChanges : public testing::TestWithParam<ViewCase> {};

TEST_P(PlaceViewChanges, HandsOnOnlyWhatConcernsItsPlace) {
    const auto& c = GetParam();
    CDockRack rack({DockConfig{}, DockConfig{}});
    CPlaceView view(rack, c.place);
    std::vector<DeviceChange> heard;
    view.SetDeviceChangeSink([&](const DeviceChange& change) { heard.push_back(change); });
    view.Notify(c.change);
    EXPECT_EQ(heard.size(), c.handedOn ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlaceViewChanges,
    testing::Values(
        ViewCase{
            "ArrivalAtItsPlace", "emu-1", {DeviceChangeKind::Arrival, "emu-1:dock/ap/1"}, true},
        ViewCase{"ArrivalAtAnotherPlace",
                 "emu-1",
                 {DeviceChangeKind::Arrival, "emu-2:dock/ap/1"},
                 false},
        // Windows announces in upper case what it lists in lower case.
        ViewCase{"ArrivalAtAnotherPlaceInOtherCase",
                 "emu-1",
                 {DeviceChangeKind::Arrival, "EMU-2:DOCK/AP/1"},
                 false},
        // A claim let go elsewhere, or an interface already gone again: the engine looks.
        ViewCase{
            "ArrivalOfAnUnknownPath", "emu-1", {DeviceChangeKind::Arrival, "/run/claim"}, true},
        // The engine itself ignores a removal of a path not its own.
        ViewCase{"RemovalAnywhere", "emu-1", {DeviceChangeKind::Removal, "emu-2:dock/ap/1"}, true},
        // The bus tells whose arrival it is: no enumeration needed, nor a node still there.
        ViewCase{"ArrivalToldAtAnotherPlace",
                 "emu-1",
                 {DeviceChangeKind::Arrival, "emu-2:dock/isp/9", "emu-2"},
                 false},
        ViewCase{"ArrivalToldAtItsPlace",
                 "emu-1",
                 {DeviceChangeKind::Arrival, "emu-1:dock/isp/9", "emu-1"},
                 true},
        ViewCase{
            "NoPlaceSeesEverything", "", {DeviceChangeKind::Arrival, "emu-2:dock/ap/1"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaceView, EnumeratesOnlyItsPlace) {
    CDockRack rack({DockConfig{}, DockConfig{}, DockConfig{}});
    for (const std::string place : {"emu-1", "emu-2", "emu-3"}) {
        CPlaceView view(rack, place);
        const auto interfaces = view.EnumerateInterfaces();
        ASSERT_EQ(interfaces.size(), 1u) << place;
        EXPECT_EQ(interfaces[0].place, place);
        EXPECT_TRUE(view.OpenWrite(interfaces[0].path)) << place;
    }
    EXPECT_EQ(CPlaceView(rack, "").EnumerateInterfaces().size(), 3u);
    EXPECT_TRUE(CPlaceView(rack, "emu-9").EnumerateInterfaces().empty());
}

TEST(StatusCommand, ListsPlaceModeVersionAndWhetherThePackageWouldUpgrade) {
    std::ostringstream out, err;
    const int status = RunTamblorCli(
        {"status", "--simulate", "--docks", "2", "--device-version", "V200", "--json"},
        kShipped.path, out, err);
    EXPECT_EQ(status, 0) << err.str();
    const auto doc = ParseJson(out.str());
    ASSERT_TRUE(doc) << out.str();
    std::ostringstream text;
    EXPECT_EQ(
        RunTamblorCli({"status", "--simulate", "--device-mode", "isp"}, kShipped.path, text, err),
        0);
    EXPECT_EQ(text.str(),
              "PLACE        MODE  VERSION  UPGRADE\n"
              "emu-1        ISP   -        yes\n");
    EXPECT_THAT(out.str(), HasSubstr("\"place\":\"emu-1\",\"path\":\"emu-1:dock/ap/1\",\"mode\":"
                                     "\"AP\",\"version\":\"V200\",\"wouldUpgrade\":false"));
}

#ifndef _WIN32
// Stop signals exist on POSIX only: elsewhere a station runs until its process is ended.

// For an operator's hand on a thread of its own: waits until `done`, 30 s at most.
void WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// The station: docks plugged in one after another are each taken; a Ctrl-C while a dock is
// being written only warns; one when none is ends the run, whose verdicts stand.
TEST(FleetWatch, TakesEachDockAsItComesAndStopsOnlyWhenNoneIsWritten) {
    DockConfig current = Judging(DockConfig{}, kShipped);
    current.version = {'V', 2, 0, 0};
    EmulatedBusOptions slow;
    slow.latency = std::chrono::milliseconds(2);
    EmulatedBusOptions later = slow;
    later.plugged = false;
    CDockRack rack(
        std::vector<CDockRack::Slot>{{Judging(DockConfig{}, kShipped), slow}, {current, later}});
    FleetPlan plan = ShippedPlan();
    plan.all = true;
    plan.watch = true;
    plan.quiet = [&rack](const std::string& place) { return rack.DockAt(place)->Pending() == 0; };
    std::ostringstream out, err;
    std::vector<DockResult> results;
    std::thread operatorHand([&] {
        // Dock 1 in the middle of its stream.
        WaitUntil([&] { return rack.Dock(0).ReceivedReports().size() > 100; });
        ::kill(::getpid(), SIGINT);
        WaitUntil([&] { return rack.Dock(0).Report().Passed() && rack.Dock(0).Pending() == 0; });
        rack.Dock(1).Plug();
        WaitUntil([&] { return rack.Dock(1).ReceivedReports().size() >= 2; });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(::getpid(), SIGINT);
    });
    FleetPresentation presentation;
    const int status = RunFleet(rack, plan, presentation, out, err, true, &results);
    operatorHand.join();

    EXPECT_EQ(status, 0) << out.str() << err.str();
    EXPECT_THAT(err.str(), HasSubstr("docks are being upgraded; stopping now may leave them "
                                     "unusable. Press Ctrl-C again"));
    ASSERT_EQ(results.size(), 2u) << err.str();
    EXPECT_EQ(results[0].place, "emu-1");
    EXPECT_EQ(results[0].verdict, DockVerdict::Passed) << results[0].failure;
    EXPECT_EQ(results[1].place, "emu-2");
    EXPECT_EQ(results[1].verdict, DockVerdict::Current);
    EXPECT_TRUE(rack.Dock(0).Report().Passed());
    EXPECT_THAT(err.str(), HasSubstr("2 docks: 1 passed, 0 failed, 1 already current"));
}

// SIGTERM in the middle of a dock's stream: its events end in "stopped" and its failed outcome,
// never in "done", which a script takes for a sequence that came to its end.
TEST(FleetJson, ADockCutOffByAStopIsToldStoppedNotDone) {
    EmulatedBusOptions slow;
    slow.latency = std::chrono::milliseconds(2);
    CDockRack rack(std::vector<CDockRack::Slot>{{Judging(DockConfig{}, kShipped), slow}});
    FleetPlan plan = ShippedPlan();
    plan.all = true;
    std::ostringstream out, err;
    std::thread operatorHand([&] {
        WaitUntil([&] { return rack.Dock(0).ReceivedReports().size() > 100; });
        ::kill(::getpid(), SIGTERM);
    });
    FleetPresentation presentation;
    presentation.json = true;
    const int status = RunFleet(rack, plan, presentation, out, err, true);
    operatorHand.join();

    EXPECT_EQ(status, 143) << err.str();
    std::vector<std::string> stages;
    const JsonValue* outcome = nullptr;
    const auto events = Events(out.str());
    for (const auto& e : events) {
        if (e.Text("event") == "stage") stages.push_back(e.Text("stage"));
        if (e.Text("event") == "outcome") outcome = &e;
    }
    ASSERT_FALSE(stages.empty()) << out.str();
    EXPECT_EQ(stages.back(), "stopped") << out.str();
    EXPECT_THAT(stages, testing::Not(testing::Contains("done")));
    ASSERT_NE(outcome, nullptr) << out.str();
    EXPECT_EQ(outcome->Text("result"), "failed");
    EXPECT_EQ(outcome->Text("failure"), "stopped while the dock was being upgraded");
}

// Two places chosen, one dock there: it passes, and a Ctrl-C while the run still waits for the
// other must not end in 0, which says that every chosen dock passed.
TEST(FleetStop, AChosenDockNeverUpgradedKeepsTheRunFromSucceeding) {
    CDockRack rack(std::vector<DockConfig>{Judging(DockConfig{}, kShipped)});
    FleetPlan plan = ShippedPlan();
    plan.places = {"emu-1", "emu-2"};
    plan.wait = std::chrono::seconds(60);
    plan.quiet = [&rack](const std::string& place) {
        const CEmulatedDock* dock = rack.DockAt(place);
        return dock == nullptr || dock->Pending() == 0;
    };
    // Asked on the loop's thread as emu-1 is given its verdict: the stop comes after it.
    std::atomic<bool> judged{false};
    plan.judge = [&judged](const std::string&) {
        judged = true;
        return std::string();
    };
    std::ostringstream out, err;
    std::vector<DockResult> results;
    std::thread operatorHand([&] {
        WaitUntil([&] { return judged.load(); });
        ::kill(::getpid(), SIGINT);
    });
    FleetPresentation presentation;
    const int status = RunFleet(rack, plan, presentation, out, err, true, &results);
    operatorHand.join();

    EXPECT_EQ(status, 130) << out.str() << err.str();
    ASSERT_EQ(results.size(), 1u) << err.str();
    EXPECT_EQ(results[0].verdict, DockVerdict::Passed) << results[0].failure;
    EXPECT_TRUE(rack.Dock(0).Report().Passed());
    EXPECT_THAT(err.str(), HasSubstr("stopped by Ctrl-C before the upgrade of emu-2 started; "
                                     "that dock was not changed"));
}

// The station ended while a dock it had just found was still being asked: that dock's events end
// in "stopped", it is named as not changed, and the station's own end stays 0.
TEST(FleetStop, AStationEndedDuringADocksScanSaysSo) {
    EmulatedBusOptions slow;
    slow.latency = std::chrono::milliseconds(500);
    CDockRack rack(std::vector<CDockRack::Slot>{{Judging(DockConfig{}, kShipped), slow}});
    FleetPlan plan = ShippedPlan();
    plan.all = true;
    plan.watch = true;
    std::ostringstream out, err;
    std::thread operatorHand([&] {
        WaitUntil([&] { return !rack.Dock(0).ReceivedReports().empty(); });
        ::kill(::getpid(), SIGINT);
    });
    FleetPresentation presentation;
    presentation.json = true;
    const int status = RunFleet(rack, plan, presentation, out, err, true);
    operatorHand.join();

    EXPECT_EQ(status, 0) << err.str();
    std::vector<std::string> stages;
    for (const auto& e : Events(out.str())) {
        if (e.Text("event") == "stage" && e.Text("place") == "emu-1")
            stages.push_back(e.Text("stage"));
    }
    EXPECT_EQ(stages, (std::vector<std::string>{"scan", "stopped"})) << out.str();
    EXPECT_THAT(err.str(), HasSubstr("stopped by Ctrl-C before the upgrade of emu-1 started; "
                                     "that dock was not changed"));
    EXPECT_TRUE(rack.Dock(0).Report().violations.empty());
}
#endif

// status asks each dock what the scan asks, and nothing more: in AP its mode and version, in
// its boot loader its mode.
TEST(StatusCommand, WritesNothingButTheScansQueries) {
    DockConfig inBootLoader;
    inBootLoader.ispMode = true;
    CDockRack rack({DockConfig{}, inBootLoader});
    FleetPlan plan = ShippedPlan();
    plan.all = true;
    plan.queryOnly = true;
    plan.quiet = [&rack](const std::string& place) { return rack.DockAt(place)->Pending() == 0; };
    std::ostringstream out, err;
    std::vector<DockResult> results;
    FleetPresentation presentation;
    presentation.quiet = true;
    EXPECT_EQ(RunFleet(rack, plan, presentation, out, err, false, &results), 0) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(rack.Dock(0).ReceivedReports(),
              (std::vector<Report>{MakeCommandReport(IspCommand::GetMode),
                                   MakeCommandReport(IspCommand::GetVersion)}));
    EXPECT_EQ(rack.Dock(1).ReceivedReports(),
              (std::vector<Report>{MakeCommandReport(IspCommand::GetMode)}));
    ASSERT_EQ(results.size(), 2u);
    for (const auto& result : results) {
        EXPECT_EQ(result.verdict, DockVerdict::Queried);
        EXPECT_TRUE(result.wouldUpgrade) << result.place;
    }
}

}  // namespace
}  // namespace tamblor::test
