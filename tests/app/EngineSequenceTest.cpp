// The upgrade sequence as the dock sees it: which report follows which reply.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>

#include "EngineFixture.h"
#include "package/PackageLoader.h"

namespace tamblor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct StartCase {
    char selector;
    bool isp;
    std::uint8_t firstState;
    bool firstIsChunk;
    IspCommand firstCommand;
};

class StartUpgrade : public EngineFixture, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartUpgrade, TheSelectorChoosesTheFirstReport) {
    Start(ShippedLikeSpec(GetParam().selector));
    Connect(GetParam().isp);
    engine->OnStartUpgrade();
    const auto written = bus.Written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(IsCommandReport(written[0]), !GetParam().firstIsChunk);
    if (GetParam().firstIsChunk) {
        EXPECT_EQ(written[0][1], 59);
        EXPECT_EQ(written[0][2], 1);
        EXPECT_EQ(written[0][3], 0);
    } else {
        EXPECT_EQ(CommandOf(written[0]), GetParam().firstCommand);
    }
    EXPECT_EQ(ui.Lines().front(), "<clear>");
    EXPECT_EQ(ui.Lines()[1], "Waiting...");
    EXPECT_FALSE(ui.upgradeEnabled);
}

INSTANTIATE_TEST_SUITE_P(Table, StartUpgrade,
                         ::testing::Values(StartCase{'1', false, 9, false, IspCommand::IspEnter},
                                           StartCase{'2', false, 3, true, IspCommand::GetMode},
                                           StartCase{'3', false, 19, false,
                                                     IspCommand::Chip1Prepare},
                                           StartCase{'2', true, 10, false, IspCommand::IspErase},
                                           StartCase{'3', true, 10, false, IspCommand::IspErase}));

struct SecondStartCase {
    const char* name;
    char selector;
    bool isp;
    std::uint8_t state;  // where the first Start leaves the sequence
};

class SecondStart : public EngineFixture, public ::testing::WithParamInterface<SecondStartCase> {};

