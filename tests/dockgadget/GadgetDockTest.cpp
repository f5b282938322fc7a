// The dock's loop on a link whose "USB connection" is a SOCK_SEQPACKET socketpair: one packet is
// one report, as on /dev/hidgN, and disconnecting closes the dock's end, which the host sees.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <sstream>

#include "dockgadget/GadgetDescriptor.h"
#include "dockgadget/GadgetDock.h"
#include "gtest/gtest.h"
#include "hid/linux/UniqueFd.h"
#include "isp/IspReport.h"

namespace tamblor {
namespace {

using namespace std::chrono_literals;

class CSocketpairLink final : public IGadgetLink {
  public:
    bool Connect(std::string& error) override {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            error = "socketpair";
            return false;
        }
        m_dock.Reset(fds[0]);
        std::lock_guard lock(m_lock);
        m_hostEnds.emplace_back(fds[1]);
        ++m_connects;
        m_changed.notify_all();
        return true;
    }
    void Disconnect() override {
        m_dock.Reset();
        std::lock_guard lock(m_lock);
        ++m_disconnects;
    }
    int ReportDescriptor() const override { return m_dock.Get(); }
    std::string Describe() const override { return "socketpair"; }

    // The host's end of the next connection, waiting for it up to two seconds.
    CUniqueFd NextHostEnd() {
        std::unique_lock lock(m_lock);
        if (!m_changed.wait_for(lock, 2s, [&] { return !m_hostEnds.empty(); })) return {};
        CUniqueFd end = std::move(m_hostEnds.front());
        m_hostEnds.pop_front();
        return end;
    }
    int Connects() {
        std::lock_guard lock(m_lock);
        return m_connects;
    }

  private:
    CUniqueFd m_dock;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<CUniqueFd> m_hostEnds;
    int m_connects = 0;
    int m_disconnects = 0;
};

// What the host reads next: a report, or nothing (-1: timeout, 0: the device left).
std::vector<std::uint8_t> HostRead(const CUniqueFd& host, int& status) {
    pollfd fd{host.Get(), POLLIN, 0};
    if (::poll(&fd, 1, 2000) <= 0) {
        status = -1;
        return {};
    }
    std::vector<std::uint8_t> buffer(256);
    const ssize_t got = ::recv(host.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    status = got > 0 ? 1 : 0;
    buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return buffer;
}

void HostWrite(const CUniqueFd& host, const Report& report) {
    ASSERT_EQ(::send(host.Get(), report.data(), report.size(), 0),
              static_cast<ssize_t>(report.size()));
}

struct DockRun {
    explicit DockRun(DockConfig config = {}, GadgetDockOptions options = {})
        : logic(config), stop(::eventfd(0, EFD_CLOEXEC)) {
        options.restartDelay = std::min(options.restartDelay, std::chrono::milliseconds(20));
        dock = std::make_unique<CGadgetDock>(link, logic, options, stop.Get(), out);
        result = std::async(std::launch::async, [this] { return dock->Run(error); });
    }
    ~DockRun() { Stop(); }
    GadgetDockEnd Stop() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stop.Get(), &one, sizeof one);
        return Wait();
    }
    GadgetDockEnd Wait() {
        if (!ended) {
            EXPECT_EQ(result.wait_for(5s), std::future_status::ready);
            end = result.get();
            ended = true;
        }
        return end;
    }

    CSocketpairLink link;
    CDockLogic logic;
    CUniqueFd stop;
    std::ostringstream out;
    std::string error;
    std::unique_ptr<CGadgetDock> dock;
    std::future<GadgetDockEnd> result;
    bool ended = false;
    GadgetDockEnd end = GadgetDockEnd::Failed;
};

std::uint8_t ModeByte(const std::vector<std::uint8_t>& reply) {
    return reply.size() > 5 && reply[1] == kReplyMode ? reply[5] : 0xFF;
}

