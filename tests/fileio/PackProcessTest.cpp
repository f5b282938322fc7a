// tamblor-cli pack as another process meets it in the middle of copying its carrier: stopped by
// a signal, it leaves the folder as it was; its file swapped for a link, it follows nothing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "package/SyntheticImages.h"

extern char** environ;

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;

// Large enough that the copy takes far longer than the signal takes to arrive; sparse, so it
// costs no disk until the copy writes it.
constexpr std::uintmax_t kCarrierSize = 384u << 20;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class PackProcess : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tamblor-packstop-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_inputs = m_dir / "inputs";
        m_outputs = m_dir / "outputs";
        fs::create_directory(m_inputs);
        fs::create_directory(m_outputs);
        std::ofstream(m_inputs / "carrier", std::ios::binary).put('\x7f');
        fs::resize_file(m_inputs / "carrier", kCarrierSize);
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            const auto image = MakeSyntheticImage(k);
            std::ofstream(m_inputs / SyntheticImageName(k), std::ios::binary)
                .write(reinterpret_cast<const char*>(image.data()),
                       static_cast<std::streamsize>(image.size()));
        }
        std::ofstream(m_outputs / "packed", std::ios::binary) << "the previous build";
    }
    void TearDown() override {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            Wait();
        }
        if (m_watch >= 0) ::close(m_watch);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::vector<std::string> Args() const {
        std::vector<std::string> args = {TAMBLOR_CLI, "pack",
                                         "--carrier", (m_inputs / "carrier").string(),
                                         "--out",     (m_outputs / "packed").string()};
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            args.push_back("--segment" + std::to_string(k));
            args.push_back((m_inputs / SyntheticImageName(k)).string());
        }
        return args;
    }

    // Starts pack with the default action for every signal and waits until its temporary file
    // appears, the moment its copy begins. False when it never appears.
    bool StartAndCatchTheCopy() {
        m_watch = ::inotify_init1(IN_CLOEXEC);
        if (m_watch < 0 || ::inotify_add_watch(m_watch, m_outputs.c_str(), IN_CREATE) < 0) {
            return false;
        }
        std::vector<std::string> args = Args();
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigdefault(&attributes, &all);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        const int spawned =
            ::posix_spawn(&m_child, argv[0], nullptr, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) return false;
        pollfd ready{m_watch, POLLIN, 0};
        return ::poll(&ready, 1, 60'000) == 1;
    }

    int Wait() {
        int status = 0;
        ::waitpid(m_child, &status, 0);
        m_child = -1;
        return status;
    }

    // The name pack writes under, as the folder shows it.
    std::string TemporaryName() const {
        for (const auto& name : Names(m_outputs)) {
            if (name != "packed") return name;
        }
        return {};
    }

    fs::path m_dir;
    fs::path m_inputs;
    fs::path m_outputs;
    int m_watch = -1;
    pid_t m_child = -1;
};

TEST_P(PackProcess, StoppedLeavesTheFolderAsItWas) {
    const int signal = GetParam();
    const auto before = Names(m_outputs);
    const bool caught = StartAndCatchTheCopy();
    if (m_child > 0) ::kill(m_child, caught ? signal : SIGKILL);
    const int status = Wait();
    ASSERT_TRUE(caught) << "pack created no file in a minute";
    ASSERT_TRUE(WIFSIGNALED(status))
        << "pack ended with status " << status << " before the signal came";
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(Names(m_outputs), before);
    EXPECT_EQ(ReadText(m_outputs / "packed"), "the previous build");
}

INSTANTIATE_TEST_SUITE_P(Signals, PackProcess, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

// In a folder anyone may write to, another user swaps pack's file for a link to a private file
// while the carrier is copied: the private file keeps its bits and bytes, the output is not
// replaced, the link is left where its maker put it, and pack says why it stopped.
TEST_F(PackProcess, FileSwappedForALinkIsNeverFollowed) {
    const fs::path victim = m_dir / "key";
    std::ofstream(victim) << "private";
    fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
    const bool caught = StartAndCatchTheCopy();
    if (m_child > 0) ::kill(m_child, caught ? SIGSTOP : SIGKILL);
    const std::string name = TemporaryName();
    if (caught && !name.empty()) {
        fs::rename(m_outputs / name, m_dir / "moved");
        fs::create_symlink(victim, m_outputs / name);
    }
    ::kill(m_child, SIGCONT);
    const int status = Wait();
    ASSERT_TRUE(caught) << "pack created no file in a minute";
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_EQ(fs::status(victim).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadText(victim), "private");
    EXPECT_EQ(ReadText(m_outputs / "packed"), "the previous build");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(m_outputs / name)));
}

}  // namespace
}  // namespace tamblor::test
