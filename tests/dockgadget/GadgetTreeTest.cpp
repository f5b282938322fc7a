// A gadget left in configfs by a killed tamblor-dock: found, named with the command that removes
// it, and removed only when tamblor-dock made it and no running one holds it. The tree is a fake
// configfs in a temporary folder that keeps the rules the kernel's keeps.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dockgadget/GadgetDescriptor.h"
#include "dockgadget/GadgetTree.h"
#include "hid/linux/UniqueFd.h"

namespace tamblor {
namespace {

namespace fs = std::filesystem;

// configfs's rules for what tamblor-dock removes: a directory goes with its attributes and the
// groups the kernel made in it, but not while it holds a directory or a link someone made, nor
// (the gadget) while bound to a controller, nor (a function) while a configuration links it.
// The groups the kernel makes cannot be removed at all.
class CFakeConfigfs : public CConfigfsCalls {
  public:
    int RemoveDirectory(const fs::path& path) override {
        const std::string name = path.filename().string();
        if (IsKernelGroup(path)) return EPERM;
        if (!fs::is_directory(fs::symlink_status(path))) return ENOENT;
        for (const auto& entry : fs::directory_iterator(path)) {
            const auto status = entry.symlink_status();
            if (fs::is_symlink(status)) return ENOTEMPTY;
            if (fs::is_directory(status) && !IsKernelGroup(entry.path())) return ENOTEMPTY;
        }
        if (path.parent_path() == gadgets) {
            std::ifstream udc(path / "UDC");
            std::string bound;
            std::getline(udc, bound);
            if (!bound.empty()) return EBUSY;
        }
        if (path.parent_path().filename() == "functions" && IsLinked(path)) return EBUSY;
        fs::remove_all(path);
        removed.push_back(fs::relative(path, gadgets).string());
        return 0;
    }

    int RemoveLink(const fs::path& path) override {
        const int error = CConfigfsCalls::RemoveLink(path);
        if (error == 0) removed.push_back(fs::relative(path, gadgets).string());
        return error;
    }

    fs::path gadgets;
    std::vector<std::string> removed;

  private:
    bool IsKernelGroup(const fs::path& path) const {
        static const std::set<std::string> inGadget = {"configs", "functions", "strings",
                                                       "os_desc"};
        const fs::path parent = path.parent_path();
        if (parent.parent_path() == gadgets) return inGadget.count(path.filename().string()) != 0;
        return parent.parent_path().filename() == "configs" && path.filename() == "strings";
    }

    bool IsLinked(const fs::path& function) const {
        for (const auto& config :
             fs::directory_iterator(function.parent_path().parent_path() / "configs")) {
            for (const auto& entry : fs::directory_iterator(config.path())) {
                if (fs::is_symlink(entry.symlink_status()) &&
                    fs::read_symlink(entry.path()) == function) {
                    return true;
                }
            }
        }
        return false;
    }
};

class GadgetTree : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tamblor-configfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_paths.configfs = m_dir;
        m_paths.gadgets = m_dir / "usb_gadget";
        m_paths.udcClass = m_dir / "udc";
        fs::create_directories(m_paths.gadgets);
        fs::create_directories(m_paths.udcClass / "dummy_udc.0");
        m_calls.gadgets = m_paths.gadgets;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static void Write(const fs::path& path, const std::string& text) {
        std::ofstream(path) << text << '\n';
    }

    // A gadget as tamblor-dock makes it, bound to the controller, with the kernel's groups.
    void MakeOurGadget() {
        const GadgetLayout layout(m_paths);
        for (const char* group : {"configs", "functions", "strings", "os_desc"}) {
            fs::create_directories(layout.root / group);
        }
        for (const auto& path : {layout.strings, layout.configStrings, layout.function}) {
            fs::create_directories(path);
        }
        Write(layout.root / "idVendor", "0x10c4");
        Write(layout.root / "UDC", "dummy_udc.0");
        Write(layout.strings / "manufacturer", kGadgetManufacturer);
        Write(layout.strings / "product", kGadgetProduct);
        Write(layout.strings / "serialnumber", kGadgetSerial);
        Write(layout.configStrings / "configuration", "HID");
        Write(layout.config / "MaxPower", "100");
        Write(layout.function / "report_length", std::to_string(kGadgetEndpointPacketSize));
        fs::create_symlink(layout.function, layout.link);
    }

