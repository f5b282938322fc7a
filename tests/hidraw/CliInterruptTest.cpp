// Ctrl-C, SIGTERM and SIGHUP during `tamblor-cli upgrade` on a hidraw dock, sent to this very
// process while the command runs on a thread of its own. The dock holds back its answer to a data
// chunk of Chip 3 until the test lets it go, so the signals land while the chip is being written,
// whatever the machine's speed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <thread>

#include "HidrawRig.h"
#include "HidrawTestbed.h"
#include "PtyDock.h"
#include "cli/Commands.h"
#include "dock/DockLogic.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;

// An output stream that one thread writes and another reads.
class CSharedText : public std::streambuf {
  public:
    std::string Text() const {
        std::lock_guard lock(m_lock);
        return m_text;
    }

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            std::lock_guard lock(m_lock);
            m_text += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(m_lock);
        m_text.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    mutable std::mutex m_lock;
    std::string m_text;
};

// Plays a dock in its boot loader on the far end of a hidraw line, one write per answer, and
// holds back the answer to the `holdAt`th data chunk until Release(). After a restart or an
// unplug it falls silent, as the dock has left.
class CGatedDock {
  public:
    CGatedDock(int master, unsigned holdAt)
        : m_logic(IspDock()),
          m_master(master),
          m_holdAt(holdAt),
          m_stop(::eventfd(0, EFD_CLOEXEC)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~CGatedDock() {
        Release();
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_stop.Get(), &one, sizeof one);
        m_thread.join();
    }

    bool IsHolding() const {
        std::lock_guard lock(m_lock);
        return m_holding;
    }
    void Release() {
        std::lock_guard lock(m_lock);
        m_released = true;
        m_gate.notify_all();
    }

  private:
    static DockConfig IspDock() {
        DockConfig config;
        config.ispMode = true;
        return config;
    }

    static bool IsDataChunk(const Report& report) { return report[2] != 0xFE || report[3] != 0xFF; }

    void Run() {
        unsigned chunks = 0;
        ForEachReport(m_master, m_stop.Get(), [&](const Report& report) {
            if (IsDataChunk(report) && ++chunks == m_holdAt) {
                std::unique_lock lock(m_lock);
                m_holding = true;
                m_gate.wait(lock, [this] { return m_released; });
                m_holding = false;
            }
            const DockActions actions = m_logic.OnHostReport(report);
            for (const Report& reply : actions.replies) {
                if (::write(m_master, reply.data(), reply.size()) !=
                    static_cast<ssize_t>(reply.size()))
                    return false;
            }
            return std::holds_alternative<std::monostate>(actions.effect);
        });
    }

    CDockLogic m_logic;
    const int m_master;
    const unsigned m_holdAt;
    CUniqueFd m_stop;
    mutable std::mutex m_lock;
    std::condition_variable m_gate;
    bool m_holding = false;
    bool m_released = false;
    std::thread m_thread;
};

struct Row {
    const char* name;
    bool dockAttached;
    std::vector<int> signals;  // sent one by one, each after the tool has answered the last
    bool releaseAfterSignals;  // the dock then answers again and the upgrade goes on
    int status;
    std::string lastLine;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class CliInterrupt : public testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
        // As a shell starts the tool: the test runner may have left SIGPIPE ignored.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &byDefault, &m_previousPipe);
    }

    void TearDown() override {
        m_dock.reset();
        if (m_node) testbed.Unplug(*m_node);
        ::sigaction(SIGPIPE, &m_previousPipe, nullptr);
    }

    // The dock in its boot loader, holding back its answer to the fifth chunk of Chip 3.
    void PlugDock() {
        m_node = testbed.Plug({});
        m_dock = std::make_unique<CGatedDock>(m_node->master.Get(), 5);
    }
    CGatedDock& Dock() { return *m_dock; }
    const std::string& Place() const { return m_node->place; }

    CHidrawTestbed testbed;
    TestPackage package;
    CSharedText out, err;

  private:
    std::unique_ptr<PluggedNode> m_node;
    std::unique_ptr<CGatedDock> m_dock;
    struct sigaction m_previousPipe {};
};

// Polls `done` until it holds; false after a bound that only a hang reaches.
bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool Has(const CSharedText& text, const std::string& part) {
    return text.Text().find(part) != std::string::npos;
}