// A second press handled before the button went grey: the sequence goes on undisturbed.
TEST_P(SecondStart, IsIgnoredWhileTheSequenceRuns) {
    Start(ShippedLikeSpec(GetParam().selector));
    Connect(GetParam().isp);
    engine->OnStartUpgrade();
    ASSERT_EQ(engine->UpgradeState(), GetParam().state);
    const auto sent = bus.Written();
    ui.Reset();
    engine->OnStartUpgrade();
    EXPECT_EQ(bus.Written(), sent);
    EXPECT_TRUE(ui.records.empty());
    EXPECT_EQ(engine->UpgradeState(), GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(Table, SecondStart,
                         ::testing::Values(SecondStartCase{"WritingChip2", '2', false, 3},
                                           SecondStartCase{"AwaitingTheRestart", '1', false, 9},
                                           SecondStartCase{"ErasingChip3", '1', true, 10},
                                           SecondStartCase{"PreparingChip1", '3', false, 19}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineFixture, StartAfterTheDockLeftIsIgnored) {
    Start();
    Connect(false);
    engine->OnDeviceChange({DeviceChangeKind::Removal, "dock0"});
    ui.Reset();
    engine->OnStartUpgrade();
    EXPECT_TRUE(ui.records.empty());
    EXPECT_EQ(engine->UpgradeState(), 0);
}

TEST_F(EngineFixture, StartIsTakenAgainOnceASequenceHasEnded) {
    Start();
    Connect(true);
    engine->OnStartUpgrade();
    engine->OnDeviceReport(StatusReply(1));  // "ISP Chip 3 ERASE ERROR!"
    ASSERT_EQ(engine->UpgradeState(), 17);
    bus.ClearWritten();
    engine->OnStartUpgrade();
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::IspErase);
    EXPECT_EQ(engine->UpgradeState(), 10);
}

TEST_F(EngineFixture, StartWithoutAScannedDeviceDoesNothing) {
    bus.interfaces.clear();
    Start();
    ui.Reset();
    engine->OnStartUpgrade();
    EXPECT_TRUE(ui.records.empty());
    EXPECT_EQ(engine->UpgradeState(), 0);
}

std::string Hex(const Report& r, std::size_t from, std::size_t to) {
    std::string text;
    char byte[4];
    for (std::size_t i = from; i <= to; ++i) {
        std::snprintf(byte, sizeof byte, "%02X", r[i]);
        text += byte;
    }
    return text;
}

// The whole Chip 3 exchange with the command bytes of the package's own payloads.
TEST_F(EngineFixture, Chip3CommandsCarryThePackagesFigures) {
    Start();
    Connect(false);
    engine->OnStartUpgrade();
    const auto enter = LastWritten();
    EXPECT_EQ(Hex(enter, 0, 4), "0203FEFF03");
    EXPECT_EQ(Hex(enter, 5, 62), std::string(116, '0'));
    EXPECT_EQ(enter[63], 0x5A);

    Restart();
    engine->OnDeviceReport(ModeReply(true));
    const auto erase = LastWritten();
    EXPECT_EQ(Hex(erase, 0, 5), "0204FEFF0433");
    EXPECT_EQ(erase[63], 0x00);

    engine->OnDeviceReport(StatusReply(0));
    EXPECT_EQ(AcknowledgeChunks(), 439);  // the last acknowledgement ends the stream
    const auto checksum = LastWritten();
    EXPECT_EQ(Hex(checksum, 0, 6), "0204FEFF056500");
    EXPECT_EQ(checksum[63], 0x00);
    EXPECT_EQ(ui.fills.back(), kFillGreen);

    engine->OnDeviceReport(ChecksumReply(0xA40F));
    const auto exit = LastWritten();
    EXPECT_EQ(Hex(exit, 0, 12),
              "0203FEFF02A40F6500560100"
              "03");
    EXPECT_EQ(exit[63], 0x5A);
    EXPECT_EQ(engine->UpgradeState(), 17);
    EXPECT_EQ(ui.Lines().back(), "Chip 3 Checksum pass, ISP Success!");
}

TEST_F(EngineFixture, Chip1CommandsAndErasePolling) {
    Start(ShippedLikeSpec('3'));
    Connect(false);
    engine->OnStartUpgrade();
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::Chip1Prepare);
    engine->OnDeviceReport(StatusReply(0));
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::Chip1Erase);
    engine->OnDeviceReport(StatusReply(0));
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::Chip1EraseStatus);
    for (int busy = 0; busy < 3; ++busy) {
        engine->OnDeviceReport(StatusReply(1));
        EXPECT_EQ(CommandOf(LastWritten()), IspCommand::Chip1EraseStatus);
    }
    engine->OnDeviceReport(StatusReply(0));
    EXPECT_EQ(LastWritten()[1], 59);  // the first chunk of the Chip 1 image
    const auto lines = ui.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Chip 1 Erasing..."), 1);
    EXPECT_EQ(AcknowledgeChunks(), 3779);
    const auto checksum = LastWritten();
    EXPECT_EQ(Hex(checksum, 0, 8), "0204FEFF0D0002F3DC");
    EXPECT_EQ(checksum[63], 0x5A);
    engine->OnDeviceReport(ChecksumReply(0x7BBE));
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::Chip1End);
    EXPECT_EQ(ui.Lines().back(), "Chip 1 Checksum pass, ISP Success!");
    engine->OnDeviceReport(Report{});  // the answer to Chip1End starts Chip 3
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::IspEnter);
    EXPECT_EQ(engine->UpgradeState(), 9);
}

struct FailureCase {
    const char* name;
    char selector;
    // Replies after Start upgrade; every chunk the engine sends in between is acknowledged.
    std::vector<Report> replies;
    std::vector<std::string> tailLines;
    std::optional<IspCommand> lastCommand;
    std::uint8_t nextState;
};