    // Every path under the gadgets' folder.
    std::set<std::string> Tree() const {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(m_paths.gadgets)) {
            paths.insert(fs::relative(entry.path(), m_paths.gadgets).string());
        }
        return paths;
    }

    fs::path m_dir;
    ConfigfsPaths m_paths;
    CFakeConfigfs m_calls;
};

TEST_F(GadgetTree, LeftoverOfOursIsNamedWithItsRemedyAndRemovedInOrder) {
    MakeOurGadget();
    const GadgetCheck check = CheckGadget(m_calls, m_paths);
    EXPECT_EQ(check.found, GadgetFound::Ours);
    EXPECT_EQ(ExistingGadgetText(check, m_paths),
              "a gadget named tamblor-dock in " + m_paths.gadgets.string() +
                  " was left by a tamblor-dock that was killed; remove it with: "
                  "tamblor-dock --remove");
    std::string text;
    ASSERT_TRUE(RemoveLeftoverGadget(m_calls, m_paths, text)) << text;
    EXPECT_EQ(text, "removed the gadget tamblor-dock that a killed tamblor-dock left in " +
                        m_paths.gadgets.string());
    EXPECT_EQ(m_calls.removed,
              (std::vector<std::string>{
                  "tamblor-dock/configs/c.1/hid.usb0", "tamblor-dock/functions/hid.usb0",
                  "tamblor-dock/configs/c.1/strings/0x409", "tamblor-dock/configs/c.1",
                  "tamblor-dock/strings/0x409", "tamblor-dock"}));
    EXPECT_TRUE(Tree().empty());
    EXPECT_TRUE(RemoveLeftoverGadget(m_calls, m_paths, text));
    EXPECT_EQ(text, "no gadget named tamblor-dock in " + m_paths.gadgets.string() +
                        ": nothing to remove");
}

// Each controller named with --udc has a gadget of its own: the leftover on one is named with
// the command for that controller and removed without touching the default one's.
TEST_F(GadgetTree, EachNamedControllerHasItsOwnGadget) {
    MakeOurGadget();
    ConfigfsPaths second = m_paths;
    second.udc = "dummy_udc.1";
    EXPECT_EQ(CheckGadget(m_calls, second).found, GadgetFound::None);
    std::swap(m_paths, second);
    MakeOurGadget();
    std::swap(m_paths, second);
    const GadgetCheck check = CheckGadget(m_calls, second);
    EXPECT_EQ(check.found, GadgetFound::Ours);
    EXPECT_EQ(ExistingGadgetText(check, second),
              "a gadget named tamblor-dock-dummy_udc.1 in " + m_paths.gadgets.string() +
                  " was left by a tamblor-dock that was killed; remove it with: "
                  "tamblor-dock --remove --udc dummy_udc.1");
    std::string text;
    ASSERT_TRUE(RemoveLeftoverGadget(m_calls, second, text)) << text;
    EXPECT_EQ(m_calls.removed.back(), "tamblor-dock-dummy_udc.1");
    EXPECT_EQ(CheckGadget(m_calls, second).found, GadgetFound::None);
    EXPECT_EQ(CheckGadget(m_calls, m_paths).found, GadgetFound::Ours);
}

// A run killed before its set-up was complete left only the first of its parts.
TEST_F(GadgetTree, HalfMadeLeftoverIsRemoved) {
    MakeOurGadget();
    const GadgetLayout layout(m_paths);
    fs::remove(layout.link);
    fs::remove_all(layout.function);
    fs::remove_all(layout.config);
    Write(layout.root / "UDC", "");
    std::string text;
    ASSERT_TRUE(RemoveLeftoverGadget(m_calls, m_paths, text)) << text;
    EXPECT_TRUE(Tree().empty());
}

