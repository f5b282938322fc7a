// The reader thread while the device stays connected: reads that fail or come back empty.
#include <gmock/gmock.h>

#include <chrono>

#include "EngineFixture.h"

namespace tamblor::test {
namespace {

using ::testing::ElementsAreArray;
using Clock = std::chrono::steady_clock;

const std::string kLost = "Read Error! The device cannot be read; reconnect it, please.";

class Reader : public EngineFixture {
  protected:
    void SetUp() override {
        EngineFixture::SetUp();
        readRetry = {std::chrono::milliseconds(20), 3};
    }
};

TEST_F(Reader, ReadsAgainAfterAFailedRead) {
    bus.QueueRead({ReadResult::Kind::Failure});
    bus.QueueRead(ReadResult::Of(ModeReply(true)));
    Start();
    ASSERT_TRUE(WaitUntil([&] { return HasLine("ISP device found!"); }));
    EXPECT_EQ(engine->Link().g_deviceConnected, 1);
    EXPECT_FALSE(HasLine(kLost));
}

TEST_F(Reader, ReadsAgainAfterAnEmptyRead) {
    bus.QueueRead({ReadResult::Kind::Empty});
    bus.QueueRead(ReadResult::Of(ModeReply(true)));
    Start();
    ASSERT_TRUE(WaitUntil([&] { return HasLine("ISP device found!"); }));
    EXPECT_FALSE(HasLine(kLost));
}

struct DeadChannelCase {
    const char* name;
    ReadResult::Kind every;
    std::uint8_t state;  // where the sequence stands when the channel dies
    std::vector<std::string> lines;
    std::uint8_t after;
};

class DeadChannel : public Reader, public ::testing::WithParamInterface<DeadChannelCase> {};

// A channel that fails, or delivers nothing, at once and for ever: the reader must neither
// spin on it nor wait for ever without a word.
TEST_P(DeadChannel, IsReadAtAPaceAndThenGivenUp) {
    const auto& c = GetParam();
    Start();
    Connect(c.state != 9);
    if (c.state != 0) engine->OnStartUpgrade();  // ISP: erase (10); AP: IspEnter (9)
    if (c.state == 12) engine->OnDeviceReport(StatusReply(0));
    ASSERT_EQ(engine->UpgradeState(), c.state);
    ASSERT_TRUE(WaitUntil([&] { return bus.Reads() == 1; }));  // the reader waits on its read
    ui.Reset();

    const auto dying = Clock::now();
    bus.AnswerEveryRead(ReadResult{c.every});
    ASSERT_TRUE(WaitUntil([&] { return HasLine(kLost); })) << "the reader never gave up";
    const auto gaveUp = Clock::now();
    // The reader's thread posts the lost line and the verdict one after the other: the second
    // may still be on its way when the first is seen.
    WaitUntil([&] { return ui.Lines().size() >= c.lines.size(); });
    EXPECT_THAT(ui.Lines(), ElementsAreArray(c.lines));
    EXPECT_EQ(engine->UpgradeState(), c.after);
    EXPECT_EQ(engine->Link().g_deviceConnected, 0);
    EXPECT_FALSE(ui.upgradeEnabled);
    // Three reads, with a pause before each one after the first failure.
    EXPECT_EQ(bus.Reads(), 3);
    EXPECT_GE(gaveUp - dying, 2 * readRetry.pause);

    // The removal notice that may still come changes nothing, and the reader idles.
    ui.Reset();
    EXPECT_EQ(engine->OnDeviceChange({DeviceChangeKind::Removal, "dock0"}), 1);
    EXPECT_TRUE(ui.Lines().empty());
    engine->OnDestroy();
    EXPECT_EQ(bus.Reads(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeadChannel,
    ::testing::Values(
        DeadChannelCase{"FailingWhileIdle", ReadResult::Kind::Failure, 0, {kLost}, 0},
        DeadChannelCase{"EmptyWhileIdle", ReadResult::Kind::Empty, 0, {kLost}, 0},
        DeadChannelCase{"FailingWhileWritingChip3",
                        ReadResult::Kind::Failure,
                        12,
                        {kLost, "Error!, restart please."},
                        0},
        DeadChannelCase{"EmptyWhileWritingChip3",
                        ReadResult::Kind::Empty,
                        12,
                        {kLost, "Error!, restart please."},
                        0},
        // The dock is expected to leave and come back: the state waits for it.
        DeadChannelCase{
            "FailingWhileAwaitingTheRestart", ReadResult::Kind::Failure, 9, {kLost}, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Reader, AfterGivingUpTheDocksReturnIsFound) {
    Start();
    Connect(false);
    engine->OnStartUpgrade();
    bus.AnswerEveryRead(ReadResult{ReadResult::Kind::Failure});
    ASSERT_TRUE(WaitUntil([&] { return HasLine(kLost); }));
    bus.AnswerEveryRead(std::nullopt);
    bus.QueueRead(ReadResult::Of(ModeReply(true)));
    bus.interfaces = {FakeBus::Dock("dock1")};
    bus.ClearWritten();
    engine->OnDeviceChange({DeviceChangeKind::Arrival, "dock1"});
    ASSERT_TRUE(WaitUntil([&] { return engine->UpgradeState() == 10; }));
    EXPECT_EQ(CommandOf(bus.Written().front()), IspCommand::GetMode);
    EXPECT_EQ(CommandOf(bus.Written().at(1)), IspCommand::IspErase);
}

}  // namespace
}  // namespace tamblor::test