std::size_t Count(const CSharedText& text, const std::string& part) {
    const std::string all = text.Text();
    std::size_t count = 0;
    for (auto at = all.find(part); at != std::string::npos; at = all.find(part, at + 1)) ++count;
    return count;
}

TEST_P(CliInterrupt, EndsTheUpgradeAsThePolicySays) {
    const Row& row = GetParam();
    if (row.dockAttached) PlugDock();
    std::ostream outStream(&out), errStream(&err);
    auto run = std::async(std::launch::async, [&] {
        return RunTamblorCli({"upgrade", "--package", package.path.string()}, package.path,
                             outStream, errStream);
    });
    const auto finished = [&] { return run.wait_for(0s) == std::future_status::ready; };

    // The moment to strike: waiting for a dock, or the dock holding back an answer mid-chip.
    ASSERT_TRUE(WaitUntil([&] {
        return finished() ||
               (row.dockAttached ? Dock().IsHolding() : Has(err, "waiting up to 10 s"));
    })) << out.Text()
        << err.Text();
    ASSERT_FALSE(finished()) << out.Text() << err.Text();

    std::size_t warnings = 0;
    for (std::size_t i = 0; i < row.signals.size(); ++i) {
        ASSERT_EQ(::kill(::getpid(), row.signals[i]), 0);
        // Every Ctrl-C but a last one that stops is answered by a warning, and the tool goes on.
        // A SIGPIPE is answered by nothing at all: had it not been ignored, this process would
        // be gone.
        if (row.signals[i] == SIGINT && (i + 1 < row.signals.size() || row.releaseAfterSignals)) {
            ++warnings;
            ASSERT_TRUE(WaitUntil([&] {
                return finished() || Count(err, "Ctrl-C again") >= warnings;
            })) << err.Text();
            ASSERT_FALSE(finished()) << out.Text() << err.Text();
        }
        // A hangup mid-chip is answered by a note, and the tool goes on.
        if (row.signals[i] == SIGHUP && row.releaseAfterSignals) {
            ASSERT_TRUE(WaitUntil([&] { return finished() || Has(err, "hung up"); })) << err.Text();
            ASSERT_FALSE(finished()) << out.Text() << err.Text();
        }
    }
    if (row.releaseAfterSignals) Dock().Release();
    ASSERT_TRUE(WaitUntil(finished)) << out.Text() << err.Text();

    EXPECT_EQ(run.get(), row.status) << out.Text() << err.Text();
    // The verdict line ends every run; the row's line comes just before it.
    std::string errText = err.Text();
    const std::string verdict =
        row.status == 0 ? "upgrade succeeded: every check passed\n" : "upgrade failed: ";
    const auto verdictAt = errText.rfind('\n', errText.size() - 2) + 1;
    ASSERT_TRUE(errText.substr(verdictAt).starts_with(verdict)) << errText;
    errText.resize(verdictAt);
    if (row.lastLine.empty()) {
        EXPECT_EQ(errText, "");
    } else {
        ASSERT_TRUE(errText.ends_with(row.lastLine + "\n")) << errText;
    }
    EXPECT_EQ(Count(err, "Ctrl-C again"), warnings) << errText;
    if (row.releaseAfterSignals) {
        EXPECT_TRUE(Has(out, "Chip 3 Checksum pass, ISP Success!")) << out.Text();
    } else {
        EXPECT_FALSE(Has(out, "Chip 3 Checksum pass, ISP Success!")) << out.Text();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliInterrupt,
    testing::Values(
        Row{"CtrlCWhileWaitingForADockEndsAtOnce",
            false,
            {SIGINT},
            false,
            130,
            "tamblor-cli upgrade: stopped by Ctrl-C before the upgrade started; the dock was not "
            "changed"},
        Row{"CtrlCTwiceDuringTheUpgradeWarnsThenEnds",
            true,
            {SIGINT, SIGINT},
            false,
            130,
            "tamblor-cli upgrade: stopped by Ctrl-C while the dock was being upgraded: the "
            "upgrade did not finish and the dock may be left unusable"},
        Row{"SigtermDuringTheUpgradeEndsAtOnce",
            true,
            {SIGTERM},
            false,
            143,
            "tamblor-cli upgrade: stopped by SIGTERM while the dock was being upgraded: the "
            "upgrade did not finish and the dock may be left unusable"},
        Row{"OneCtrlCDuringTheUpgradeOnlyWarns",
            true,
            {SIGINT},
            true,
            0,
            "tamblor-cli upgrade: the dock is being upgraded; stopping now may leave it "
            "unusable. Press Ctrl-C again within 5 s to stop anyway."},
        // The terminal or the ssh session went away: nobody is left to warn, and ending now
        // would leave the dock half written.
        Row{"HangupDuringTheUpgradeCarriesItToItsEnd",
            true,
            {SIGHUP},
            true,
            0,
            "tamblor-cli upgrade: the terminal hung up while the dock was being upgraded; the "
            "upgrade goes on to its end"},
        Row{"HangupWhileWaitingForADockEndsAtOnce",
            false,
            {SIGHUP},
            false,
            129,
            "tamblor-cli upgrade: stopped by SIGHUP before the upgrade started; the dock was not "
            "changed"},
        // The log piped into `head`, which has had its line and gone.
        Row{"SigpipeDuringTheUpgradeIsIgnored", true, {SIGPIPE}, true, 0, ""}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// The signal's handler is in place in this process (its mask of caught signals says so).
bool Catching(int signal) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
    }
    return false;
}

// status says what it waits for; stopped then, it must still say so.
TEST_F(CliInterrupt, AStoppedStatusSaysSoAndListsNothing) {
    std::ostream outStream(&out), errStream(&err);
    auto run = std::async(std::launch::async, [&] {
        return RunTamblorCli({"status", "--package", package.path.string()}, package.path,
                             outStream, errStream);
    });
    const auto finished = [&] { return run.wait_for(0s) == std::future_status::ready; };
    ASSERT_TRUE(WaitUntil([&] { return finished() || Catching(SIGINT); })) << err.Text();
    ASSERT_FALSE(finished()) << out.Text() << err.Text();
    ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
    ASSERT_TRUE(WaitUntil(finished)) << out.Text() << err.Text();
    EXPECT_EQ(run.get(), 130) << out.Text() << err.Text();
    EXPECT_EQ(err.Text(),
              "tamblor-cli status: no dock attached; waiting up to 10 s for one with vendor ID "
              "0x10C4 and product ID 0xF505 (Ctrl-C stops)\n"
              "tamblor-cli status: stopped before every dock had answered; nothing is listed\n");
    EXPECT_EQ(out.Text(), "");
}

// A second copy of the tool on the dock that the first is upgrading is refused at once with a
// word on why, leaves the dock alone, and the first finishes as if it were alone.
class TwoTools : public CliInterrupt {};

TEST_F(TwoTools, TheSecondIsRefusedAndTheFirstFinishes) {
    PlugDock();
    std::ostream outStream(&out), errStream(&err);
    auto first = std::async(std::launch::async, [&] {
        return RunTamblorCli({"upgrade", "--package", package.path.string()}, package.path,
                             outStream, errStream);
    });
    const auto finished = [&] { return first.wait_for(0s) == std::future_status::ready; };
    ASSERT_TRUE(WaitUntil([&] { return finished() || Dock().IsHolding(); }))
        << out.Text() << err.Text();
    ASSERT_FALSE(finished()) << out.Text() << err.Text();

    CSharedText secondOut, secondErr;
    std::ostream secondOutStream(&secondOut), secondErrStream(&secondErr);
    // The first goes on only once the second has been refused.
    std::thread releaser([&] {
        WaitUntil([&] { return Has(secondOut, "is being upgraded by another copy"); });
        Dock().Release();
    });
    const int second = RunTamblorCli({"upgrade", "--package", package.path.string()}, package.path,
                                     secondOutStream, secondErrStream);
    // A failed upgrade (1), told in one line by the dock's place; nothing was tried.
    EXPECT_EQ(second, 1) << secondOut.Text() << secondErr.Text();
    EXPECT_EQ(Count(secondOut, "The dock at " + Place() +
                                   " is being upgraded by another copy of tamblor: waiting for "
                                   "it to finish."),
              1u)
        << secondOut.Text();
    EXPECT_EQ(secondErr.Text(),
              "tamblor-cli upgrade: another copy of tamblor is upgrading the "
              "dock at " +
                  Place() + "; this one leaves it alone\n");
    EXPECT_FALSE(Has(secondOut, "Waiting...")) << secondOut.Text();
    EXPECT_FALSE(Has(secondOut, "device Error!")) << secondOut.Text();

    releaser.join();
    ASSERT_TRUE(WaitUntil(finished)) << out.Text() << err.Text();
    EXPECT_EQ(first.get(), 0) << out.Text() << err.Text();
    EXPECT_TRUE(Has(out, "Chip 3 Checksum pass, ISP Success!")) << out.Text();
    EXPECT_EQ(err.Text(), "upgrade succeeded: every check passed\n");
}

// Two docks on two ports: the command line refuses to pick one, takes both with --all (each
// told its own verdict by its place), one with --device, and status lists both.
class TwoDocks : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
        for (auto& node : m_nodes) {
            node = testbed.Plug({});
            m_docks.push_back(std::make_unique<CGatedDock>(node->master.Get(), kNeverHold));
        }
    }
    void TearDown() override {
        m_docks.clear();
        for (auto& node : m_nodes) testbed.Unplug(*node);
    }
    const std::string& Place(std::size_t index) const { return m_nodes[index]->place; }

    int Run(std::vector<std::string> args) {
        args.push_back("--package");
        args.push_back(package.path.string());
        std::ostream outStream(&out), errStream(&err);
        return RunTamblorCli(args, package.path, outStream, errStream);
    }

    CHidrawTestbed testbed;
    TestPackage package;
    CSharedText out, err;

  private:
    static constexpr unsigned kNeverHold = 1u << 30;
    std::array<std::unique_ptr<PluggedNode>, 2> m_nodes;
    std::vector<std::unique_ptr<CGatedDock>> m_docks;
};

