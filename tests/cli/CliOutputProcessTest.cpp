// tamblor-cli upgrade as a script meets it: its stdout a pipe whose reader stops reading or
// goes away, a stop signal in the middle. The docks are emulated; the tool is the real program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Starts `args` as a shell would, every signal at its default and none blocked, with the
// descriptors `files` sets up; 0 or the error.
int SpawnAsAShellWould(std::vector<std::string> args, const posix_spawn_file_actions_t& files,
                       pid_t& child) {
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int spawned = ::posix_spawn(&child, argv[0], &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

constexpr int kPipeSize = 4096;

// The tool with its stdout on a pipe this test holds the reading end of, and its stderr in a
// file; every signal at its default, as a shell starts it.
class CliOutput : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tamblor-output-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
        if (m_reader >= 0) ::close(m_reader);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    void Start(std::vector<std::string> args) {
        args.insert(args.begin(), {TAMBLOR_CLI, "upgrade", "--simulate"});
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        m_reader = ends[0];
        // A small pipe fills within a few events: the reader's stall is met early in a run.
        ASSERT_GT(::fcntl(ends[1], F_SETPIPE_SZ, kPipeSize), 0);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, ends[1], STDOUT_FILENO);
        const std::string errPath = Err().string();
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int spawned = SpawnAsAShellWould(std::move(args), files, m_child);
        posix_spawn_file_actions_destroy(&files);
        ::close(ends[1]);
        ASSERT_EQ(spawned, 0);
    }

    fs::path Err() const { return m_dir / "stderr"; }

    int Unread() const {
        int queued = 0;
        return ::ioctl(m_reader, FIONREAD, &queued) == 0 ? queued : -1;
    }
    // The tool's writes wait on the reader: the pipe holds most of what it can, and no more
    // comes.
    bool PipeStalled() const {
        const int before = Unread();
        std::this_thread::sleep_for(300ms);
        return before >= kPipeSize / 2 && Unread() == before;
    }

    // Reads stdout until `part` has come (the reader then stops reading).
    bool ReadUntil(const std::string& part) {
        char buffer[1024];
        while (m_read.find(part) == std::string::npos) {
            pollfd ready{m_reader, POLLIN, 0};
            if (::poll(&ready, 1, 60'000) != 1) return false;
            const ssize_t n = ::read(m_reader, buffer, sizeof buffer);
            if (n <= 0) return false;
            m_read.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    std::string ReadToEnd() {
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_reader, buffer, sizeof buffer)) > 0;)
            m_read.append(buffer, static_cast<std::size_t>(n));
        return m_read;
    }

    // The child has a handler for `signal` (its mask of caught signals in /proc says so).
    bool Catches(int signal) const {
        std::ifstream status("/proc/" + std::to_string(m_child) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) != 0) continue;
            const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
            return (caught >> (signal - 1) & 1) != 0;
        }
        return false;
    }

    // The child's wait status once it ended by itself within `bound`, or -1.
    int Ended(std::chrono::seconds bound) {
        int status = -1;
        const bool ended =
            WaitFor([&] { return ::waitpid(m_child, &status, WNOHANG) == m_child; }, bound);
        if (!ended) return -1;
        m_child = -1;
        return status;
    }

    fs::path m_dir;
    pid_t m_child = -1;
    int m_reader = -1;
    std::string m_read;
};

// The reader opens the pipe and stops reading before the run's events fit in it: every dock is
// upgraded all the same and the verdicts come, and the events reach the reader whole once it
// reads again.
TEST_F(CliOutput, AReaderThatStopsReadingHoldsNoDockBack) {
    Start({"--docks", "16", "--all", "--json", "--dock-report"});
    const auto reports = [&] { return Count(ReadText(Err()), "{\"place\":\"emu-"); };
    ASSERT_TRUE(WaitFor([&] { return reports() == 16; }, 120s))
        << "the docks' reports did not come while stdout was not read:\n"
        << ReadText(Err());
    const std::string events = ReadToEnd();
    const int status = Ended(60s);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadText(Err());
    EXPECT_GT(events.size(), std::size_t{kPipeSize} * 8) << "the events must overfill the pipe";
    EXPECT_EQ(Count(events, "\"event\":\"outcome\""), 16u);
    EXPECT_NE(events.find("{\"event\":\"summary\",\"docks\":16,\"passed\":16"), std::string::npos);
    EXPECT_EQ(Count(ReadText(Err()), "\"passed\":true"), 16u);
}