TEST(GadgetDock, RestartLeavesTheBusAndComesBackInTheBootLoader) {
    DockRun run;
    CUniqueFd host = run.link.NextHostEnd();
    ASSERT_TRUE(host.IsValid());
    int status = 0;
    HostWrite(host, MakeCommandReport(IspCommand::GetMode));
    EXPECT_EQ(ModeByte(HostRead(host, status)), 0) << "AP mode";

    HostWrite(host, MakeCommandReport(IspCommand::IspEnter));
    HostRead(host, status);
    EXPECT_EQ(status, 0) << "the device leaves without answering";

    CUniqueFd back = run.link.NextHostEnd();
    ASSERT_TRUE(back.IsValid()) << "the device comes back";
    HostWrite(back, MakeCommandReport(IspCommand::GetMode));
    EXPECT_EQ(ModeByte(HostRead(back, status)), 1) << "ISP mode";

    EXPECT_EQ(run.Stop(), GadgetDockEnd::Stopped);
    EXPECT_EQ(run.dock->Restarts(), 1u);
    EXPECT_EQ(run.link.Connects(), 2);
    EXPECT_TRUE(run.logic.Violations().empty());
    // The first report after each arrival answers nothing of the dock's.
    EXPECT_EQ(run.dock->Turnarounds().size(), 1u);
}

TEST(GadgetDock, KeyboardReportGoesBeforeEveryNthAnswer) {
    GadgetDockOptions options;
    options.keyboardEvery = 2;
    DockRun run({}, options);
    CUniqueFd host = run.link.NextHostEnd();
    ASSERT_TRUE(host.IsValid());
    std::vector<std::size_t> sizes;
    int status = 0;
    for (int i = 0; i < 2; ++i) {
        HostWrite(host, MakeCommandReport(IspCommand::GetMode));
        do {
            const auto report = HostRead(host, status);
            if (status != 1) break;
            sizes.push_back(report.size());
            if (report[0] == kKeyboardReportId) continue;
            break;
        } while (true);
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{64, kKeyboardReportSize, 64}));
    EXPECT_EQ(run.Stop(), GadgetDockEnd::Stopped);
    EXPECT_TRUE(run.logic.Violations().empty());
}

TEST(GadgetDock, EndsAfterIspExitOrServesOnWhenAsked) {
    for (const bool keepGoing : {false, true}) {
        SCOPED_TRACE(keepGoing ? "keep going" : "end");
        DockConfig config;
        config.ispMode = true;
        GadgetDockOptions options;
        options.keepGoing = keepGoing;
        DockRun run(config, options);
        CUniqueFd host = run.link.NextHostEnd();
        ASSERT_TRUE(host.IsValid());
        HostWrite(host, MakeCommandReport(IspCommand::IspExit));
        int status = 0;
        HostRead(host, status);
        EXPECT_EQ(status, 0) << "the device leaves";
        if (keepGoing) {
            CUniqueFd back = run.link.NextHostEnd();
            ASSERT_TRUE(back.IsValid());
            HostWrite(back, MakeCommandReport(IspCommand::GetMode));
            EXPECT_EQ(ModeByte(HostRead(back, status)), 0) << "back in AP mode";
            EXPECT_EQ(run.Stop(), GadgetDockEnd::Stopped);
        } else {
            EXPECT_EQ(run.Wait(), GadgetDockEnd::Upgraded);
            EXPECT_EQ(run.link.Connects(), 1);
        }
    }
}

TEST(GadgetDock, UnplugFaultLeavesForGoodWithoutAnAnswer) {
    DockConfig config;
    config.faults.removeAfterChunks = 1;
    DockRun run(config);
    CUniqueFd host = run.link.NextHostEnd();
    ASSERT_TRUE(host.IsValid());
    const std::uint8_t data[3] = {1, 2, 3};
    HostWrite(host, MakeChunkReport(1, data));
    int status = 0;
    HostRead(host, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run.Wait(), GadgetDockEnd::Unplugged);
    EXPECT_EQ(run.link.Connects(), 1);
}

TEST(GadgetDock, ShortReportReachesTheLogicAsItCame) {
    DockRun run;
    CUniqueFd host = run.link.NextHostEnd();
    ASSERT_TRUE(host.IsValid());
    const Report full = MakeCommandReport(IspCommand::GetMode);
    ASSERT_EQ(::send(host.Get(), full.data(), 20, 0), 20);
    int status = 0;
    HostRead(host, status);
    EXPECT_EQ(status, -1) << "no answer to a report of the wrong size";
    EXPECT_EQ(run.Stop(), GadgetDockEnd::Stopped);
    ASSERT_EQ(run.logic.Violations().size(), 1u);
    EXPECT_EQ(run.logic.Violations()[0], "report of 20 bytes, expected 64");
}

}  // namespace
}  // namespace tamblor