TEST_F(TwoDocks, WithoutAChoiceTheUpgradeIsRefusedAndNothingIsSent) {
    EXPECT_EQ(Run({"upgrade"}), 2) << out.Text() << err.Text();
    EXPECT_EQ(err.Text(), "tamblor-cli upgrade: 2 docks match (" + Place(0) + ", " + Place(1) +
                              "): choose one with --device PLACE, or take them all with --all\n");
    EXPECT_EQ(out.Text(), "");
}

TEST_F(TwoDocks, AllUpgradesBothEachToldByItsPlace) {
    EXPECT_EQ(Run({"upgrade", "--all"}), 0) << out.Text() << err.Text();
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(Has(out, Place(i) + ": Chip 3 Checksum pass, ISP Success!")) << out.Text();
        EXPECT_TRUE(Has(err, Place(i) + ": upgrade succeeded: every check passed\n")) << err.Text();
    }
    EXPECT_TRUE(Has(err, "2 docks: 2 passed, 0 failed, 0 already current")) << err.Text();
}

TEST_F(TwoDocks, DeviceTakesOnlyTheChosenDock) {
    EXPECT_EQ(Run({"upgrade", "--device", Place(1), "--json"}), 0) << out.Text() << err.Text();
    EXPECT_TRUE(
        Has(out, "{\"event\":\"outcome\",\"place\":\"" + Place(1) + "\",\"result\":\"passed\""))
        << out.Text();
    EXPECT_FALSE(Has(out, "\"place\":\"" + Place(0) + "\"")) << out.Text();
}

