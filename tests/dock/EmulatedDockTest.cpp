// The emulated dock as a HID bus: enumeration, channels, device changes, timing and the
// accounting a simulated run uses to know when nothing is left to happen.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "HostScript.h"
#include "hid/emulated/EmulatedDock.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits on the dock's activity instead of spinning; false when `done` never came true.
bool WaitUntil(const CEmulatedDock& dock, const std::function<bool()>& done,
               std::chrono::milliseconds timeout = 5000ms) {
    const auto deadline = Clock::now() + timeout;
    auto seen = dock.Activity();
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        seen = dock.WaitForActivity(seen, 20ms);
    }
    return true;
}

// Records every device change with what the dock looked like from inside the sink. The sink
// queries the dock, which would deadlock if the dock held its lock around the call.
class ChangeRecorder {
  public:
    struct Seen {
        DeviceChange change;
        std::thread::id thread;
        std::vector<std::string> enumerated;
        Clock::time_point when;
    };

    explicit ChangeRecorder(CEmulatedDock& dock) : m_dock(dock) {
        dock.SetDeviceChangeSink([this](const DeviceChange& change) { Record(change); });
    }
    ~ChangeRecorder() { m_dock.SetDeviceChangeSink(nullptr); }

    // Called inside the sink after recording, for tests that hold the sink up.
    std::function<void(const DeviceChange&)> hook;

    std::vector<Seen> WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 5s, [&] { return m_seen.size() >= count; });
        return m_seen;
    }

  private:
    void Record(const DeviceChange& change) {
        Seen seen{change, std::this_thread::get_id(), {}, Clock::now()};
        for (const auto& info : m_dock.EnumerateInterfaces()) seen.enumerated.push_back(info.path);
        (void)m_dock.Pending();
        {
            std::lock_guard lock(m_mutex);
            m_seen.push_back(seen);
        }
        m_changed.notify_all();
        if (hook) hook(change);
    }

    CEmulatedDock& m_dock;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Seen> m_seen;
};

struct Link {
    std::unique_ptr<IHidReadChannel> read;
    std::unique_ptr<IHidWriteChannel> write;
};

Link Open(CEmulatedDock& dock) {
    const auto path = dock.CurrentPath();
    Link link{dock.OpenRead(path), dock.OpenWrite(path)};
    EXPECT_TRUE(link.read && link.write) << path;
    return link;
}

Report ReadOne(IHidReadChannel& channel) {
    Report report{};
    EXPECT_EQ(channel.ReadReport(report), 64);
    return report;
}

std::uint32_t Write(IHidWriteChannel& channel, const Report& report) {
    return channel.WriteReport(report);
}

DockConfig WithFault(const char* fault, DockConfig config = {}) {
    std::string error;
    EXPECT_TRUE(ParseDockFault(fault, config.faults, error)) << error;
    return config;
}

