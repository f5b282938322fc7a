// Whole exchanges as a well-behaved host runs them: what the dock answers and what it keeps.
#include <gtest/gtest.h>

#include <variant>

#include "HostScript.h"
#include "package/PackageFormat.h"

namespace tamblor::test {
namespace {

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

DockConfig IspDock() {
    DockConfig config;
    config.ispMode = true;
    return config;
}

struct ReplyCase {
    const char* name;
    bool ispMode;
    std::array<std::uint8_t, 4> version;
    IspCommand command;
    std::vector<std::uint8_t> expected;  // bytes 0.. of the only reply
};

TEST(DockReplies, ModeAndVersionRepliesHaveTheirLayout) {
    const ReplyCase cases[] = {
        {"mode AP", false, {'V', 1, 0, 2}, IspCommand::GetMode, {2, 7, 0xFE, 0xFF, 7, 0}},
        {"mode ISP", true, {'V', 1, 0, 2}, IspCommand::GetMode, {2, 7, 0xFE, 0xFF, 7, 1}},
        {"version",
         false,
         {'V', 1, 0, 2},
         IspCommand::GetVersion,
         {2, 8, 0xFE, 0xFF, 8, 'V', 1, 0, 2, 0}},
        {"configured version",
         false,
         {'X', 9, 8, 7},
         IspCommand::GetVersion,
         {2, 8, 0xFE, 0xFF, 8, 'X', 9, 8, 7, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DockConfig config;
        config.ispMode = c.ispMode;
        config.version = c.version;
        CDockLogic dock(config);
        const auto actions = dock.OnHostReport(Command(c.command));
        ASSERT_EQ(actions.replies.size(), 1u);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(actions.effect));
        const auto& reply = actions.replies[0];
        EXPECT_EQ(std::vector<std::uint8_t>(reply.begin(), reply.begin() + c.expected.size()),
                  c.expected);
        EXPECT_TRUE(dock.Violations().empty());
    }
}

TEST(DockSession, Chip3IsErasedStoredSummedAndExitTakesTheNewVersion) {
    const auto image = Pattern(1000);  // two erase blocks, 17 chunks, the last of 56 bytes
    const std::uint16_t sum = ByteSum(image);
    CDockLogic dock(IspDock());

    const auto erase = dock.OnHostReport(IspEraseFor(image.size()));
    ASSERT_EQ(erase.replies.size(), 1u);
    EXPECT_EQ(erase.replies[0][5], 0) << "erase status";

    for (const auto& actions : Feed(dock, Chunks(image))) EXPECT_EQ(actions.replies.size(), 1u);

    const auto checksum = dock.OnHostReport(IspChecksumFor(image.size()));
    ASSERT_EQ(checksum.replies.size(), 1u);
    EXPECT_EQ(Checksum(checksum.replies[0]), sum);

    const auto exit = dock.OnHostReport(IspExitFor(sum, image.size(), {'V', 1, 0, 3}));
    EXPECT_TRUE(exit.replies.empty());
    const auto* restart = std::get_if<DockActions::Restart>(&exit.effect);
    ASSERT_NE(restart, nullptr);
    EXPECT_FALSE(restart->toIspMode);

    // Back in its application, the dock shows the version the host handed over.
    EXPECT_FALSE(dock.IsIspMode());
    EXPECT_EQ(dock.OnHostReport(Command(IspCommand::GetMode)).replies[0][5], 0);
    const auto version = dock.OnHostReport(Command(IspCommand::GetVersion)).replies[0];
    EXPECT_EQ(Bytes(std::span(version).subspan(5, 4)), (std::vector<std::uint8_t>{'V', 1, 0, 3}));

    EXPECT_EQ(Bytes(dock.Chip3Image()), image);
    const auto report = dock.Report();
    EXPECT_EQ(report.chip3Chunks, 17u);
    EXPECT_EQ(report.chip3Sum, sum);
    EXPECT_TRUE(report.violations.empty());
    // Told nothing of what to expect, the dock vouches for nothing.
    EXPECT_FALSE(report.judged);
    EXPECT_FALSE(report.Passed());
}

TEST(DockSession, IspEnterRestartsIntoTheBootLoaderWithoutAnswer) {
    CDockLogic dock;
    const auto enter = dock.OnHostReport(Command(IspCommand::IspEnter));
    EXPECT_TRUE(enter.replies.empty());
    const auto* restart = std::get_if<DockActions::Restart>(&enter.effect);
    ASSERT_NE(restart, nullptr);
    EXPECT_TRUE(restart->toIspMode);
    EXPECT_TRUE(dock.IsIspMode());
    EXPECT_EQ(dock.OnHostReport(Command(IspCommand::GetMode)).replies[0][5], 1);
    EXPECT_TRUE(dock.Violations().empty());
}

TEST(DockSession, Chip1IsErasedStoredInPagesAndSummed) {
    const auto image = Pattern(600, 3);  // two full pages and a part
    const std::uint16_t sum = ByteSum(image);
    CDockLogic dock;

    const auto prologue =
        Feed(dock, {Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase),
                    Command(IspCommand::Chip1EraseStatus)});
    for (const auto& actions : prologue) {
        ASSERT_EQ(actions.replies.size(), 1u);
        EXPECT_EQ(actions.replies[0][5], 0);
    }
    for (const auto& actions : Feed(dock, Chunks(image, true)))
        EXPECT_EQ(actions.replies.size(), 1u);

    const auto checksum = dock.OnHostReport(Chip1ChecksumFor(image.size()));
    ASSERT_EQ(checksum.replies.size(), 1u);
    EXPECT_EQ(Checksum(checksum.replies[0]), sum);
    EXPECT_EQ(dock.OnHostReport(Command(IspCommand::Chip1End)).replies.size(), 1u);

    EXPECT_EQ(Bytes(dock.Chip1Image()), image);
    const auto report = dock.Report();
    EXPECT_EQ(report.chip1Chunks, 12u);  // 5 per full page, then 59 and 29
    EXPECT_EQ(report.chip1Sum, sum);
    EXPECT_TRUE(report.violations.empty()) << report.ToJson();

    // After Chip1End, chunks in AP mode are Chip 2's again.
    dock.OnHostReport(MakeChunkReport(1, image));
    EXPECT_EQ(dock.Report().chip2Chunks[0], 1u);
    EXPECT_EQ(dock.Chip1Image().size(), image.size());
}

// Chip1End is answered after a verification only: after a failed preparation or erase the
// host expects no answer, and a late one would be taken for the answer to its next report.
TEST(DockSession, Chip1EndIsAnsweredAfterAVerificationOnly) {
    struct Case {
        const char* name;
        bool prepareFails;
        bool eraseFails;
        std::vector<Report> before;
        std::size_t endAnswers;
    };
    const auto image = Pattern(100, 5);
    const Case cases[] = {
        {"after Chip1Checksum", false, false,
         Concat({{Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase),
                  Command(IspCommand::Chip1EraseStatus)},
                 Chunks(image, true),
                 {Chip1ChecksumFor(image.size())}}),
         1},
        {"after a failed preparation", true, false, {Command(IspCommand::Chip1Prepare)}, 0},
        {"after a failed erase",
         false,
         true,
         {Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase)},
         0},
        // A verification in an earlier run does not answer for this one.
        {"after a checksum, then a failed erase",
         false,
         true,
         {Chip1ChecksumFor(0), Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase)},
         0},
    };
    for (const Case& c : cases) {
        DockConfig config;
        config.faults.chip1PrepareFail = c.prepareFails;
        config.faults.chip1EraseFail = c.eraseFails;
        CDockLogic dock(config);
        Feed(dock, c.before);
        EXPECT_EQ(dock.OnHostReport(Command(IspCommand::Chip1End)).replies.size(), c.endAnswers)
            << c.name;
    }
}

