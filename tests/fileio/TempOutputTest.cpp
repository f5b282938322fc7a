// The writer every program writes its files with: what it never opens, follows or removes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fileio/TempOutput.h"

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class CScratch {
  public:
    CScratch() {
        std::string pattern = (fs::temp_directory_path() / "tamblor-fileio-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        m_path = pattern;
    }
    ~CScratch() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    fs::path operator/(const std::string& name) const { return m_path / name; }
    const fs::path& Path() const { return m_path; }

  private:
    fs::path m_path;
};

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every entry of a folder with what it is and, for a file or a link, its contents or target.
std::map<std::string, std::string> Listing(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto status = entry.symlink_status();
        std::string what = "other";
        if (fs::is_symlink(status)) {
            what = "link to " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_regular_file(status)) {
            what = "file " + ReadText(entry.path());
        } else if (fs::is_directory(status)) {
            what = "folder";
        } else if (fs::is_fifo(status)) {
            what = "fifo";
        }
        entries[entry.path().filename().string()] = what;
    }
    return entries;
}

unsigned ModeOf(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return ~0u;
    return info.st_mode & 07777;
}

const Bytes kContents = {'n', 'e', 'w'};

// Tags drawn in turn from a fixed list, so a test knows every name the writer can choose.
TempTagSource Cycle(std::vector<std::uint32_t> tags) {
    return [tags, next = std::size_t{0}]() mutable { return tags[next++ % tags.size()]; };
}

std::string NameOf(std::uint32_t tag) {
    char name[32];
    std::snprintf(name, sizeof name, ".tamblor-%08x.tmp", static_cast<unsigned>(tag));
    return name;
}

const std::vector<std::uint32_t> kTags = {0x11111111, 0x22222222, 0xdeadbeef};

struct Plant {
    const char* what;
    std::function<void(const fs::path& at, const fs::path& victim)> make;
};

const std::vector<Plant>& Plants() {
    static const std::vector<Plant> plants = {
        {"a link to a file",
         [](const fs::path& at, const fs::path& victim) { fs::create_symlink(victim, at); }},
        {"a dangling link",
         [](const fs::path& at, const fs::path& victim) {
             fs::create_symlink(victim.string() + ".absent", at);
         }},
        {"a fifo",
         [](const fs::path& at, const fs::path&) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"a folder", [](const fs::path& at, const fs::path&) { fs::create_directory(at); }},
        {"a file", [](const fs::path& at, const fs::path&) { WriteText(at, "theirs"); }},
    };
    return plants;
}

// A planted name is never opened, followed or removed: with every name taken the writer gives
// up and says so; with one left it takes that one; either way every plant stays as it was.
TEST(TempOutput, PlantedNamesAreNeverFollowed) {
    for (const Plant& plant : Plants()) {
        for (const bool oneLeft : {false, true}) {
            SCOPED_TRACE(std::string(plant.what) + (oneLeft ? ", one name left" : ", all taken"));
            const CScratch dir;
            const fs::path victim = dir / "victim";
            WriteText(victim, "secret");
            fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
            const std::size_t planted = oneLeft ? kTags.size() - 1 : kTags.size();
            for (std::size_t i = 0; i < planted; ++i) plant.make(dir / NameOf(kTags[i]), victim);
            const auto before = Listing(dir.Path());
            {
                CTempOutput output(dir / "out", Cycle(kTags));
                ASSERT_EQ(output.IsOpen(), oneLeft) << output.Failure();
                if (oneLeft) {
                    EXPECT_EQ(output.Path().filename(), NameOf(kTags.back()));
                    ASSERT_TRUE(output.Write(kContents));
                    ASSERT_TRUE(output.SyncAndClose());
                    ASSERT_TRUE(output.Commit()) << output.Failure();
                } else {
                    EXPECT_EQ(output.Failure(),
                              "cannot create a file in " + dir.Path().string() + ": File exists");
                }
            }
            auto after = Listing(dir.Path());
            if (oneLeft) {
                EXPECT_EQ(after["out"], "file new");
            }
            after.erase("out");
            EXPECT_EQ(after, before);
            EXPECT_EQ(ModeOf(victim), 0600u);
        }
    }
}

// The temporary name does not grow with the target's: a name at the folder's limit is written.
TEST(TempOutput, TargetNameOfTheFullLengthIsWritten) {
    const CScratch dir;
    const std::string name(255, 'n');
    CTempOutput output(dir / name);
    ASSERT_TRUE(output.IsOpen()) << output.Failure();
    ASSERT_TRUE(output.Write(kContents));
    ASSERT_TRUE(output.SyncAndClose());
    ASSERT_TRUE(output.Commit()) << output.Failure();
    EXPECT_EQ((Listing(dir.Path())), (std::map<std::string, std::string>{{name, "file new"}}));
}

// The file is its owner's alone while written, and takes the asked bits whatever the umask.
TEST(TempOutput, ModeIsSetOnTheOpenFile) {
    const CScratch dir;
    const mode_t previous = ::umask(077);
    CTempOutput output(dir / "out");
    ::umask(previous);
    ASSERT_TRUE(output.IsOpen()) << output.Failure();
    EXPECT_EQ(ModeOf(output.Path()), 0600u);
    ASSERT_TRUE(output.SetMode(0751));
    ASSERT_TRUE(output.SyncAndClose());
    ASSERT_TRUE(output.Commit());
    EXPECT_EQ(ModeOf(dir / "out"), 0751u);
}

