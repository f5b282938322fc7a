// tamblor-dock's JSON report, which it writes as root into a folder others may write to.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dockgadget/ReportFile.h"

namespace tamblor {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string NameOf(std::uint32_t tag) {
    char name[32];
    std::snprintf(name, sizeof name, ".tamblor-%08x.tmp", static_cast<unsigned>(tag));
    return name;
}

// Checked before the run: a report that could not be written at its end is refused at once.
TEST(ReportFile, TargetThatCannotTakeTheReportIsToldBeforeTheRun) {
    char pattern[] = "/tmp/tamblor-report-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::ofstream(dir / "plain") << "old";
    fs::create_symlink(dir / "plain", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    const struct {
        fs::path path;
        const char* problem;  // empty: nothing in the way
    } cases[] = {
        {dir / "new.json", ""},
        {dir / "plain", ""},
        {dir / "link", "is not a regular file"},
        {"/dev/null", "is not a regular file"},
        {dir / "fifo", "is not a regular file"},
        {dir / "folder", "is not a regular file"},
        {dir / "absent" / "r.json", "is not a folder"},
        {dir / "plain" / "r.json", "is not a folder"},
    };
    for (const auto& c : cases) {
        const std::string problem = ReportTargetProblem(c.path);
        if (*c.problem == '\0') {
            EXPECT_EQ(problem, "") << c.path;
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.path << ": " << problem;
        }
    }
    fs::remove_all(dir);
}

// Links planted at every name the report could be written under are never followed: with one
// name left the report goes there and then into place; with none it is refused in one line.
// The private file they point to keeps its bytes and bits either way.
TEST(ReportFile, PlantedLinksAreNeverFollowed) {
    const std::vector<std::uint32_t> tags = {1, 2, 3, 4};
    for (const bool oneLeft : {false, true}) {
        SCOPED_TRACE(oneLeft ? "one name left" : "every name taken");
        std::string pattern = (fs::temp_directory_path() / "tamblor-report-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        const fs::path dir = pattern;
        const fs::path victim = dir / "shadow";
        std::ofstream(victim) << "root:secret";
        fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
        for (std::size_t i = 0; i < tags.size() - (oneLeft ? 1 : 0); ++i) {
            fs::create_symlink(victim, dir / NameOf(tags[i]));
        }
        std::string error;
        const bool written = WriteReportFile(
            dir / "report.json", "{\"end\":\"stopped\"}", error,
            [tags, next = std::size_t{0}]() mutable { return tags[next++ % tags.size()]; });
        EXPECT_EQ(written, oneLeft) << error;
        if (oneLeft) {
            EXPECT_EQ(ReadText(dir / "report.json"), "{\"end\":\"stopped\"}\n");
            struct stat info {};
            ASSERT_EQ(::lstat((dir / "report.json").c_str(), &info), 0);
            const mode_t mask = ::umask(0);
            ::umask(mask);
            EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
        } else {
            EXPECT_EQ(error, "cannot create a file in " + dir.string() + ": File exists");
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "report.json")));
        }
        EXPECT_EQ(ReadText(victim), "root:secret");
        EXPECT_EQ(fs::status(victim).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        for (std::size_t i = 0; i < tags.size() - (oneLeft ? 1 : 0); ++i) {
            EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / NameOf(tags[i]))));
        }
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace tamblor
