// Chip 3 upgrades through hidraw: the dock restarts into its boot loader, and may be pulled in
// the middle.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HidrawRig.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;

std::ptrdiff_t IndexOf(const std::vector<std::string>& lines, const std::string& text) {
    const auto it = std::find(lines.begin(), lines.end(), text);
    return it == lines.end() ? -1 : it - lines.begin();
}

class HidrawUpgrade : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    }

    // Starts the tool with the dock in its application and presses Start upgrade once offered.
    void StartUpgrade(CHidrawRig& rig) {
        rig.PlugDock();
        rig.Start(package.path);
        ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.UpgradeEnabled(); }))
            << testing::PrintToString(rig.ui.Lines());
        rig.engine.OnStartUpgrade();
    }

    TestPackage package;
};

TEST_F(HidrawUpgrade, Chip3AcrossTheRestartIntoTheBootLoader) {
    CHidrawRig rig;
    StartUpgrade(rig);
    const std::string apNode = rig.DockNode();
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.HasLine("Chip 3 Checksum pass, ISP Success!"); }))
        << testing::PrintToString(rig.ui.Lines());
    // IspExit sends the dock back to its application.
    ASSERT_TRUE(rig.RunUntil([&] {
        const auto lines = rig.ui.Lines();
        return IndexOf(lines, "AP device found!") >
               IndexOf(lines, "Chip 3 Checksum pass, ISP Success!");
    })) << testing::PrintToString(rig.ui.Lines());
    rig.Settle();

    const auto lines = rig.ui.Lines();
    const std::vector<std::string> milestones = {
        "Waiting...",      "No Device found!",   "ISP device found!",
        "File 1/1 End",    "ISP Chip 3 Finish!", "Chip 3 Checksum pass, ISP Success!",
        "AP device found!"};
    std::ptrdiff_t previous = -1;
    for (const auto& milestone : milestones) {
        const auto at = std::find(lines.begin() + previous + 1, lines.end(), milestone);
        ASSERT_NE(at, lines.end())
            << milestone << " after line " << previous << " of " << testing::PrintToString(lines);
        previous = at - lines.begin();
    }
    EXPECT_EQ(rig.ChangeResults(), (std::vector<int>{1, 0, 1, 0}));
    // The kernel gives a returning device the lowest free hidraw minor: the node it left.
    EXPECT_EQ(rig.DockNode(), apNode);
    EXPECT_EQ(rig.engine.UpgradeState(), 0);

    std::lock_guard lock(rig.dock.lock);
    const auto image = rig.dock.logic.Chip3Image();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), package.chip3Image.begin(),
                           package.chip3Image.end()));
    EXPECT_EQ(rig.dock.logic.Violations(), std::vector<std::string>{});
    EXPECT_FALSE(rig.dock.logic.IsIspMode());
}

struct OtherCollectionCase {
    const char* name;
    char selector;
    // The report of the tool's before whose answer the keyboard's report comes.
    bool (*before)(const Report&);
};

bool IsCommand(const Report& r, IspCommand command) {
    return IsCommandReport(r) && r[4] == static_cast<std::uint8_t>(command);
}

class OtherCollection : public HidrawUpgrade,
                        public testing::WithParamInterface<OtherCollectionCase> {};

// The dock's node also carries a keyboard collection. Its reports, coming while the tool
// awaits an answer, would be taken for that answer: an acknowledgement (a second chunk in
// flight), a good erase, a checksum. Its bytes 5 and 6 are non-zero, so they fit no answer
// that lets the upgrade succeed.
TEST_P(OtherCollection, ReportsNeverReachTheEngine) {
    TestPackage selected(GetParam().selector);
    CHidrawRig rig;
    bool sent = false;
    rig.dock.otherCollection = [&](const Report& report) {
        if (sent || !GetParam().before(report)) return std::vector<std::uint8_t>{};
        sent = true;
        return std::vector<std::uint8_t>{1, 0, 0, 4, 5, 6, 7, 8, 9};
    };
    rig.PlugDock({.reportDescriptor = KeyboardThenDockDescriptor()});
    rig.Start(selected.path);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.UpgradeEnabled(); }))
        << testing::PrintToString(rig.ui.Lines());
    rig.engine.OnStartUpgrade();
    const std::vector<std::string> verdicts = {"Chip 3 Checksum pass, ISP Success!",
                                               "ISP Chip 3 false!", "ISP Chip 3 ERASE ERROR!"};
    ASSERT_TRUE(rig.RunUntil([&] {
        return std::any_of(verdicts.begin(), verdicts.end(),
                           [&](const auto& line) { return rig.ui.HasLine(line); });
    })) << testing::PrintToString(rig.ui.Lines());
    rig.Settle();

    EXPECT_TRUE(rig.ui.HasLine("Chip 3 Checksum pass, ISP Success!"))
        << testing::PrintToString(rig.ui.Lines());
    EXPECT_FALSE(rig.ui.HasLine("ISP false!"));
    std::lock_guard lock(rig.dock.lock);  // `sent` too belongs to the dock's thread
    EXPECT_TRUE(sent);
    const auto image = rig.dock.logic.Chip3Image();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), selected.chip3Image.begin(),
                           selected.chip3Image.end()));
    EXPECT_EQ(rig.dock.logic.Violations(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OtherCollection,
    testing::Values(
        OtherCollectionCase{"WhileStreaming", '1',
                            [](const Report& r) { return !IsCommandReport(r) && r[2] == 5; }},
        OtherCollectionCase{"AwaitingTheChip3Erase", '1',
                            [](const Report& r) { return IsCommand(r, IspCommand::IspErase); }},
        OtherCollectionCase{"AwaitingTheChip3Checksum", '1',
                            [](const Report& r) { return IsCommand(r, IspCommand::IspChecksum); }},
        OtherCollectionCase{
            "AwaitingTheChip1Checksum", '3',
            [](const Report& r) { return IsCommand(r, IspCommand::Chip1Checksum); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidrawUpgrade, UnplugWhileStreamingAbandonsTheSequence) {
    DockConfig config;
    config.faults.removeAfterChunks = 5;
    CHidrawRig rig(config);
    StartUpgrade(rig);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.HasLine("Error!, restart please."); }))
        << testing::PrintToString(rig.ui.Lines());
    rig.Settle();

    const auto lines = rig.ui.Lines();
    const auto removed = IndexOf(lines, "Error!, restart please.");
    ASSERT_GE(removed, 1);
    EXPECT_EQ(lines[static_cast<std::size_t>(removed - 1)], "No Device found!");
    EXPECT_EQ(rig.engine.UpgradeState(), 0);
    EXPECT_EQ(rig.engine.Link().g_deviceConnected, 0);
    EXPECT_FALSE(rig.ui.HasLine("ISP Chip 3 Finish!"));
    // The reader saw the line hang up and idles; the tool still shuts down at once.
    rig.engine.OnDestroy();
}

}  // namespace
}  // namespace tamblor::test
