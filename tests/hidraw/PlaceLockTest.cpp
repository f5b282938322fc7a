// The claim's lock file in a folder every user shares: whatever another user planted at its
// name, the tool neither follows it nor waits on it, and a place that is free again is noticed
// without polling.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ClaimWatch.h"
#include "HidrawDiscovery.h"
#include "PlaceLock.h"

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;

class PlaceLockTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tamblor-lock-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        folder = root / "lock";
        fs::create_directory(folder);
        ASSERT_EQ(::chmod(folder.c_str(), 01777), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path LockFile(const std::string& place) const { return folder / ClaimFileName(place); }

    fs::path root;
    fs::path folder;
};

bool Readable(int fd) {
    pollfd watched{fd, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0;
}

TEST_F(PlaceLockTest, OneHolderPerPlaceUntilItLetsGo) {
    const mode_t previous = ::umask(077);
    PlaceLock first = LockPlace(folder, "3-1.4");
    ::umask(previous);
    ASSERT_EQ(first.outcome, ClaimOutcome::Granted) << first.detail;
    // Every user's copy must be able to open it, whatever the creator's umask.
    EXPECT_EQ(fs::status(LockFile("3-1.4")).permissions(), fs::perms(0666));

    EXPECT_EQ(LockPlace(folder, "3-1.4").outcome, ClaimOutcome::HeldElsewhere);
    EXPECT_EQ(LockPlace(folder, "3-1.5").outcome, ClaimOutcome::Granted) << "another port";

    first.file.Reset();
    EXPECT_EQ(LockPlace(folder, "3-1.4").outcome, ClaimOutcome::Granted);
}

TEST_F(PlaceLockTest, AFileAnotherCopyMadeIsOpenedNotReplaced) {
    { std::ofstream(LockFile("3-2")) << ""; }
    ASSERT_EQ(::chmod(LockFile("3-2").c_str(), 0666), 0);
    struct stat before {};
    ASSERT_EQ(::stat(LockFile("3-2").c_str(), &before), 0);
    ASSERT_EQ(LockPlace(folder, "3-2").outcome, ClaimOutcome::Granted);
    struct stat after {};
    ASSERT_EQ(::stat(LockFile("3-2").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

// What another user may plant at the lock's name in a folder everyone writes to.
struct PlantedCase {
    const char* name;
    void (*plant)(const fs::path& at, const fs::path& elsewhere);
};

class Planted : public PlaceLockTest, public testing::WithParamInterface<PlantedCase> {};

TEST_P(Planted, IsNeitherFollowedNorWaitedOn) {
    const fs::path elsewhere = root / "victim";
    { std::ofstream(elsewhere) << "not a lock"; }
    GetParam().plant(LockFile("3-1"), elsewhere);
    const auto before = fs::last_write_time(elsewhere);

    // A FIFO would block an open for reading or writing; a test that hangs here fails by the
    // runner's timeout.
    const PlaceLock lock = LockPlace(folder, "3-1");
    EXPECT_EQ(lock.outcome, ClaimOutcome::Unavailable);
    EXPECT_FALSE(lock.file.IsValid());
    EXPECT_NE(lock.detail.find(LockFile("3-1").string()), std::string::npos) << lock.detail;
    EXPECT_EQ(fs::file_size(elsewhere), 10u);
    EXPECT_EQ(fs::last_write_time(elsewhere), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Planted,
    testing::Values(
        PlantedCase{"SymbolicLink",
                    [](const fs::path& at, const fs::path& to) { fs::create_symlink(to, at); }},
        PlantedCase{"DanglingLink",
                    [](const fs::path& at, const fs::path& to) {
                        fs::create_symlink(to.string() + "-missing", at);
                    }},
        PlantedCase{"HardLink",
                    [](const fs::path& at, const fs::path& to) { fs::create_hard_link(to, at); }},
        PlantedCase{"Fifo", [](const fs::path& at,
                               const fs::path&) { ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0); }},
        PlantedCase{"Folder",
                    [](const fs::path& at, const fs::path&) { fs::create_directory(at); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlaceLockTest, DanglingLinkCreatesNothingWhereItPoints) {
    const fs::path target = root / "created-through-link";
    fs::create_symlink(target, LockFile("3-1"));
    EXPECT_EQ(LockPlace(folder, "3-1").outcome, ClaimOutcome::Unavailable);
    EXPECT_FALSE(fs::exists(target));
}

// Without a folder that every user's copy honours, there is no claim to take; the tool goes on
// with the node's own lock, and says why.
struct FolderCase {
    const char* name;
    void (*prepare)(const fs::path& folder, const fs::path& root);
    const char* detail;
};

class UnsharedFolder : public PlaceLockTest, public testing::WithParamInterface<FolderCase> {};

TEST_P(UnsharedFolder, GivesNoClaim) {
    GetParam().prepare(folder, root);
    const PlaceLock lock = LockPlace(folder, "3-1");
    EXPECT_EQ(lock.outcome, ClaimOutcome::Unavailable);
    EXPECT_NE(lock.detail.find(GetParam().detail), std::string::npos) << lock.detail;
    EXPECT_FALSE(fs::exists(folder / ClaimFileName("3-1")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnsharedFolder,
    testing::Values(FolderCase{"Missing", [](const fs::path& f, const fs::path&) { fs::remove(f); },
                               "No such file"},
                    FolderCase{"NotSticky",
                               [](const fs::path& f, const fs::path&) { ::chmod(f.c_str(), 0777); },
                               "not a sticky folder"},
                    FolderCase{
                        "NotWritableByAll",
                        [](const fs::path& f, const fs::path&) { ::chmod(f.c_str(), 01755); },
                        "not a sticky folder"},
                    FolderCase{"ALink",
                               [](const fs::path& f, const fs::path& root) {
                                   fs::remove(f);
                                   fs::create_directory(root / "real");
                                   ::chmod((root / "real").c_str(), 01777);
                                   fs::create_directory_symlink(root / "real", f);
                               },
                               "Not a directory"},
                    FolderCase{"AFile",
                               [](const fs::path& f, const fs::path&) {
                                   fs::remove(f);
                                   std::ofstream(f) << "";
                               },
                               "Not a directory"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlaceLockTest, PlacesThatCannotNameAFileAreNotClaimed) {
    const std::vector<std::string> places = {
        "", "../3-1", "3/1", ".hidden", "3-1\n", std::string(65, '1'), std::string("3\0-1", 4)};
    for (const std::string& place : places) {
        const PlaceLock lock = LockPlace(folder, place);
        EXPECT_EQ(lock.outcome, ClaimOutcome::Unavailable) << testing::PrintToString(place);
        EXPECT_TRUE(ClaimFileName(place).empty()) << testing::PrintToString(place);
    }
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(ClaimFileName("3-1.4"), "tamblor-dock-3-1.4.lock");
}

TEST(PlaceOf, TakesOnlyAPortChain) {
    struct Case {
        const char* busnum;
        const char* devpath;
        std::string place;
    };
    for (const Case& c :
         {Case{"3", "1.4", "3-1.4"}, Case{"3\n", "1.4\n", "3-1.4"}, Case{"12", "2", "12-2"},
          Case{nullptr, "1", ""}, Case{"3", nullptr, ""}, Case{"3", "", ""}, Case{"3", "1..4", ""},
          Case{"3", ".1", ""}, Case{"3", "1.", ""}, Case{"3.1", "1", ""}, Case{"3", "../1", ""},
          Case{"3", "1/4", ""}, Case{"x", "1", ""}}) {
        EXPECT_EQ(PlaceOf(c.busnum, c.devpath), c.place)
            << (c.busnum ? c.busnum : "null") << " " << (c.devpath ? c.devpath : "null");
    }
}

// A refused copy waits for the holder to close its lock file; its own attempts meanwhile wake
// it once each and free nothing, so it never spins.
TEST_F(PlaceLockTest, TheWatchTellsOnlyWhenThePlaceIsFree) {
    CClaimWatch watch;
    ASSERT_GE(watch.Descriptor(), 0);
    PlaceLock holder = LockPlace(folder, "3-1");
    ASSERT_EQ(holder.outcome, ClaimOutcome::Granted);

    for (int attempt = 0; attempt < 3; ++attempt) {
        PlaceLock refused = LockPlace(folder, "3-1");
        ASSERT_EQ(refused.outcome, ClaimOutcome::HeldElsewhere);
        watch.Wait("3-1", std::move(refused.file));
        EXPECT_EQ(watch.Pump(), std::vector<std::string>{});
        EXPECT_FALSE(Readable(watch.Descriptor())) << "attempt " << attempt;
    }

    holder.file.Reset();
    EXPECT_TRUE(Readable(watch.Descriptor()));
    EXPECT_EQ(watch.Pump(), std::vector<std::string>{"3-1"});
    // Told once: the place is no longer watched (letting go of the watch is a last notice).
    PlaceLock again = LockPlace(folder, "3-1");
    EXPECT_EQ(again.outcome, ClaimOutcome::Granted);
    again.file.Reset();
    EXPECT_EQ(watch.Pump(), std::vector<std::string>{});
    EXPECT_FALSE(Readable(watch.Descriptor()));
}

// The holder may let go between a copy's refused attempt and the start of its watch: no close
// comes after that, so the watch itself must look once, or the copy waits for nothing.
TEST_F(PlaceLockTest, APlaceFreedBeforeTheWatchStartsIsStillTold) {
    CClaimWatch watch;
    ASSERT_GE(watch.Descriptor(), 0);
    PlaceLock holder = LockPlace(folder, "3-1");
    ASSERT_EQ(holder.outcome, ClaimOutcome::Granted);
    PlaceLock refused = LockPlace(folder, "3-1");
    ASSERT_EQ(refused.outcome, ClaimOutcome::HeldElsewhere);

    holder.file.Reset();
    watch.Wait("3-1", std::move(refused.file));
    EXPECT_TRUE(Readable(watch.Descriptor()));
    EXPECT_EQ(watch.Pump(), std::vector<std::string>{"3-1"});
}

}  // namespace
}  // namespace tamblor::test