TEST_F(TwoDocks, StatusListsBothInTheirBootLoader) {
    EXPECT_EQ(Run({"status"}), 0) << err.Text();
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(Has(out, Place(i))) << out.Text();
    }
    EXPECT_EQ(Count(out, "  ISP   -        yes\n"), 2u) << out.Text();
}

// Two docks over hidraw, the second holding back its answer to a chunk of Chip 3 until let go.
class TwoGatedDocks : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            m_nodes[i] = testbed.Plug({});
            // Dock 2 holds back its answer to the fifth chunk of Chip 3 until released.
            m_docks[i] =
                std::make_unique<CGatedDock>(m_nodes[i]->master.Get(), i == 1 ? 5 : kNeverHold);
        }
    }
    void TearDown() override {
        for (auto& dock : m_docks) dock.reset();
        for (std::size_t i = 0; i < m_nodes.size(); ++i) {
            if (!m_unplugged[i]) testbed.Unplug(*m_nodes[i]);
        }
    }
    const std::string& Place(std::size_t index) const { return m_nodes[index]->place; }
    CGatedDock& Dock(std::size_t index) { return *m_docks[index]; }
    void Unplug(std::size_t index) {
        testbed.Unplug(*m_nodes[index]);
        m_unplugged[index] = true;
    }

    CHidrawTestbed testbed;
    TestPackage package;

  private:
    static constexpr unsigned kNeverHold = 1u << 30;
    std::array<std::unique_ptr<PluggedNode>, 2> m_nodes;
    std::array<std::unique_ptr<CGatedDock>, 2> m_docks;
    std::array<bool, 2> m_unplugged{};
};