TEST(EmulatedDockBus, EnumeratesItsIdentity) {
    struct Case {
        const char* name;
        DockConfig config;
        EmulatedBusOptions bus;
        // path, product ID, version number, usage page, usage
        std::vector<std::tuple<std::string, int, int, int, int>> expected;
    };
    const DockConfig plain;
    DockConfig isp;
    isp.ispMode = true;
    EmulatedBusOptions decoy;
    decoy.decoyFirst = true;
    EmulatedBusOptions unplugged;
    unplugged.plugged = false;
    const Case cases[] = {
        {"default", plain, {}, {{"emu:dock/ap/1", 0xF505, 0x0100, 0xFF00, 2}}},
        {"boot loader", isp, {}, {{"emu:dock/isp/1", 0xF505, 0x0100, 0xFF00, 2}}},
        {"decoy first",
         plain,
         decoy,
         {{"emu:dock/ap/1/decoy", 0xF505, 0x0100, 1, 6},
          {"emu:dock/ap/1", 0xF505, 0x0100, 0xFF00, 2}}},
        {"other PID", WithFault("other-pid"), {}, {{"emu:dock/ap/1", 0xF503, 0x0100, 0xFF00, 2}}},
        {"other version number",
         WithFault("other-version-number"),
         {},
         {{"emu:dock/ap/1", 0xF505, 0x0200, 0xFF00, 2}}},
        {"unplugged", plain, unplugged, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CEmulatedDock dock(c.config, c.bus);
        const auto interfaces = dock.EnumerateInterfaces();
        ASSERT_EQ(interfaces.size(), c.expected.size());
        for (std::size_t i = 0; i < interfaces.size(); ++i) {
            const auto& info = interfaces[i];
            ASSERT_TRUE(info.attributes && info.caps);
            EXPECT_EQ(std::make_tuple(info.path, int{info.attributes->productId},
                                      int{info.attributes->versionNumber},
                                      int{info.caps->usagePage}, int{info.caps->usage}),
                      c.expected[i]);
            EXPECT_EQ(info.attributes->vendorId, 0x10C4);
        }
        if (!interfaces.empty()) {
            const auto& vendor = interfaces.back();
            EXPECT_EQ(vendor.caps->inputReportByteLength, 64);
            EXPECT_EQ(vendor.caps->outputReportByteLength, 64);
            EXPECT_TRUE(dock.OpenRead(vendor.path) && dock.OpenWrite(vendor.path));
        }
        EXPECT_FALSE(dock.OpenRead("emu:dock/ap/1/decoy"));
        EXPECT_FALSE(dock.OpenWrite("emu:dock/ap/9"));
    }
}

// The host reader reads again only after it has handled a report, including the report it
// sent in answer; until then the run is not over.
TEST(EmulatedDockBus, PendingCountsAReplyUntilTheHostHasHandledIt) {
    enum class Ack { NextRead, ReadOnAnotherChannel, Cancel, Destroy };
    for (const Ack ack : {Ack::NextRead, Ack::ReadOnAnotherChannel, Ack::Cancel, Ack::Destroy}) {
        SCOPED_TRACE(static_cast<int>(ack));
        CEmulatedDock dock;
        auto link = Open(dock);
        EXPECT_EQ(dock.Pending(), 0u);

        auto activity = dock.Activity();
        EXPECT_EQ(Write(*link.write, Command(IspCommand::GetMode)), 0u);
        EXPECT_EQ(dock.Pending(), 1u);
        EXPECT_GT(dock.Activity(), activity);

        EXPECT_EQ(ReadOne(*link.read)[1], kReplyMode);
        EXPECT_EQ(dock.Pending(), 1u) << "delivered, not yet handled";
        EXPECT_EQ(Write(*link.write, Command(IspCommand::GetVersion)), 0u);
        EXPECT_EQ(dock.Pending(), 2u);
        EXPECT_EQ(ReadOne(*link.read)[1], kReplyVersion);
        EXPECT_EQ(dock.Pending(), 1u) << "the second read acknowledged the first";

        std::unique_ptr<IHidReadChannel> other;
        std::future<int> blocked;
        switch (ack) {
            case Ack::NextRead:
            case Ack::ReadOnAnotherChannel: {
                IHidReadChannel* reader = link.read.get();
                if (ack == Ack::ReadOnAnotherChannel) {
                    other = dock.OpenRead(dock.CurrentPath());
                    reader = other.get();
                }
                blocked = std::async(std::launch::async, [reader] {
                    Report r{};
                    return reader->ReadReport(r);
                });
                EXPECT_TRUE(WaitUntil(dock, [&] { return dock.Pending() == 0; }));
                reader->Cancel();
                EXPECT_EQ(blocked.get(), -1);
                break;
            }
            case Ack::Cancel:
                link.read->Cancel();
                EXPECT_EQ(dock.Pending(), 0u);
                break;
            case Ack::Destroy:
                link.read.reset();
                EXPECT_EQ(dock.Pending(), 0u);
                break;
        }

        const auto received = dock.ReceivedReports();
        ASSERT_EQ(received.size(), 2u);
        EXPECT_EQ(received[0], Command(IspCommand::GetMode));
        EXPECT_EQ(received[1], Command(IspCommand::GetVersion));
    }
}

TEST(EmulatedDockBus, RepliesComeAfterTheLatencyAndInOrder) {
    EmulatedBusOptions bus;
    bus.latency = 20ms;
    CEmulatedDock dock(WithFault("unsolicited-after-chunks=1"), bus);
    auto link = Open(dock);

    const auto start = Clock::now();
    const auto chunk = MakeChunkReport(1, Pattern(10));
    Write(*link.write, chunk);
    Write(*link.write, Command(IspCommand::GetMode));
    EXPECT_EQ(dock.Pending(), 3u);

    const auto ack = ReadOne(*link.read);
    EXPECT_GE(Clock::now() - start, 20ms);
    EXPECT_EQ(ack[1], 10) << "chunk acknowledgement";
    EXPECT_EQ(ReadOne(*link.read)[1], 0xA5) << "the unasked report";
    EXPECT_EQ(ReadOne(*link.read)[1], kReplyMode);
}

TEST(EmulatedDockBus, RemovalEndsABlockedReadAndAReplugGetsANewPath) {
    CEmulatedDock dock;
    ChangeRecorder changes(dock);
    auto link = Open(dock);
    auto blocked = std::async(std::launch::async, [&] {
        Report r{};
        return link.read->ReadReport(r);
    });

    dock.Unplug();
    EXPECT_EQ(blocked.get(), -1);
    auto seen = changes.WaitFor(1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].change.kind, DeviceChangeKind::Removal);
    EXPECT_EQ(seen[0].change.path, "emu:dock/ap/1");
    EXPECT_NE(seen[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(seen[0].enumerated.empty()) << "gone from the bus before the sink hears of it";
    EXPECT_EQ(Write(*link.write, Command(IspCommand::GetMode)), 19u);
    EXPECT_FALSE(dock.OpenRead("emu:dock/ap/1"));
    EXPECT_TRUE(WaitUntil(dock, [&] { return dock.Pending() == 0; }));

    dock.Plug();
    seen = changes.WaitFor(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].change.kind, DeviceChangeKind::Arrival);
    EXPECT_EQ(seen[1].change.path, "emu:dock/ap/2");
    EXPECT_EQ(seen[1].enumerated, std::vector<std::string>{"emu:dock/ap/2"})
        << "a scan run on arrival finds it";

    Report r{};
    EXPECT_EQ(link.read->ReadReport(r), -1) << "channels of the old appearance stay dead";
    auto relink = Open(dock);
    Write(*relink.write, Command(IspCommand::GetMode));
    EXPECT_EQ(ReadOne(*relink.read)[5], 0) << "back in its application";
}

TEST(EmulatedDockBus, RestartLeavesAndReturnsInTheOtherModeUnderANewPath) {
    EmulatedBusOptions bus;
    bus.restartDelay = 30ms;
    CEmulatedDock dock({}, bus);
    ChangeRecorder changes(dock);
    std::promise<void> inArrival;
    std::promise<void> release;
    auto released = release.get_future().share();
    int arrivals = 0;  // only the worker touches it
    changes.hook = [&, released](const DeviceChange& change) {
        if (change.kind != DeviceChangeKind::Arrival || ++arrivals > 1) return;
        inArrival.set_value();
        released.wait();
    };

    auto link = Open(dock);
    const auto wrote = Clock::now();
    EXPECT_EQ(Write(*link.write, Command(IspCommand::IspEnter)), 0u);
    EXPECT_EQ(Write(*link.write, Command(IspCommand::GetMode)), 19u) << "already leaving";

    inArrival.get_future().wait();
    EXPECT_EQ(dock.Pending(), 1u) << "the arrival counts until its sink call has returned";
    release.set_value();
    EXPECT_TRUE(WaitUntil(dock, [&] { return dock.Pending() == 0; }));

    auto seen = changes.WaitFor(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].change.kind, DeviceChangeKind::Removal);
    EXPECT_EQ(seen[0].change.path, "emu:dock/ap/1");
    EXPECT_EQ(seen[1].change.kind, DeviceChangeKind::Arrival);
    EXPECT_EQ(seen[1].change.path, "emu:dock/isp/2");
    EXPECT_GE(seen[1].when - wrote, 30ms) << "the restart takes its delay";

    auto isp = Open(dock);
    Write(*isp.write, Command(IspCommand::GetMode));
    EXPECT_EQ(ReadOne(*isp.read)[5], 1);
    Write(*isp.write, IspChecksumFor(0));
    ReadOne(*isp.read);
    Write(*isp.write, IspExitFor(0, 0, {'V', 2, 0, 0}));
    Report none{};
    EXPECT_EQ(isp.read->ReadReport(none), -1) << "no answer, only the removal";

    seen = changes.WaitFor(4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].change.path, "emu:dock/isp/2");
    EXPECT_EQ(seen[3].change.path, "emu:dock/ap/3");
    EXPECT_TRUE(WaitUntil(dock, [&] { return dock.Pending() == 0; }));
    auto ap = Open(dock);
    Write(*ap.write, Command(IspCommand::GetVersion));
    const auto version = ReadOne(*ap.read);
    EXPECT_EQ(std::vector<std::uint8_t>(version.begin() + 5, version.begin() + 9),
              (std::vector<std::uint8_t>{'V', 2, 0, 0}));
    EXPECT_TRUE(dock.Report().violations.empty()) << dock.Report().ToJson();
}