TEST(DockSession, Chip2TakesTwoFilesAndANewProgrammingReplacesBoth) {
    const auto file1 = Pattern(100, 1);
    const auto file2 = Pattern(70, 2);
    CDockLogic dock;
    Feed(dock, Concat({Chunks(file1), Chunks(file2)}));
    EXPECT_EQ(Bytes(dock.Chip2File(0)), file1);
    EXPECT_EQ(Bytes(dock.Chip2File(1)), file2);
    EXPECT_EQ(dock.Report().chip2Chunks, (std::array<std::uint32_t, 2>{2, 2}));

    const auto again = Pattern(10, 9);
    Feed(dock, Chunks(again));
    EXPECT_EQ(Bytes(dock.Chip2File(0)), again);
    EXPECT_TRUE(dock.Chip2File(1).empty());
    EXPECT_TRUE(dock.Violations().empty());
}

TEST(DockSession, RebootForgetsTheStreamButKeepsTheImages) {
    const auto image = Pattern(100);
    CDockLogic dock(IspDock());
    Feed(dock, Concat({{IspEraseFor(image.size())}, Chunks(image)}));
    dock.Reboot();
    // Without a new erase the boot loader takes no data.
    dock.OnHostReport(MakeChunkReport(3, image));
    EXPECT_EQ(Bytes(dock.Chip3Image()), image);
    ASSERT_EQ(dock.Violations().size(), 1u);
    EXPECT_NE(dock.Violations()[0].find("IspErase"), std::string::npos);
}

TEST(DockReport, JsonIsOneLineOfEveryChipAndEscapesViolationText) {
    DockReport report;
    report.judged = true;
    report.chip3 = {true, true, 25856, 25856, std::nullopt};
    report.chip2[0] = {true, true, 5186, 5000, 5000u};
    report.chip2[1] = {true, false, 262144, 0, 0u};
    report.chip1 = {false, true, 0, 12, 0u};
    report.chip1Chunks = 1;
    report.chip2Chunks = {2, 3};
    report.chip3Chunks = 4;
    report.chip1Sum = 65535;
    report.chip3Sum = 6;
    report.violations = {"say \"hi\"\\", "tab\tline\n\x01"};
    EXPECT_EQ(
        report.ToJson(),
        R"({"passed":false,"judged":true,"chips":{)"
        R"("chip1":{"due":false,"programmed":true,"expected":0,"stored":12,"equal":false,)"
        R"("firstDifference":0},)"
        R"("chip2":[{"due":true,"programmed":true,"expected":5186,"stored":5000,"equal":false,)"
        R"("firstDifference":5000},)"
        R"({"due":true,"programmed":false,"expected":262144,"stored":0,"equal":false,)"
        R"("firstDifference":0}],)"
        R"("chip3":{"due":true,"programmed":true,"expected":25856,"stored":25856,"equal":true,)"
        R"("firstDifference":null}},)"
        R"("chunks":{"chip1":1,"chip2":[2,3],"chip3":4},"sums":{"chip1":65535,"chip3":6},)"
        R"("violations":["say \"hi\"\\","tab\tline\n\u0001"]})");
    EXPECT_EQ(report.ChipFindings(),
              (std::vector<std::string>{
                  "Chip 2 file 1/2: 5000 bytes stored, 5186 expected (segment 1), first "
                  "difference at offset 5000",
                  "Chip 2 file 2/2: 0 bytes stored, 262144 expected (segment 2), first "
                  "difference at offset 0, never programmed",
                  "Chip 1: programmed, although this run should leave it alone"}));
}

}  // namespace
}  // namespace tamblor::test
