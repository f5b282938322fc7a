// Reports the device sends unasked. One that arrives while the engine awaits an answer cannot
// be told from that answer; one that arrives while nothing is owed is dropped.
#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "EngineFixture.h"

namespace tamblor::test {
namespace {

constexpr std::uint16_t kChip3Sum = 0xA40F;  // of the shipped-like package's segment 0

enum class Reach { Idle, AwaitingTheRestart, AfterIspExit, AfterChip3Failure, AfterChip1Failure };

struct StrayCase {
    const char* name;
    Reach reach;
    Report stray;  // a well-formed mode reply: before, it would have changed the sequence
    std::uint8_t state;
};

class StrayReport : public EngineFixture, public ::testing::WithParamInterface<StrayCase> {
  protected:
    void Bring(Reach where) {
        switch (where) {
            case Reach::Idle:
                Start();
                Connect(false);
                break;
            case Reach::AwaitingTheRestart:  // IspEnter is answered by the restart
                Start();
                Connect(false);
                engine->OnStartUpgrade();
                break;
            case Reach::AfterIspExit:  // which needs no answer
                Start();
                Connect(true);
                engine->OnStartUpgrade();
                engine->OnDeviceReport(StatusReply(0));
                AcknowledgeChunks();
                engine->OnDeviceReport(ChecksumReply(kChip3Sum));
                ASSERT_EQ(CommandOf(LastWritten()), IspCommand::IspExit);
                break;
            case Reach::AfterChip3Failure:  // nothing sent after the verdict
                Start();
                Connect(true);
                engine->OnStartUpgrade();
                engine->OnDeviceReport(StatusReply(1));
                break;
            case Reach::AfterChip1Failure:  // Chip1End after a failure is not answered
                Start(ShippedLikeSpec('3'));
                Connect(false);
                engine->OnStartUpgrade();
                engine->OnDeviceReport(StatusReply(1));
                ASSERT_EQ(CommandOf(LastWritten()), IspCommand::Chip1End);
                break;
        }
    }
};

TEST_P(StrayReport, WhileNothingIsOwedIsDropped) {
    Bring(GetParam().reach);
    ASSERT_EQ(engine->UpgradeState(), GetParam().state);
    const bool enabled = ui.upgradeEnabled;
    ui.Reset();
    bus.ClearWritten();
    engine->OnDeviceReport(GetParam().stray);
    EXPECT_TRUE(ui.records.empty());
    EXPECT_TRUE(bus.Written().empty());
    EXPECT_EQ(engine->UpgradeState(), GetParam().state);
    EXPECT_EQ(ui.upgradeEnabled, enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StrayReport,
    ::testing::Values(
        StrayCase{"Idle", Reach::Idle, ModeReply(true), 0},
        StrayCase{"AwaitingTheRestart", Reach::AwaitingTheRestart, ModeReply(true), 9},
        StrayCase{"AfterIspExit", Reach::AfterIspExit, ModeReply(false), 17},
        StrayCase{"AfterAChip3Failure", Reach::AfterChip3Failure, ModeReply(false), 17},
        StrayCase{"AfterAChip1Failure", Reach::AfterChip1Failure, ModeReply(false), 17}),
    [](const auto& info) { return std::string(info.param.name); });

// A query about the dock is answered by a reply that says what it answers: a stray in its place
// is dropped, and the answer behind it still does its work.
TEST_F(EngineFixture, AQueryIsAnsweredOnlyByItsOwnReply) {
    struct Case {
        const char* name;
        std::function<void()> bring;  // to where the query's answer is owed
        Report stray;
        Report answer;
        const char* line;  // what the answer logs
    };
    const Case cases[] = {
        {"GetMode at the scan", [] {}, StatusReply(0), ModeReply(false), "AP device found!"},
        {"GetMode at the scan, a version reply", [] {}, VersionReply('V', 1, 0, 2), ModeReply(true),
         "ISP device found!"},
        {"GetVersion", [&] { engine->OnDeviceReport(ModeReply(false)); }, ModeReply(true),
         VersionReply('V', 1, 0, 2), "Press to upgrade new version!"},
        {"GetMode of the dock back in its boot loader",
         [&] {
             Connect(false);
             engine->OnStartUpgrade();  // IspEnter
             Restart();
         },
         ChecksumReply(kChip3Sum), ModeReply(true), "ISP device found!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start();
        c.bring();
        const auto state = engine->UpgradeState();
        ui.Reset();
        bus.ClearWritten();
        engine->OnDeviceReport(c.stray);
        EXPECT_TRUE(ui.records.empty());
        EXPECT_TRUE(bus.Written().empty());
        EXPECT_EQ(engine->UpgradeState(), state);
        engine->OnDeviceReport(c.answer);
        EXPECT_TRUE(HasLine(c.line));
    }
    // Back in the boot loader, the mode reply drives the sequence on to Chip 3.
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::IspErase);
}

// A rescan while connected asks the mode again while the version may still be owed: both
// answers run, and only a third report finds nothing owed.
TEST_F(EngineFixture, ARescanAddsToTheAnswersOwed) {
    Start();
    engine->OnDeviceReport(ModeReply(false));  // GetVersion goes out
    engine->OnScan();                          // and GetMode again
    engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
    engine->OnDeviceReport(ModeReply(false));  // GetVersion again
    engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
    engine->OnDeviceReport(ModeReply(true));
    const auto lines = ui.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "AP device found!"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Press to upgrade new version!"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "ISP device found!"), 0);
}

// A rescan closes the channel an answer may already have reached: that answer is lost though
// the dock kept its contract. The rescan's own query is still answered, and what is owed behind
// it must still count, or the scan would stop short, or Start be refused, without a word.
TEST_F(EngineFixture, AnAnswerLostToARescanDoesNotSilenceTheNext) {
    struct Case {
        const char* name;
        std::function<void()> bring;  // to where the rescan's answer is owed
        std::vector<Report> answers;  // what the dock sends after the rescan
        const char* line;             // the last line the answers log
        IspCommand first;             // what Start then sends
    };
    const Case cases[] = {
        {"the first GetMode's answer lost, AP",
         [&] { engine->OnScan(); },
         {ModeReply(false), VersionReply('V', 1, 0, 2)},
         "Press to upgrade new version!",
         IspCommand::IspEnter},
        {"the first GetMode's answer lost, ISP",
         [&] { engine->OnScan(); },
         {ModeReply(true)},
         "ISP device found!",
         IspCommand::IspErase},
        {"GetVersion's answer lost",
         [&] {
             engine->OnDeviceReport(ModeReply(false));  // GetVersion owed
             engine->OnScan();
         },
         {ModeReply(false), VersionReply('V', 1, 0, 2)},
         "Press to upgrade new version!",
         IspCommand::IspEnter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start();
        c.bring();
        ui.Reset();
        for (const Report& answer : c.answers) engine->OnDeviceReport(answer);
        EXPECT_TRUE(HasLine(c.line));
        EXPECT_TRUE(ui.upgradeEnabled);
        bus.ClearWritten();
        engine->OnStartUpgrade();
        EXPECT_EQ(CommandOf(LastWritten()), c.first);
    }
}

// A query asked again is owed once, so the answer to the repeat may still come after the
// sequence has begun: it is no step of the sequence, which goes on.
TEST_F(EngineFixture, ALateAnswerToARepeatedQueryLeavesTheSequenceAlone) {
    Start(ShippedLikeSpec('2'));
    engine->OnScan();  // GetMode asked again, before the first was answered
    engine->OnDeviceReport(ModeReply(false));
    engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
    ASSERT_TRUE(ui.upgradeEnabled);
    engine->OnStartUpgrade();  // Chip 2 begins
    const auto state = engine->UpgradeState();
    bus.ClearWritten();
    ui.Reset();
    for (const Report& late : {ModeReply(false), VersionReply('V', 1, 0, 2), ModeReply(true)}) {
        engine->OnDeviceReport(late);
    }
    EXPECT_TRUE(ui.records.empty());
    EXPECT_TRUE(bus.Written().empty());
    EXPECT_EQ(engine->UpgradeState(), state);
    engine->OnDeviceReport(Report{});              // the first chunk's answer
    EXPECT_FALSE(IsCommandReport(LastWritten()));  // the next chunk
}

// What the device owed leaves with it: a report on the next link before the scan's mode query
// was answered is the mode reply, and nothing else.
TEST_F(EngineFixture, TheAnswersOwedEndWithTheLink) {
    Start();
    engine->OnDeviceReport(ModeReply(false));  // GetVersion owed
    engine->OnDeviceChange({DeviceChangeKind::Removal, "dock0"});
    engine->OnDeviceChange({DeviceChangeKind::Arrival, "dock0"});  // GetMode owed
    engine->OnDeviceReport(ModeReply(true));
    ui.Reset();
    engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
    EXPECT_TRUE(ui.records.empty());
}

// A press that slips in while a rescan's mode query is unanswered (before the window greys
// the button) is not taken: its IspEnter would go out beside the query, and the mode reply
// would then be read as the sequence's answer. Once the scan has answered, Start works.
TEST_F(EngineFixture, StartIsNotTakenWhileTheRescanAwaitsItsAnswer) {
    Start();
    Connect(false);
    ASSERT_TRUE(ui.upgradeEnabled);
    engine->OnScan();  // GetMode owed
    bus.ClearWritten();
    ui.Reset();
    engine->OnStartUpgrade();
    EXPECT_TRUE(bus.Written().empty());
    EXPECT_TRUE(ui.records.empty());
    EXPECT_EQ(engine->UpgradeState(), 0);

    engine->OnDeviceReport(ModeReply(false));
    engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
    ASSERT_TRUE(ui.upgradeEnabled);
    engine->OnStartUpgrade();
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::IspEnter);
    EXPECT_TRUE(HasLine("Waiting..."));
}

}  // namespace
}  // namespace tamblor::test
