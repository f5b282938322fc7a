// tamblor-cli pack stopped in the middle of copying its carrier: the folder is found as it was.

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

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class PackStop : public testing::TestWithParam<int> {
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

    fs::path m_dir;
    fs::path m_inputs;
    fs::path m_outputs;
};

TEST_P(PackStop, LeavesTheFolderAsItWas) {
    const int signal = GetParam();
    const auto before = Names(m_outputs);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, m_outputs.c_str(), IN_CREATE), 0);

    std::vector<std::string> args = Args();
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The child starts with the default actions whatever this test program set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    ASSERT_EQ(spawned, 0) << std::strerror(spawned);

    // The temporary file's creation is the moment to stop it: the copy has just begun.
    pollfd ready{watch, POLLIN, 0};
    const int polled = ::poll(&ready, 1, 60'000);
    ::kill(child, polled == 1 ? signal : SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(watch);
    ASSERT_EQ(polled, 1) << "pack created no file in a minute";
    ASSERT_TRUE(WIFSIGNALED(status))
        << "pack ended with status " << status << " before the signal came";
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(Names(m_outputs), before);
    std::ifstream previous(m_outputs / "packed");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(previous), {}), "the previous build");
}

INSTANTIATE_TEST_SUITE_P(Signals, PackStop, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

}  // namespace
}  // namespace tamblor::test
