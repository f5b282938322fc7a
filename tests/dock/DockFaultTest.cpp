// The faults a dock can be asked to show, from their written names to what the host sees.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <variant>

#include "HostScript.h"
#include "package/PackageFormat.h"

namespace tamblor::test {
namespace {

DockFaults Parsed(std::string_view fault) {
    DockFaults faults;
    std::string error;
    EXPECT_TRUE(ParseDockFault(fault, faults, error)) << fault << ": " << error;
    return faults;
}

struct FaultCase {
    const char* fault;
    bool ispMode;
    std::vector<Report> script;
    // Checks the answers to the script, one per report.
    std::function<void(const std::vector<DockActions>&, const CDockLogic&)> check;
};

std::uint8_t Status(const DockActions& a) { return a.replies.size() == 1 ? a.replies[0][5] : 0xEE; }

const auto kImage = Pattern(100);

std::vector<FaultCase> Cases() {
    const std::vector<Report> chip1Start = {Command(IspCommand::Chip1Prepare),
                                            Command(IspCommand::Chip1Erase)};
    const auto poll = Command(IspCommand::Chip1EraseStatus);
    return {
        {"isp-erase-fail",
         true,
         {IspEraseFor(100)},
         [](const auto& a, const auto&) { EXPECT_NE(Status(a[0]), 0); }},
        {"chip1-prepare-fail",
         false,
         {Command(IspCommand::Chip1Prepare)},
         [](const auto& a, const auto&) { EXPECT_NE(Status(a[0]), 0); }},
        {"chip1-erase-fail", false, chip1Start,
         [](const auto& a, const auto&) {
             EXPECT_EQ(Status(a[0]), 0);
             EXPECT_NE(Status(a[1]), 0);
         }},
        {"chip1-erase-busy=3", false,
         Concat({chip1Start, {poll, poll, poll, poll}, {MakeChunkReport(1, kImage)}}),
         [](const auto& a, const auto& dock) {
             EXPECT_EQ(Status(a[2]), 1);
             EXPECT_EQ(Status(a[3]), 1);
             EXPECT_EQ(Status(a[4]), 1);
             EXPECT_EQ(Status(a[5]), 0);
             EXPECT_EQ(dock.Chip1Image().size(), 59u) << "the erase finished with the fourth poll";
         }},
        {"chip3-checksum-wrong", true,
         Concat({{IspEraseFor(100)}, Chunks(kImage), {IspChecksumFor(100)}}),
         [](const auto& a, const auto&) {
             EXPECT_EQ(Checksum(a.back().replies[0]),
                       static_cast<std::uint16_t>(ByteSum(kImage) + 1));
         }},
        {"chip1-checksum-wrong", false,
         Concat({chip1Start, {poll}, Chunks(kImage, true), {Chip1ChecksumFor(100)}}),
         [](const auto& a, const auto&) {
             EXPECT_EQ(Checksum(a.back().replies[0]),
                       static_cast<std::uint16_t>(ByteSum(kImage) + 1));
         }},
        // Counted over every stream: two Chip 2 chunks, then the first Chip 3 chunk.
        {"remove-after-chunks=3", false,
         Concat({Chunks(Pattern(118)),
                 {Command(IspCommand::IspEnter), IspEraseFor(100), Chunks(kImage)[0]}}),
         [](const auto& a, const auto& dock) {
             EXPECT_EQ(a[0].replies.size(), 1u);
             EXPECT_EQ(a[1].replies.size(), 1u);
             EXPECT_TRUE(a[4].replies.empty());
             EXPECT_TRUE(std::holds_alternative<DockActions::Unplug>(a[4].effect));
             EXPECT_EQ(dock.Report().chip3Chunks, 0u) << "the lost chunk is not stored";
         }},
        {"unsolicited-after-chunks=2", false, Chunks(Pattern(59 * 3)),
         [](const auto& a, const auto&) {
             EXPECT_EQ(a[0].replies.size(), 1u);
             EXPECT_EQ(a[1].replies.size(), 2u);
             EXPECT_EQ(a[2].replies.size(), 1u);
         }},
        {"no-return-after-isp-enter",
         false,
         {Command(IspCommand::IspEnter)},
         [](const auto& a, const auto& dock) {
             EXPECT_TRUE(a[0].replies.empty());
             EXPECT_TRUE(std::holds_alternative<DockActions::Unplug>(a[0].effect));
             EXPECT_TRUE(dock.IsIspMode()) << "a replug finds it in its boot loader";
         }},
    };
}

TEST(DockFaults, EachFaultShowsAsTheHostWouldSeeIt) {
    for (const auto& c : Cases()) {
        SCOPED_TRACE(c.fault);
        DockConfig config;
        config.ispMode = c.ispMode;
        config.faults = Parsed(c.fault);
        CDockLogic dock(config);
        const auto actions = Feed(dock, c.script);
        c.check(actions, dock);
    }
}

TEST(DockFaults, ParsesValuesAndDefaults) {
    EXPECT_EQ(Parsed("chip1-erase-busy=0").chip1EraseBusy, 0u);
    EXPECT_EQ(Parsed("chip1-erase-busy=12").chip1EraseBusy, 12u);
    EXPECT_EQ(Parsed("remove-after-chunks=4444").removeAfterChunks, 4444u);
    EXPECT_EQ(Parsed("unsolicited-after-chunks=1").unsolicitedAfterChunks, 1u);
    EXPECT_EQ(Parsed("other-pid").otherPid, 0xF503);
    EXPECT_EQ(Parsed("other-pid=abcd").otherPid, 0xABCD);
    EXPECT_EQ(Parsed("other-pid=0xF506").otherPid, 0xF506);
    EXPECT_EQ(Parsed("other-version-number").otherVersionNumber, 0x0200);
    EXPECT_EQ(Parsed("other-version-number=0101").otherVersionNumber, 0x0101);
    EXPECT_TRUE(Parsed("no-return-after-isp-enter").noReturnAfterIspEnter);
}

TEST(DockFaults, RejectsMalformedSpecsAndLeavesFaultsAlone) {
    const char* bad[] = {"",
                         "bogus",
                         "isp-erase-fail=1",
                         "chip1-erase-busy",
                         "chip1-erase-busy=",
                         "chip1-erase-busy=x",
                         "chip1-erase-busy=-1",
                         "remove-after-chunks=0",
                         "unsolicited-after-chunks=2x",
                         "other-pid=",
                         "other-pid=12345",
                         "other-pid=0x",
                         "other-version-number=g"};
    for (const char* fault : bad) {
        SCOPED_TRACE(fault);
        DockFaults faults;
        faults.chip1EraseBusy = 7;
        std::string error;
        EXPECT_FALSE(ParseDockFault(fault, faults, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(faults.chip1EraseBusy, 7u);
        EXPECT_FALSE(faults.otherPid || faults.removeAfterChunks || faults.ispEraseFail);
    }
}

// The help text is what an operator types from: every name in it must parse, and it must name
// every fault.
TEST(DockFaults, HelpNamesEveryFaultInAParsableForm) {
    std::istringstream help(DockFaultHelp());
    std::string line;
    int names = 0;
    while (std::getline(help, line)) {
        std::istringstream words(line);
        std::string usage;
        words >> usage;
        SCOPED_TRACE(usage);
        std::string fault = usage.substr(0, usage.find_first_of("=["));
        if (usage.ends_with("=N")) fault += "=1";
        DockFaults faults;
        std::string error;
        EXPECT_TRUE(ParseDockFault(fault, faults, error)) << error;
        ++names;
    }
    EXPECT_EQ(names, 11);
}

}  // namespace
}  // namespace tamblor::test
