// The claim on the dock's place: a copy refused it leaves the dock alone and says so once; the
// copy that holds it keeps it across the dock's restart and lets go when nothing waits.
#include <gmock/gmock.h>

#include "EngineFixture.h"

namespace tamblor::test {
namespace {

const char* const kRefusal =
    "The dock at 3-1.4 is being upgraded by another copy of tamblor: waiting for it to finish.";

class EngineClaim : public EngineFixture {
  protected:
    void SetUp() override {
        EngineFixture::SetUp();
        bus.interfaces.front().place = "3-1.4";
    }
    void Arrive() { engine->OnDeviceChange({DeviceChangeKind::Arrival, "dock0"}); }
};

TEST_F(EngineClaim, ARefusedCopyLeavesTheDockAloneAndSaysSoOnce) {
    bus.claimOutcome = ClaimOutcome::HeldElsewhere;
    Start();
    Arrive();
    Arrive();
    engine->OnStartUpgrade();
    EXPECT_THAT(ui.Lines(), ::testing::ElementsAre(kRefusal));
    EXPECT_TRUE(bus.Written().empty());
    EXPECT_EQ(bus.shared.readsOpened, 0) << "the other copy's answers are not ours to read";
    EXPECT_FALSE(engine->IsDeviceReady());
    EXPECT_FALSE(ui.upgradeEnabled);
    EXPECT_TRUE(engine->Link().claimRefused);
    EXPECT_EQ(engine->Link().g_deviceConnected, 0);

    // The other copy let go: the notice of it is an arrival.
    bus.claimOutcome = ClaimOutcome::Granted;
    Arrive();
    ASSERT_EQ(bus.Written().size(), 1u);
    EXPECT_EQ(CommandOf(bus.Written()[0]), IspCommand::GetMode);
    EXPECT_TRUE(engine->IsDeviceReady());
    EXPECT_EQ(bus.HoldsKept(), 1);
    EXPECT_FALSE(engine->Link().claimRefused);
}

TEST_F(EngineClaim, TheHolderKeepsThePlaceAcrossTheRestart) {
    Start();
    Connect(false);
    engine->OnStartUpgrade();
    ASSERT_EQ(engine->UpgradeState(), 9);
    Restart();
    // Still ours while the dock was away: never asked again, so no other copy had a chance.
    EXPECT_EQ(bus.claimsAsked, std::vector<std::string>{"3-1.4"});
    EXPECT_EQ(bus.HoldsKept(), 1);
    engine->OnDeviceReport(ModeReply(true));
    EXPECT_TRUE(HasLine("ISP device found!"));
}

struct LetGoCase {
    const char* name;
    bool startUpgrade;  // the dock leaves while the sequence waits for its return
    int holdsAfterRemoval;
};

class LetGo : public EngineClaim, public ::testing::WithParamInterface<LetGoCase> {};

TEST_P(LetGo, WhenTheDockLeavesAndNothingWaits) {
    Start();
    Connect(false);
    if (GetParam().startUpgrade) engine->OnStartUpgrade();
    engine->OnDeviceChange({DeviceChangeKind::Removal, "dock0"});
    EXPECT_EQ(bus.HoldsKept(), GetParam().holdsAfterRemoval);
    engine->OnDestroy();
    EXPECT_EQ(bus.HoldsKept(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, LetGo,
                         ::testing::Values(LetGoCase{"Idle", false, 0},
                                           LetGoCase{"AwaitingTheBootLoader", true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A copy that cannot open the dock (no permission, its node held) must not keep away the copy
// that could upgrade it.
TEST_F(EngineClaim, ACopyThatCannotOpenTheDockLetsThePlaceGo) {
    bus.failWrite = true;
    Start();
    EXPECT_TRUE(HasLine("device Error!"));
    EXPECT_EQ(bus.claimsAsked, std::vector<std::string>{"3-1.4"});
    EXPECT_EQ(bus.HoldsKept(), 0);
}

TEST_F(EngineClaim, APlaceThatCannotBeClaimedIsToldOnceAndTheDockStillServed) {
    bus.claimOutcome = ClaimOutcome::Unavailable;
    bus.claimDetail = "/run/lock: No such file or directory";
    Start();
    bus.interfaces.front().place = "3-2";  // another port: asked again
    Arrive();
    EXPECT_THAT(ui.Lines(), ::testing::ElementsAre(
                                "The dock at 3-1.4 cannot be claimed (/run/lock: No such file or "
                                "directory): another copy of tamblor could take it while it "
                                "restarts."));
    EXPECT_EQ(bus.claimsAsked, (std::vector<std::string>{"3-1.4", "3-2"}));
    EXPECT_TRUE(engine->IsDeviceReady());
    EXPECT_EQ(CommandOf(bus.Written().at(0)), IspCommand::GetMode);
}

}  // namespace
}  // namespace tamblor::test
