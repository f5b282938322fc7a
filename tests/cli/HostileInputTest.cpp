// What an attacker, or an unlucky user, can hand the command line: outputs that are inputs,
// directories, links, devices and FIFOs, a full disk, huge or special inputs, numbers out of
// range, control bytes in a package. Every row ends at once with the outcome it names, and no
// file that was there before is changed or removed unless it is the output of a successful
// pack, which then holds exactly the carrier and the package.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "TestPackages.h"
#include "cli/Commands.h"
#include "package/SyntheticImages.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

class HostileInputs : public testing::Test {
  protected:
    void SetUp() override {
        WriteFile(Carrier(), {});
        fs::permissions(Carrier(), fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::others_read);
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            WriteFile(Segment(k), SyntheticSegments()[k]);
        }
    }

    // Windows deletes no read-only file, and a packed output has the carrier's mode.
    void TearDown() override { Entries(); }

    fs::path Carrier() const { return m_dir.File("carrier"); }

    // The directory's entries, each made writable so that it can go.
    std::vector<fs::path> Entries() const {
        std::vector<fs::path> paths;
        for (const auto& entry : fs::directory_iterator(Carrier().parent_path())) {
            std::error_code ignored;
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
            paths.push_back(entry.path());
        }
        return paths;
    }

    // The carrier is kept read-only, as an installed executable may be.
    void ReplaceCarrier(const Bytes& bytes) {
        m_carrierBytes = bytes;
        fs::permissions(Carrier(), fs::perms::owner_write, fs::perm_options::add);
        WriteFile(Carrier(), bytes);
        fs::permissions(Carrier(), fs::perms::owner_write, fs::perm_options::remove);
    }
    fs::path Segment(std::size_t k) const { return m_dir.File(SyntheticImageName(k)); }
    fs::path Out() const { return m_dir.File("packed"); }
    fs::path File(const std::string& name) const { return m_dir.File(name); }

    // pack with the fixture's files; `replace` swaps the value of the options it names.
    Args Pack(const std::map<std::string, std::string>& replace = {}) const {
        Args args = {"pack", "--carrier", Carrier().string(), "--out", Out().string()};
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            args.push_back("--segment" + std::to_string(k));
            args.push_back(Segment(k).string());
        }
        for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
            if (const auto it = replace.find(args[i]); it != replace.end())
                args[i + 1] = it->second;
        }
        return args;
    }

    // Every name in the directory with what it is: a regular file's size, mode and a hash of
    // its bytes (small files only), or its kind.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(Carrier().parent_path())) {
            const auto name = entry.path().filename().string();
            const auto status = fs::symlink_status(entry.path());
            std::string what;
            if (fs::is_regular_file(status)) {
                const auto size = fs::file_size(entry.path());
                what = "file of " + std::to_string(size) + " bytes, mode " +
                       std::to_string(static_cast<unsigned>(status.permissions()));
                if (size < (1u << 24))
                    what += ", hash " + std::to_string(Hash(ReadAll(entry.path())));
            } else {
                what = "kind " + std::to_string(static_cast<int>(status.type()));
            }
            entries[name] = what;
        }
        return entries;
    }

    // FNV-1a: a failure message shows a number, not megabytes.
    static std::uint64_t Hash(const std::string& bytes) {
        std::uint64_t hash = 0xcbf29ce484222325;
        for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
        return hash;
    }

    static std::string ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    static constexpr std::size_t kCarrierSize = 3000;
    CTempDir m_dir;
    Bytes m_carrierBytes;
};

struct Attack {
    std::string name;
    std::function<void()> setup;
    std::function<Args()> args;
    int status;
    std::string said;       // in the one line on stderr; on success, in stdout
    bool packs = false;     // the output is written: carrier then package, the carrier's mode
    bool fullDisk = false;  // runs with writes failing part-way, as on a full disk
};

#ifndef _WIN32
// A full disk, played by a file-size limit: writes past it fail with EFBIG.
class CFullDisk {
  public:
    CFullDisk() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_previousAction);
        ::getrlimit(RLIMIT_FSIZE, &m_previousLimit);
        rlimit small = m_previousLimit;
        small.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~CFullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &m_previousLimit);
        ::sigaction(SIGXFSZ, &m_previousAction, nullptr);
    }

  private:
    struct sigaction m_previousAction {};
    rlimit m_previousLimit{};
};
#endif