// Without --watch, over hidraw: dock 2 is pulled in the middle of Chip 3; dock 1 goes on to
// pass, dock 2 is failed by its place, and the run ends in 1.
TEST_F(TwoGatedDocks, ADockPulledMidChipFailsAloneByItsPlace) {
    CSharedText out, err;
    std::ostream outStream(&out), errStream(&err);
    auto run = std::async(std::launch::async, [&] {
        return RunTamblorCli({"upgrade", "--all", "--json", "--package", package.path.string()},
                             package.path, outStream, errStream);
    });
    const auto finished = [&] { return run.wait_for(0s) == std::future_status::ready; };
    ASSERT_TRUE(WaitUntil([&] { return finished() || Dock(1).IsHolding(); })) << err.Text();
    ASSERT_FALSE(finished()) << out.Text() << err.Text();
    Unplug(1);
    Dock(1).Release();
    ASSERT_TRUE(WaitUntil(finished)) << out.Text() << err.Text();
    EXPECT_EQ(run.get(), 1) << out.Text() << err.Text();
    EXPECT_TRUE(
        Has(out, "{\"event\":\"outcome\",\"place\":\"" + Place(0) + "\",\"result\":\"passed\""))
        << out.Text();
    EXPECT_TRUE(
        Has(out, "{\"event\":\"outcome\",\"place\":\"" + Place(1) + "\",\"result\":\"failed\""))
        << out.Text();
    EXPECT_TRUE(Has(out, "\"summary\",\"docks\":2,\"passed\":1,\"failed\":1")) << out.Text();
}

// Two copies whose --device lists overlap: the second is refused the dock that the first is in
// the middle of writing, told by its place, and leaves it alone; status lists that dock as busy;
// the first finishes both of its docks.
TEST_F(TwoGatedDocks, TheSecondLeavesTheDockTheFirstIsWritingAlone) {
    const std::string file = package.path.string();
    CSharedText out, err;
    std::ostream outStream(&out), errStream(&err);
    auto first = std::async(std::launch::async, [&] {
        return RunTamblorCli(
            {"upgrade", "--device", Place(0), "--device", Place(1), "--package", file},
            package.path, outStream, errStream);
    });
    const auto finished = [&] { return first.wait_for(0s) == std::future_status::ready; };
    ASSERT_TRUE(WaitUntil([&] { return finished() || Dock(1).IsHolding(); })) << err.Text();
    ASSERT_FALSE(finished()) << out.Text() << err.Text();

    CSharedText secondOut, secondErr;
    std::ostream secondOutStream(&secondOut), secondErrStream(&secondErr);
    const int second = RunTamblorCli({"upgrade", "--device", Place(1), "--json", "--package", file},
                                     package.path, secondOutStream, secondErrStream);
    EXPECT_EQ(second, 1) << secondOut.Text() << secondErr.Text();
    EXPECT_TRUE(
        Has(secondOut, "{\"event\":\"outcome\",\"place\":\"" + Place(1) + "\",\"result\":\"busy\""))
        << secondOut.Text();
    EXPECT_FALSE(Has(secondOut, "\"stage\":\"upgrade\"")) << secondOut.Text();

    CSharedText statusOut, statusErr;
    std::ostream statusOutStream(&statusOut), statusErrStream(&statusErr);
    EXPECT_EQ(RunTamblorCli({"status", "--package", file}, package.path, statusOutStream,
                            statusErrStream),
              0)
        << statusErr.Text();
    EXPECT_TRUE(Has(statusOut, "busy (another copy of tamblor is upgrading it)"))
        << statusOut.Text();

    Dock(1).Release();
    ASSERT_TRUE(WaitUntil(finished)) << out.Text() << err.Text();
    EXPECT_EQ(first.get(), 0) << out.Text() << err.Text();
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(Has(err, Place(i) + ": upgrade succeeded: every check passed\n")) << err.Text();
    }
}

}  // namespace
}  // namespace tamblor::test