// Anything that is not plainly a leftover of ours is refused in one line and left untouched.
TEST_F(GadgetTree, ForeignOrLiveGadgetIsLeftAlone) {
    const GadgetLayout layout(m_paths);
    struct Row {
        const char* what;
        std::function<void()> change;
        GadgetFound found;
        std::string says;
    };
    CUniqueFd lock;
    const std::vector<Row> rows = {
        {"another maker's strings", [&] { Write(layout.strings / "manufacturer", "Someone"); },
         GadgetFound::Foreign, "its manufacturer is not \"Tamblor\""},
        {"no strings at all", [&] { fs::remove_all(layout.strings); }, GadgetFound::Foreign,
         "its manufacturer is not \"Tamblor\""},
        {"a function of another kind",
         [&] { fs::create_directory(layout.root / "functions" / "mass_storage.0"); },
         GadgetFound::Foreign, "it has functions/mass_storage.0, which tamblor-dock does not make"},
        {"a second configuration", [&] { fs::create_directory(layout.root / "configs" / "c.2"); },
         GadgetFound::Foreign, "it has configs/c.2"},
        {"another function linked in",
         [&] { fs::create_directory_symlink(layout.function, layout.config / "ecm.usb0"); },
         GadgetFound::Foreign, "it has configs/c.1/ecm.usb0"},
        {"a running tamblor-dock's",
         [&] {
             lock.Reset(::open(layout.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
             ASSERT_EQ(::flock(lock.Get(), LOCK_EX | LOCK_NB), 0);
         },
         GadgetFound::InUse, "belongs to another tamblor-dock, which still runs"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(m_paths.gadgets);
        fs::create_directory(m_paths.gadgets);
        MakeOurGadget();
        row.change();
        const auto before = Tree();
        const GadgetCheck check = CheckGadget(m_calls, m_paths);
        EXPECT_EQ(check.found, row.found);
        std::string text;
        EXPECT_FALSE(RemoveLeftoverGadget(m_calls, m_paths, text));
        EXPECT_NE(text.find(row.says), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(Tree(), before);
        EXPECT_TRUE(m_calls.removed.empty());
        lock.Reset();
    }
}

TEST_F(GadgetTree, ControllerMustBeAnEntryOfTheClass) {
    const std::vector<std::pair<std::string, bool>> names = {
        {"dummy_udc.0", true},
        {"dummy_udc.1", false},
        {".", false},
        {"..", false},
        {"", false},
        {"../udc/dummy_udc.0", false},
        {"dummy_udc.0/", false},
    };
    for (const auto& [name, valid] : names) {
        EXPECT_EQ(IsUdcEntry(m_paths.udcClass, name), valid) << "'" << name << "'";
    }
}

// The endpoints' 128-byte packets are beyond full speed's 64 for interrupt transfers.
TEST_F(GadgetTree, FullSpeedOnlyControllerIsRefusedWithItsSpeed) {
    const std::vector<std::pair<std::string, bool>> speeds = {
        {"full-speed\n", true},   {"low-speed\n", true}, {"high-speed\n", false},
        {"super-speed\n", false}, {"UNKNOWN\n", false},  {"", false},
    };
    for (const auto& [speed, refused] : speeds) {
        Write(m_paths.udcClass / "dummy_udc.0" / "maximum_speed", speed);
        const std::string problem = UdcSpeedProblem(m_paths.udcClass, "dummy_udc.0");
        EXPECT_EQ(!problem.empty(), refused) << speed << problem;
        if (refused) {
            EXPECT_NE(problem.find("dummy_udc.0 is " + speed.substr(0, speed.size() - 1)),
                      std::string::npos)
                << problem;
        }
    }
    fs::remove(m_paths.udcClass / "dummy_udc.0" / "maximum_speed");
    EXPECT_EQ(UdcSpeedProblem(m_paths.udcClass, "dummy_udc.0"), "");
}

// A --remove that probes the new gadget while the dock takes its hold has the lock for an
// instant: the dock must still end up holding it, or a later --remove takes the running gadget.
// Anyone may open the directory and keep the lock; the dock then gives up instead of hanging.
TEST(GadgetHold, IsTakenAfterAMomentaryProbeAndNeverWaitedOnForever) {
    char pattern[] = "/tmp/tamblor-hold-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const auto openDir = [&] { return CUniqueFd(::open(pattern, O_RDONLY | O_DIRECTORY)); };
    {
        CUniqueFd probe = openDir();
        ASSERT_EQ(::flock(probe.Get(), LOCK_EX | LOCK_NB), 0);
        std::thread letGo([&probe] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            probe.Reset();
        });
        const CUniqueFd dock = openDir();
        EXPECT_TRUE(HoldGadgetDirectory(dock.Get()));
        letGo.join();
        const CUniqueFd later = openDir();
        EXPECT_NE(::flock(later.Get(), LOCK_EX | LOCK_NB), 0) << "the dock does not hold it";
    }
    {
        const CUniqueFd squatter = openDir();
        ASSERT_EQ(::flock(squatter.Get(), LOCK_EX | LOCK_NB), 0);
        const CUniqueFd dock = openDir();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(HoldGadgetDirectory(dock.Get()));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
    ::rmdir(pattern);
}

}  // namespace
}  // namespace tamblor