// Started with stdin, stdout and stderr closed, as some launchers start a tool: the tool's own
// messages must not reach a descriptor of its own that took their number. Dock 1 fails early
// and its verdict line goes out while dock 2 is being written; dock 2 must go on to pass.
TEST(CliWithoutStandardDescriptors, ItsMessagesNeverStopTheOtherDocks) {
    std::vector<std::string> args = {
        TAMBLOR_CLI, "upgrade",      "--simulate", "--docks", "2",
        "--all",     "--latency-us", "1000",       "--fault", "1:remove-after-chunks=10"};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addclose(&files, fd);
    pid_t child = -1;
    const int spawned = SpawnAsAShellWould(std::move(args), files, child);
    posix_spawn_file_actions_destroy(&files);
    ASSERT_EQ(spawned, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    // 1: dock 1 failed and dock 2 passed; 130 would be a Ctrl-C nobody pressed.
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

struct StopCase {
    const char* name;
    std::vector<std::string> args;
    int signal;  // 0: none; else sent once the docks' upgrades have begun and the pipe is full
    bool readerLeaves;      // the reader closes its end at the start
    bool readsAfterSignal;  // else it never reads again
    // The signal comes once the run is over and the tool only waits for its reader, instead
    // of in the middle of the upgrades.
    bool afterRun;
    int status;
    std::vector<std::string> errHas;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class CliStop : public CliOutput, public testing::WithParamInterface<StopCase> {};

// Whatever becomes of its reader or however it is stopped, a run without --watch ends with its
// verdicts, its docks' reports and the status that tells the truth.
TEST_P(CliStop, EndsWithItsVerdictsAndATellingStatus) {
    const auto& c = GetParam();
    Start(c.args);
    if (c.readerLeaves) {
        ::close(m_reader);
        m_reader = -1;
    }
    if (c.signal != 0 && c.afterRun) {
        // The docks' reports come after the run; then the tool waits for its reader.
        ASSERT_TRUE(WaitFor([&] { return Count(ReadText(Err()), "\"report\":") > 0; }, 120s))
            << ReadText(Err());
        EXPECT_TRUE(WaitFor([&] { return Catches(c.signal); }, 20s))
            << "the signal is not caught while the tool waits for its reader";
        ::kill(m_child, c.signal);
    } else if (c.signal != 0) {
        ASSERT_TRUE(ReadUntil("\"stage\":\"upgrade\"")) << m_read << ReadText(Err());
        ASSERT_TRUE(WaitFor([&] { return PipeStalled(); }, 60s));
        ::kill(m_child, c.signal);
        if (c.readsAfterSignal) ReadToEnd();
    }
    const int status = Ended(120s);
    ASSERT_NE(status, -1) << "the tool did not end:\n" << ReadText(Err());
    if (m_reader >= 0) {
        // What reached the pipe ends with a whole line: a reader of JSON Lines never meets half
        // of one.
        const std::string read = ReadToEnd();
        if (!read.empty()) {
            EXPECT_EQ(read.back(), '\n') << read.substr(read.rfind('\n') + 1);
        }
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << ":\n"
                                   << ReadText(Err());
    EXPECT_EQ(WEXITSTATUS(status), c.status) << ReadText(Err());
    const std::string err = ReadText(Err());
    for (const auto& part : c.errHas)
        EXPECT_NE(err.find(part), std::string::npos) << part << "\n" << err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliStop,
    testing::Values(StopCase{"ReaderGoneAtOnce",
                             {"--docks", "4", "--all"},
                             0,
                             true,
                             false,
                             false,
                             0,
                             {"emu-4: upgrade succeeded", "4 docks: 4 passed, 0 failed",
                              "of output not written (Broken pipe)"}},
                    StopCase{"TerminatedWhileWritingUnread",
                             {"--docks", "16", "--all", "--json", "--dock-report", "--latency-us",
                              "20000"},
                             SIGTERM,
                             false,
                             false,
                             false,
                             143,
                             {"stopped by SIGTERM", "{\"place\":\"emu-16\",\"report\":",
                              "of output not written (its reader did not keep up)"}},
                    StopCase{"HangupWhileWritingCarriesOn",
                             {"--docks", "2", "--all", "--json", "--latency-us", "10000"},
                             SIGHUP,
                             false,
                             true,
                             false,
                             0,
                             {"the terminal hung up while docks were being upgraded"}},
                    // Every dock passed: a stop while the tool waits for its reader cuts the
                    // output short, not the verdict, and says so.
                    StopCase{"TerminatedWhileTheReaderIsBehind",
                             {"--docks", "16", "--all", "--json", "--dock-report"},
                             SIGTERM,
                             false,
                             false,
                             true,
                             0,
                             {"{\"place\":\"emu-16\",\"report\":",
                              "of output not written (its reader did not keep up)"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tamblor::test