TEST(EmulatedDockBus, FaultsThatUnplugNeverBringTheDockBack) {
    const std::pair<const char*, Report> cases[] = {
        {"remove-after-chunks=1", MakeChunkReport(1, Pattern(5))},
        {"no-return-after-isp-enter", Command(IspCommand::IspEnter)},
    };
    for (const auto& [fault, report] : cases) {
        SCOPED_TRACE(fault);
        CEmulatedDock dock(WithFault(fault));
        ChangeRecorder changes(dock);
        auto link = Open(dock);
        EXPECT_EQ(Write(*link.write, report), 0u);
        EXPECT_TRUE(WaitUntil(dock, [&] { return dock.Pending() == 0; }));
        const auto seen = changes.WaitFor(1);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].change.kind, DeviceChangeKind::Removal);
        EXPECT_FALSE(dock.IsPresent());
        Report r{};
        EXPECT_EQ(link.read->ReadReport(r), -1) << "the report was never answered";
    }
}

TEST(EmulatedDockBus, UnplugDropsRepliesNotYetDue) {
    EmulatedBusOptions bus;
    bus.latency = 10s;
    CEmulatedDock dock({}, bus);
    auto link = Open(dock);
    Write(*link.write, Command(IspCommand::GetMode));
    EXPECT_EQ(dock.Pending(), 1u);
    dock.Unplug();
    EXPECT_TRUE(WaitUntil(dock, [&] { return dock.Pending() == 0; }));
    Report r{};
    EXPECT_EQ(link.read->ReadReport(r), -1);
}

