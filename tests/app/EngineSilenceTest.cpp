// The bound on the device's silence: a dock that stops answering without leaving, or never
// comes back from its restart, ends the sequence with a word for the operator.
#include <gmock/gmock.h>

#include <chrono>
#include <thread>

#include "EngineFixture.h"

namespace tamblor::test {
namespace {

using ::testing::ElementsAreArray;
using namespace std::chrono_literals;

const std::string kNoAnswer = "No answer from the device for 1 ms; reconnect it, please.";
const std::string kNoReturn =
    "The device did not come back from its restart within 1 ms; reconnect it, please.";
const std::string kRestart = "Error!, restart please.";
const std::string kUnfinished = "The upgrade did not finish.";

enum class Stage { QueryUnanswered, WritingChip3, AfterIspEnter, RestartedAway };

struct SilenceCase {
    const char* name;
    Stage stage;
    std::vector<std::string> lines;
};

class Silence : public EngineFixture, public ::testing::WithParamInterface<SilenceCase> {
  protected:
    // Brings the engine to `stage` under the default bound, which no test outlasts.
    void Reach(Stage stage) {
        Start();
        switch (stage) {
            case Stage::QueryUnanswered:
                break;  // the scan's mode query stays unanswered
            case Stage::WritingChip3:
                Connect(true);
                engine->OnStartUpgrade();                // erase
                engine->OnDeviceReport(StatusReply(0));  // first chunk out
                ASSERT_EQ(engine->UpgradeState(), 12);
                break;
            case Stage::AfterIspEnter:
                Connect(false);
                engine->OnStartUpgrade();
                ASSERT_EQ(engine->UpgradeState(), 9);
                break;
            case Stage::RestartedAway:
                Connect(false);
                engine->OnStartUpgrade();
                engine->OnDeviceChange({DeviceChangeKind::Removal, "dock0"});
                ASSERT_TRUE(HasLine("No Device found!"));
                ASSERT_EQ(engine->UpgradeState(), 9);
                break;
        }
        ui.Reset();
    }
};

TEST_P(Silence, EndsTheSequenceWithAWord) {
    const auto& c = GetParam();
    Reach(c.stage);
    engine->SetSilenceBound(1ms);
    ASSERT_TRUE(WaitUntil([&] { return HasLine(c.lines.back()); })) << "no end to the wait";
    EXPECT_THAT(ui.Lines(), ElementsAreArray(c.lines));
    EXPECT_EQ(engine->UpgradeState(), 0);
    EXPECT_EQ(engine->Link().g_deviceConnected, 0);
    EXPECT_FALSE(ui.upgradeEnabled);
    EXPECT_EQ(bus.HoldsKept(), 0) << "nothing waits for the dock: another copy may take it";

    // Said once: nothing is watched any more.
    std::this_thread::sleep_for(20ms);
    EXPECT_THAT(ui.Lines(), ElementsAreArray(c.lines));
    // The dock's return is found as ever.
    bus.ClearWritten();
    engine->OnDeviceChange({DeviceChangeKind::Arrival, "dock0"});
    ASSERT_FALSE(bus.Written().empty());
    EXPECT_EQ(CommandOf(bus.Written().front()), IspCommand::GetMode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Silence,
    ::testing::Values(SilenceCase{"QueryUnanswered", Stage::QueryUnanswered, {kNoAnswer}},
                      SilenceCase{"WritingChip3", Stage::WritingChip3, {kNoAnswer, kRestart}},
                      // The dock was told to restart and neither leaves nor answers.
                      SilenceCase{"AfterIspEnter", Stage::AfterIspEnter, {kNoAnswer, kUnfinished}},
                      SilenceCase{
                          "NeverBackFromRestart", Stage::RestartedAway, {kNoReturn, kUnfinished}}),
    [](const auto& info) { return std::string(info.param.name); });

// A dock that owes nothing may be quiet for as long as it likes.
TEST_F(Silence, AnIdleDockIsNeverTakenForLost) {
    Start();
    Connect(false);
    engine->SetSilenceBound(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(ui.Lines().empty());
    EXPECT_EQ(engine->Link().g_deviceConnected, 1);
    EXPECT_TRUE(ui.upgradeEnabled);
}

}  // namespace
}  // namespace tamblor::test