TEST(TempOutput, UsualModeIsTheUmasksCreationMode) {
    const mode_t previous = ::umask(027);
    const unsigned mode = CTempOutput::UsualMode();
    ::umask(previous);
    EXPECT_EQ(mode, 0640u);
}

// Someone who swaps the temporary name for a link (or anything) before the rename gets neither
// the target renamed over nor their link removed, and the refusal says why.
TEST(TempOutput, NameSwappedBeforeTheRenameIsRefusedAndKept) {
    const CScratch dir;
    const fs::path victim = dir / "victim";
    WriteText(victim, "secret");
    WriteText(dir / "out", "old");
    fs::path temporary;
    {
        CTempOutput output(dir / "out");
        ASSERT_TRUE(output.Write(kContents));
        ASSERT_TRUE(output.SyncAndClose());
        temporary = output.Path();
        fs::rename(temporary, dir / "moved");
        fs::create_symlink(victim, temporary);
        EXPECT_FALSE(output.IsStillOurs());
        EXPECT_FALSE(output.Commit());
        EXPECT_NE(output.Failure().find("is no longer the file written here"), std::string::npos)
            << output.Failure();
    }
    EXPECT_EQ(ReadText(dir / "out"), "old");
    EXPECT_EQ(ReadText(victim), "secret");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(temporary)));
}

// A target that is not a plain file (a link, a FIFO, a device such as /dev/null, a folder) is
// left as it stands: renaming over it would replace a link or a special file that a root-run
// program was only meant to write to.
TEST(TempOutput, TargetThatIsNoPlainFileIsNotReplaced) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> targets = {
        {"a link to a file",
         [](const fs::path& at) {
             WriteText(at.string() + ".real", "kept");
             fs::create_symlink(at.string() + ".real", at);
         }},
        {"a dangling link", [](const fs::path& at) { fs::create_symlink("absent", at); }},
        {"a FIFO", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"a folder", [](const fs::path& at) { fs::create_directory(at); }},
    };
    for (const auto& [what, plant] : targets) {
        SCOPED_TRACE(what);
        const CScratch dir;
        plant(dir / "out");
        const auto before = Listing(dir.Path());
        {
            CTempOutput output(dir / "out");
            ASSERT_TRUE(output.Write(kContents));
            ASSERT_TRUE(output.SyncAndClose());
            EXPECT_FALSE(output.Commit());
            EXPECT_NE(output.Failure().find("is not a regular file"), std::string::npos)
                << output.Failure();
        }
        EXPECT_EQ(Listing(dir.Path()), before);
    }
}

// Whatever step fails or is never reached, the folder is left as it was found.
TEST(TempOutput, EveryUnfinishedWriteLeavesNothing) {
    const std::vector<std::pair<const char*, std::function<void(CTempOutput&)>>> stops = {
        {"right after creation", [](CTempOutput&) {}},
        {"after a write", [](CTempOutput& out) { out.Write(kContents); }},
        {"after the sync",
         [](CTempOutput& out) {
             out.Write(kContents);
             out.SyncAndClose();
         }},
    };
    for (const auto& [when, step] : stops) {
        SCOPED_TRACE(when);
        const CScratch dir;
        WriteText(dir / "out", "old");
        const auto before = Listing(dir.Path());
        {
            CTempOutput output(dir / "out");
            ASSERT_TRUE(output.IsOpen());
            step(output);
        }
        EXPECT_EQ(Listing(dir.Path()), before);
    }
    const CScratch dir;
    CTempOutput output(dir / "absent" / "out");
    EXPECT_FALSE(output.IsOpen());
    EXPECT_EQ(output.Failure(), "cannot create a file in " + (dir / "absent").string() +
                                    ": No such file or directory");
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// A signal that ends the process removes the file being written, and still ends the process
// with that signal; a name that is no longer ours survives it.
TEST(TempOutput, FatalSignalRemovesOnlyOurFile) {
    // Power failure, the stack fault and the real-time signals end a process by default too.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGPIPE, SIGPWR, SIGSTKFLT,
                             SIGRTMIN, SIGRTMIN + 1, SIGRTMAX}) {
        for (const bool swapped : {false, true}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + (swapped ? ", name swapped" : ""));
            const CScratch dir;
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const rlimit noCore{0, 0};
                ::setrlimit(RLIMIT_CORE, &noCore);
                CTempOutput output(dir / "out");
                output.Write(kContents);
                if (swapped) {
                    ::rename(output.Path().c_str(), (dir / "moved").c_str());
                    WriteText(output.Path(), "theirs");
                }
                ::raise(signal);
                ::_exit(99);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), signal);
            const auto left = Listing(dir.Path());
            EXPECT_EQ(left.size(), swapped ? 2u : 0u);
            if (swapped) {
                EXPECT_EQ(left.count("moved"), 1u);
            }
        }
    }
}

}  // namespace
}  // namespace tamblor::test