class SequenceFailure : public EngineFixture, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SequenceFailure, EndsWithItsLineAndCommand) {
    Start(ShippedLikeSpec(GetParam().selector));
    Connect(false);
    engine->OnStartUpgrade();
    if (engine->UpgradeState() == 9) Restart();
    for (const auto& reply : GetParam().replies) {
        engine->OnDeviceReport(reply);
        AcknowledgeChunks();
    }
    auto lines = ui.Lines();
    const auto& tail = GetParam().tailLines;
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<long>(tail.size()), lines.end()),
              tail);
    if (GetParam().lastCommand) {
        EXPECT_EQ(CommandOf(LastWritten()), *GetParam().lastCommand);
    }
    EXPECT_EQ(engine->UpgradeState(), GetParam().nextState);
    // A sequence that has ended ignores whatever else arrives.
    const auto sent = bus.Written().size();
    engine->OnDeviceReport(StatusReply(0));
    if (GetParam().nextState == 17) {
        EXPECT_EQ(bus.Written().size(), sent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SequenceFailure,
    ::testing::Values(FailureCase{"Chip1PrepareFails",
                                  '3',
                                  {StatusReply(1)},
                                  {"WORK_PREPARE..", "ISP Chip 1 FLASH ERROR!"},
                                  IspCommand::Chip1End,
                                  17},
                      FailureCase{"Chip1EraseFails",
                                  '3',
                                  {StatusReply(0), StatusReply(2)},
                                  {"ISP Chip 1 ERASE ERROR!"},
                                  IspCommand::Chip1End,
                                  17},
                      FailureCase{
                          "Chip1ChecksumDiffers",
                          '3',
                          {StatusReply(0), StatusReply(0), StatusReply(0), ChecksumReply(0x1234)},
                          {"Verify..", "Chip 1 checksum cul:  1234 ,   7bbe", "ISP false!"},
                          IspCommand::Chip1End,
                          8},
                      FailureCase{"Chip3EraseFails",
                                  '1',
                                  {ModeReply(true), StatusReply(1)},
                                  {"ISP device found!", "ISP Chip 3 ERASE ERROR!"},
                                  IspCommand::IspErase,
                                  17},
                      FailureCase{"Chip3ChecksumDiffers",
                                  '1',
                                  {ModeReply(true), StatusReply(0), ChecksumReply(0xA40E)},
                                  {"File 1/1 End", "ISP Chip 3 Finish!", "ISP Chip 3 false!"},
                                  IspCommand::IspChecksum,
                                  17}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineFixture, AnIspModeReplyMidChipRestartsTheErase) {
    Start();
    Connect(true);
    engine->OnStartUpgrade();
    engine->OnDeviceReport(StatusReply(0));
    ASSERT_EQ(engine->UpgradeState(), 12);
    engine->OnScan();  // the mode query a mode reply answers
    engine->OnDeviceReport(ModeReply(true));
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::IspErase);
    EXPECT_EQ(engine->UpgradeState(), 10);
}

TEST_F(EngineFixture, AnApModeReplyMidChipStopsTheSequence) {
    Start(ShippedLikeSpec('3'));
    Connect(false);
    engine->OnStartUpgrade();
    for (int i = 0; i < 4; ++i) engine->OnDeviceReport(StatusReply(0));
    ASSERT_EQ(engine->UpgradeState(), 22);
    engine->OnScan();  // the mode query a mode reply answers
    ui.Reset();
    engine->OnDeviceReport(ModeReply(false));
    EXPECT_EQ(engine->UpgradeState(), 0);
    EXPECT_THAT(ui.Lines(), ElementsAre("AP device found!"));
    EXPECT_EQ(CommandOf(LastWritten()), IspCommand::GetVersion);
}

TEST_F(EngineFixture, AMalformedReplyStillStepsTheSequence) {
    Start();
    Connect(true);
    engine->OnStartUpgrade();
    Report stale{};
    stale[1] = 8;
    stale[2] = 0xFE;
    stale[3] = 0xFF;
    stale[4] = 7;  // not well-formed: neither a mode nor a version reply
    engine->OnDeviceReport(stale);
    EXPECT_EQ(engine->UpgradeState(), 12);  // byte 5 is 0: taken as a successful erase
}

TEST_F(EngineFixture, AnEmptySegmentEndsItsStreamAtOnce) {
    auto spec = ShippedLikeSpec('2');
    spec.segments[1].clear();
    Start(spec);
    Connect(false);
    engine->OnStartUpgrade();
    // File 1/2 has nothing to send; file 2/2 begins in the same step.
    const auto& records = ui.records;
    auto end = std::find_if(records.begin(), records.end(),
                            [](const LogRecord& r) { return r.text == "File 1/2 End"; });
    ASSERT_NE(end, records.end());
    EXPECT_EQ((end - 1)->text, "     0");
    EXPECT_EQ((end - 1)->value, 100);
    EXPECT_EQ(LastWritten()[1], 59);
    EXPECT_EQ(LastWritten()[2], 1);
}

TEST_F(EngineFixture, AShortReadOfThePackageStopsTheStream) {
    Start();
    Connect(true);
    engine->OnStartUpgrade();
    // The package file is cut short under the running tool.
    std::filesystem::resize_file(packagePath, 4096 + 34 + 100);
    engine->OnDeviceReport(StatusReply(0));
    engine->OnDeviceReport(Report{});
    const auto chunks = bus.Written().size();
    EXPECT_EQ(ui.Lines().back(), "ISP file read error!");
    EXPECT_EQ(engine->UpgradeState(), 17);
    engine->OnDeviceReport(Report{});
    EXPECT_EQ(bus.Written().size(), chunks);
    for (const auto& line : ui.Lines()) EXPECT_EQ(line.find("Success"), std::string::npos);
}

// The package overwritten in place after the tool loaded it (a copy over it, a download still
// writing): Chip 3 keeps its sum when two bytes swap, and nothing verifies Chip 2, so the
// changed bytes must never leave the tool.
TEST_F(EngineFixture, APackageChangedAfterLoadingIsNeverSent) {
    struct Case {
        const char* name;
        char selector;
        bool isp;
        std::size_t segment;
        bool swapTwo;  // swap two neighbouring bytes (the sum stays) rather than change one
    };
    const Case cases[] = {
        {"Chip 3, two bytes swapped", '1', true, kSegChip3, true},
        {"Chip 2 file 2/2, one byte changed", '2', false, kSegChip2File2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PackageSpec spec = ShippedLikeSpec(c.selector);
        Start(spec);
        Connect(c.isp);
        const auto info = LoadPackage(packagePath).info;
        const auto& image = spec.segments[c.segment];
        std::size_t at = image.size() / 2;
        while (c.swapTwo && image[at] == image[at + 1]) ++at;
        {
            std::fstream file(packagePath, std::ios::binary | std::ios::in | std::ios::out);
            file.seekp(static_cast<std::streamoff>(info.m_segmentOffset[c.segment] + at));
            if (c.swapTwo) {
                file.put(static_cast<char>(image[at + 1]));
                file.put(static_cast<char>(image[at]));
            } else {
                file.put(static_cast<char>(image[at] ^ 0x80));
            }
        }
        engine->OnStartUpgrade();
        if (c.isp) engine->OnDeviceReport(StatusReply(0));  // erase done
        for (int answers = 0; answers < 5000 && engine->UpgradeState() != 17; ++answers) {
            engine->OnDeviceReport(Report{});
        }
        EXPECT_EQ(ui.Lines().back(), "ISP file read error!");
        EXPECT_EQ(engine->UpgradeState(), 17);
        // The stream stopped before the chunk that holds the change: every byte sent before it
        // came from the segment as loaded.
        std::size_t sentBytes = 0;
        for (const auto& report : bus.Written()) {
            if (!IsCommandReport(report)) sentBytes += report[1];
        }
        EXPECT_LE(sentBytes,
                  (c.segment == kSegChip2File2 ? info.m_segmentLength[kSegChip2File1] : 0) + at);
    }
}

TEST_F(EngineFixture, ProgressRecordsFollowTheBytesSent) {
    Start();
    Connect(true);
    engine->OnStartUpgrade();
    engine->OnDeviceReport(StatusReply(0));
    for (int i = 0; i < 259; ++i) engine->OnDeviceReport(Report{});
    std::vector<LogRecord> progress;
    for (const auto& r : ui.records)
        if (r.hasValue) progress.push_back(r);
    ASSERT_GE(progress.size(), 260u);
    EXPECT_EQ(progress[0].text, "     0");
    EXPECT_EQ(progress[1].text, "    59");
    EXPECT_EQ(progress[1].value, 0);
    EXPECT_EQ(progress[259].text, " 15281");
    EXPECT_EQ(progress[259].value, 59);
    EXPECT_THAT(ui.positions, ::testing::Contains(0));
}

}  // namespace
}  // namespace tamblor::test