TEST_F(HostileInputs, NeverHangCrashOrDamageAFile) {
    const auto pack = [this](std::map<std::string, std::string> replace = {}) {
        return [this, replace] { return Pack(replace); };
    };
    const auto simulate = [](std::vector<std::string> more) {
        return [more] {
            Args args = {"upgrade", "--simulate"};
            args.insert(args.end(), more.begin(), more.end());
            return args;
        };
    };
    const auto nothing = [] {};
    const std::string carrier = Carrier().string();
    const std::string out = Out().string();

    std::vector<Attack> attacks = {
        {"out is the carrier", nothing, pack({{"--out", carrier}}), 2,
         "is the same file as --carrier"},
        {"out is the carrier spelt another way", nothing,
         pack({{"--out", (Carrier().parent_path() / "." / "carrier").string()}}), 2,
         "is the same file as --carrier"},
        {"out is a segment", nothing, pack({{"--out", Segment(2).string()}}), 2,
         "is the same file as --segment2"},
        {"out is an empty directory", [&] { fs::create_directory(Out()); }, pack(), 2,
         "is a directory"},
        {"out in a folder that does not exist", nothing,
         pack({{"--out", File("absent").string() + "/packed"}}), 2, "cannot create a file in"},
        {"out replaces an existing file", [&] { WriteFile(Out(), Bytes(10, 1)); }, pack(), 0,
         "packed", true},
        {"carrier larger than the search window",
         [&] { ReplaceCarrier(Bytes(kSearchWindow + 12345, 0x7E)); }, pack(), 0,
         "after 536633 carrier bytes", true},
        {"carrier is a directory", nothing, pack({{"--carrier", File(".").string()}}), 2,
         "cannot read carrier"},
        {"segment 4 is a directory", nothing, pack({{"--segment4", File(".").string()}}), 2,
         "cannot read segment 4 from"},
        {"package is a directory", nothing,
         [&] {
             return Args{"info", "--package", File(".").string()};
         },
         2, "ISP error 59! (cannot open it: a directory, not a file)"},
        {"latency near 9.2e15", nothing, simulate({"--latency-us", "9200000000000000"}), 2,
         "--latency-us takes a whole number"},
        {"latency -1", nothing, simulate({"--latency-us", "-1"}), 2, "--latency-us takes"},
        {"latency 1e3", nothing, simulate({"--latency-us", "1e3"}), 2, "--latency-us takes"},
        {"latency with a blank", nothing, simulate({"--latency-us", " 5"}), 2,
         "--latency-us takes"},
        {"latency empty", nothing, simulate({"--latency-us="}), 2, "--latency-us needs a value"},
        {"latency over a second", nothing, simulate({"--latency-us", "1000001"}), 2,
         "from 0 to 1000000"},
        {"fault count past 32 bits", nothing, simulate({"--fault", "chip1-erase-busy=4294967296"}),
         2, "chip1-erase-busy=N with N from 0 to 4294967295"},
        {"fault hex past 16 bits", nothing, simulate({"--fault", "other-pid=10000"}), 2,
         "16-bit hexadecimal"},
        {"segment 0 given twice, the second naming Chip 1's image", nothing,
         [&] {
             Args args = Pack();
             args.insert(args.end(), {"--segment0", Segment(4).string()});
             return args;
         },
         2, "--segment0 is given more than once"},
        {"control bytes in an unexpected argument", nothing,
         [] {
             return Args{"info", "x\n\x1b[2J"};
         },
         2, "unexpected argument 'x\\x0A\\x1B[2J'"},
        {"control bytes in the command", nothing, [] { return Args{"in\nfo"}; }, 2,
         "unknown command 'in\\x0Afo'"},
        {"control bytes in the package's fields",
         [&] {
             RecordFields fields;
             fields.date = "\x1b[2J\x1b]0;\x07\\";
             fields.selector = "\x9b";
             WriteFile(Out(), RawPackage(SyntheticSegments(), fields));
         },
         [&] {
             return Args{"info", "--package", out};
         },
         0,
         "Code Ver:V103  \\x1B[2J\\x1B]0;\\x07\\\\\nVendor ID: 0x10C4\nProduct ID: 0xF505\n"
         "Start selector: \\x9B\n"},
    };
#ifndef _WIN32
    const auto fifo = [](const fs::path& path) { return [path] { ::mkfifo(path.c_str(), 0600); }; };
    const std::vector<Attack> posixOnly = {
        // Windows refuses to rename over a read-only file; here it is replaced like any other.
        {"out replaces a read-only file",
         [&] {
             WriteFile(Out(), Bytes(10, 1));
             fs::permissions(Out(), fs::perms::owner_read);
         },
         pack(), 0, "packed", true},
        {"out's disk is full", [&] { WriteFile(Out(), Bytes(100, 0x55)); }, pack(), 2,
         "cannot write", false, true},
        {"out is a hard link to the carrier",
         [&] { fs::create_hard_link(Carrier(), File("link")); },
         pack({{"--out", File("link").string()}}), 2, "is the same file as --carrier"},
        {"out is a symbolic link", [&] { fs::create_symlink(File("elsewhere"), Out()); }, pack(), 2,
         "is a symbolic link"},
        {"out is a FIFO", fifo(Out()), pack(), 2, "exists and is not a regular file"},
        {"out is a device whose writes fail", nothing, pack({{"--out", "/dev/full"}}), 2,
         "--out /dev/full exists and is not a regular file"},
        {"carrier is a FIFO", fifo(File("fifo")), pack({{"--carrier", File("fifo").string()}}), 2,
         "cannot read carrier " + File("fifo").string() + ": not a regular file"},
        {"segment 3 is a FIFO", fifo(File("fifo")), pack({{"--segment3", File("fifo").string()}}),
         2, "cannot read segment 3 from " + File("fifo").string() + ": not a regular file"},
        {"segment 1 is a device", nothing, pack({{"--segment1", "/dev/zero"}}), 2,
         "cannot read segment 1 from /dev/zero: not a regular file"},
        {"segment 1 is a 1 TiB sparse file",
         [&] {
             WriteFile(File("huge"), {});
             fs::resize_file(File("huge"), std::uint64_t{1} << 40);
         },
         pack({{"--segment1", File("huge").string()}}), 2, "is 1099511627776 bytes"},
        {"package of info is a FIFO", fifo(File("fifo")),
         [&] {
             return Args{"info", "--package", File("fifo").string()};
         },
         2, "ISP error 59! (cannot open it: not a regular file)"},
        {"package of upgrade is a FIFO", fifo(File("fifo")),
         [&] {
             return Args{"upgrade", "--package", File("fifo").string()};
         },
         2, "ISP error 59! (cannot open it: not a regular file)"},
        {"a newline in the package's path", nothing,
         [&] {
             return Args{"info", "--package", File("no\nsuch").string()};
         },
         2, "no\\x0Asuch: ISP error 59!"},
        {"a newline in the path of pack's output", nothing,
         pack({{"--out", File("no\nfolder").string() + "/packed"}}), 2,
         "no\\x0Afolder: No such file or directory"},
        {"package of a simulated upgrade is a FIFO", fifo(File("fifo")),
         simulate({"--package", File("fifo").string()}), 2, "not a regular file"},
    };
    attacks.insert(attacks.end(), posixOnly.begin(), posixOnly.end());
#endif

    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        // Each row starts from the fixture's files alone.
        for (const auto& path : Entries()) {
            const auto name = path.filename().string();
            if (name != "carrier" && !name.starts_with("segment")) fs::remove_all(path);
        }
        ReplaceCarrier(Bytes(kCarrierSize, 0x7F));
        attack.setup();

        const auto before = Snapshot();
        std::ostringstream stdoutText, stderrText;
        int status = -1;
        if (attack.fullDisk) {
#ifndef _WIN32
            CFullDisk full;
            status = RunTamblorCli(attack.args(), Carrier(), stdoutText, stderrText);
#endif
        } else {
            status = RunTamblorCli(attack.args(), Carrier(), stdoutText, stderrText);
        }
        const auto after = Snapshot();

        EXPECT_EQ(status, attack.status);
        if (attack.status != 0) {
            EXPECT_EQ(stdoutText.str(), "");
            const std::string line = stderrText.str();
            EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
            EXPECT_TRUE(line.ends_with("\n")) << line;
            EXPECT_NE(line.find(attack.said), std::string::npos) << line;
        } else {
            EXPECT_NE(stdoutText.str().find(attack.said), std::string::npos) << stdoutText.str();
        }
        auto expected = before;
        if (attack.packs) {
            const Bytes package = RawPackage(SyntheticSegments());
            EXPECT_EQ(fs::status(Out()).permissions(), fs::status(Carrier()).permissions());
            EXPECT_TRUE(ReadAll(Out()) ==
                        ReadAll(Carrier()) + std::string(package.begin(), package.end()));
            expected.erase(Out().filename().string());
            EXPECT_EQ(after.count(Out().filename().string()), 1u);
            auto written = after;
            written.erase(Out().filename().string());
            EXPECT_EQ(written, expected);
        } else {
            EXPECT_EQ(after, expected);
        }
    }
#ifndef _WIN32
    struct stat full {};
    ASSERT_EQ(::stat("/dev/full", &full), 0);
    EXPECT_TRUE(S_ISCHR(full.st_mode));
#endif
}

}  // namespace
}  // namespace tamblor::test
