// Two copies of the tool on one dock: the one that sends the dock into its restart keeps it
// until its sequence ends, whichever copy sees the returning node first.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "HidrawRig.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;

// Another copy of the tool on the same machine: a bus of its own (its own udev monitor; its
// claims in the same folder as the rig's tool), its own window and engine.
class CPeerTool {
  public:
    explicit CPeerTool(const std::string& claimFolder) : bus(claimFolder), engine(bus, ui) {
        bus.SetDeviceChangeSink([this](const DeviceChange& change) {
            if (m_started) engine.OnDeviceChange(change);
        });
    }
    ~CPeerTool() { engine.OnDestroy(); }

    // Starts with whatever is plugged in now, as the rig's tool does.
    void Start(const std::filesystem::path& package) {
        while (Pump(0ms)) {
        }
        m_started = true;
        engine.OnInitDialog(package);
    }

    bool Pump(std::chrono::milliseconds wait) {
        pollfd watched{bus.DeviceChangeDescriptor(), POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(wait.count())) <= 0) return false;
        bus.PumpDeviceChanges();
        return true;
    }

    CHidrawBus bus;
    CRecordingUi ui;
    CTamblorEngine engine;

  private:
    bool m_started = false;
};

std::ptrdiff_t Count(const std::vector<std::string>& lines, const std::string& text) {
    return std::count(lines.begin(), lines.end(), text);
}

std::string RefusalLine(const std::string& place) {
    return "The dock at " + place +
           " is being upgraded by another copy of tamblor: waiting for it to finish.";
}

struct TwoCopiesCase {
    const char* name;
    bool peerSeesTheReturnFirst;
    bool peerPressesStart;
};

class TwoCopies : public testing::TestWithParam<TwoCopiesCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    }

    // One round: the dock's restarts, then each copy takes its device changes, in the case's
    // order; the peer presses Start whenever `pressing`.
    void Round(CHidrawRig& rig, CPeerTool& peer, bool pressing) {
        rig.PumpDockEffects();
        if (GetParam().peerSeesTheReturnFirst) {
            peer.Pump(2ms);
            rig.PumpChanges(2ms);
        } else {
            rig.PumpChanges(2ms);
            peer.Pump(2ms);
        }
        if (pressing && GetParam().peerPressesStart) peer.engine.OnStartUpgrade();
    }

    bool RoundsUntil(CHidrawRig& rig, CPeerTool& peer, bool pressing,
                     const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            Round(rig, peer, pressing);
            if (pressing) peerOfferedStart = peerOfferedStart || peer.ui.UpgradeEnabled();
        }
        return true;
    }

    TestPackage ours;
    // The peer's package carries other bytes: any of them in the dock came from the peer.
    TestPackage theirs{'1', "f505", 0x5A};
    bool peerOfferedStart = false;
};

TEST_P(TwoCopies, TheCopyThatRestartsTheDockKeepsIt) {
    CHidrawRig rig;
    rig.PlugDock();
    rig.Start(ours.path);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.UpgradeEnabled(); }))
        << testing::PrintToString(rig.ui.Lines());
    const std::string place = rig.DockPlace();

    CPeerTool peer(rig.claims.Path());
    peer.Start(theirs.path);
    rig.engine.OnStartUpgrade();
    const std::string success = "Chip 3 Checksum pass, ISP Success!";
    ASSERT_TRUE(RoundsUntil(rig, peer, true, [&] { return rig.ui.HasLine(success); }))
        << testing::PrintToString(rig.ui.Lines()) << testing::PrintToString(peer.ui.Lines());
    EXPECT_FALSE(peerOfferedStart) << testing::PrintToString(peer.ui.Lines());

    // The sequence has ended and the dock returns to its application, to whichever copy sees
    // it first. Once the first copy is gone, the peer takes the dock: where the first copy
    // took it back, only the release of its claim tells the peer, as no device changes.
    const auto backAfterSuccess = [&] {
        const auto lines = rig.ui.Lines();
        const auto at = std::find(lines.begin(), lines.end(), success);
        return std::find(at, lines.end(), "AP device found!") != lines.end();
    };
    const auto peerHasTheDock = [&] { return peer.ui.HasLine("AP device found!"); };
    ASSERT_TRUE(RoundsUntil(rig, peer, false, [&] {
        return backAfterSuccess() || peerHasTheDock();
    })) << testing::PrintToString(rig.ui.Lines());
    rig.engine.OnDestroy();
    ASSERT_TRUE(RoundsUntil(rig, peer, false, peerHasTheDock))
        << testing::PrintToString(peer.ui.Lines());

    const auto ourLines = rig.ui.Lines();
    EXPECT_EQ(Count(ourLines, "device Error!"), 0) << testing::PrintToString(ourLines);
    EXPECT_EQ(Count(ourLines, success), 1);
    const auto peerLines = peer.ui.Lines();
    EXPECT_EQ(Count(peerLines, RefusalLine(place)), 1) << testing::PrintToString(peerLines);
    EXPECT_EQ(Count(peerLines, "Waiting..."), 0) << testing::PrintToString(peerLines);
    EXPECT_EQ(Count(peerLines, "device Error!"), 0) << testing::PrintToString(peerLines);
    EXPECT_EQ(Count(peerLines, "AP device found!"), 1) << testing::PrintToString(peerLines);

    std::lock_guard lock(rig.dock.lock);
    const auto image = rig.dock.logic.Chip3Image();
    EXPECT_TRUE(
        std::equal(image.begin(), image.end(), ours.chip3Image.begin(), ours.chip3Image.end()));
    EXPECT_EQ(rig.dock.logic.Violations(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Orders, TwoCopies,
    testing::Values(TwoCopiesCase{"OursSeesTheReturnFirstPeerIdle", false, false},
                    TwoCopiesCase{"OursSeesTheReturnFirstPeerPresses", false, true},
                    TwoCopiesCase{"PeerSeesTheReturnFirstPeerIdle", true, false},
                    TwoCopiesCase{"PeerSeesTheReturnFirstPeerPresses", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tamblor::test