TEST(EmulatedDockBus, KnowsWhetherTheHostReadTheAnswerBeforeWritingAgain) {
    const std::vector<std::string> early = {
        "GetVersion written while the answer to GetMode was still unread"};
    {
        CEmulatedDock dock;
        auto link = Open(dock);
        Write(*link.write, Command(IspCommand::GetMode));
        ReadOne(*link.read);
        Write(*link.write, Command(IspCommand::GetVersion));
        EXPECT_TRUE(dock.Report().violations.empty());
        Write(*link.write, Command(IspCommand::GetVersion));
        EXPECT_EQ(dock.Report().violations,
                  std::vector<std::string>{
                      "GetVersion written while the answer to GetVersion was still unread"});
    }
    {
        // Answers that left with the dock are owed no more.
        CEmulatedDock dock;
        ChangeRecorder changes(dock);
        auto link = Open(dock);
        Write(*link.write, Command(IspCommand::GetMode));
        dock.Unplug();
        dock.Plug();
        ASSERT_EQ(changes.WaitFor(2).size(), 2u);
        auto again = Open(dock);
        Write(*again.write, Command(IspCommand::GetVersion));
        EXPECT_TRUE(dock.Report().violations.empty()) << dock.Report().ToJson();
    }
}

TEST(EmulatedDockBus, DestructionEndsBlockedReadsAndLeavesChannelsFailing) {
    EmulatedBusOptions bus;
    bus.latency = 10s;  // something still scheduled must not hold up the worker's end
    auto dock = std::make_unique<CEmulatedDock>(DockConfig{}, bus);
    auto link = Open(*dock);
    Write(*link.write, Command(IspCommand::GetMode));
    auto blocked = std::async(std::launch::async, [&] {
        Report r{};
        return link.read->ReadReport(r);
    });
    dock.reset();
    EXPECT_EQ(blocked.get(), -1);
    EXPECT_EQ(Write(*link.write, Command(IspCommand::GetMode)), 19u);
}

}  // namespace
}  // namespace tamblor::test
