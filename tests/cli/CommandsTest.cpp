// The pack and info commands, run in-process on files in a temporary directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "TestPackages.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "package/PackageLoader.h"
#include "package/SyntheticImages.h"

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;

class Commands : public testing::Test {
  protected:
    void SetUp() override {
        m_carrier = m_dir.File("carrier");
        WriteFile(m_carrier, Bytes(kCarrierSize, 0x7F));
        fs::permissions(m_carrier, fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            WriteFile(m_dir.File(SyntheticImageName(k)), SyntheticSegments()[k]);
        }
    }

    std::vector<std::string> PackArgs(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"--carrier", m_carrier.string(), "--out", Out().string()};
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            args.push_back("--segment" + std::to_string(k));
            args.push_back(m_dir.File(SyntheticImageName(k)).string());
        }
        // An option given again replaces the value above: the tool takes each one once.
        for (std::size_t i = 0; i < extra.size(); ++i) {
            const auto given = std::find(args.begin(), args.end(), extra[i]);
            if (given != args.end() && i + 1 < extra.size() && !extra[i + 1].starts_with("--")) {
                *(given + 1) = extra[++i];
            } else {
                args.push_back(extra[i]);
            }
        }
        return args;
    }

    int Pack(const std::vector<std::string>& args) {
        m_out.str("");
        m_err.str("");
        return RunPackCommand(args, m_out, m_err);
    }

    int Info(const std::vector<std::string>& args, const fs::path& self) {
        m_out.str("");
        m_err.str("");
        return RunInfoCommand(args, self, m_out, m_err);
    }

    fs::path Out() const { return m_dir.File("packed"); }

    static constexpr std::size_t kCarrierSize = 3000;
    CTempDir m_dir;
    fs::path m_carrier;
    std::ostringstream m_out;
    std::ostringstream m_err;
};

TEST_F(Commands, PackWritesCarrierThenPackageAndKeepsTheMode) {
    ASSERT_EQ(Pack(PackArgs({"--selector", "3", "--vid", "ABCD", "--version", "E104"})), 0)
        << m_err.str();
    EXPECT_EQ(fs::status(Out()).permissions(), fs::status(m_carrier).permissions());
    EXPECT_EQ(fs::file_size(Out()), kCarrierSize + 487'402);

    const LoadResult loaded = LoadPackage(Out());
    ASSERT_EQ(loaded.code, 0);
    EXPECT_EQ(loaded.info.m_startSelector, '3');
    EXPECT_EQ(loaded.info.g_packageVid, 0xABCD);
    EXPECT_EQ(loaded.info.m_fileVersion, (std::array<std::uint8_t, 4>{'E', 1, 0, 4}));
    EXPECT_EQ(loaded.info.recordOffsets[0], kCarrierSize);
}

// Any name the folder takes is a name pack writes: its temporary file's name does not grow
// with the output's.
TEST_F(Commands, PackWritesAnOutputNameOfTheFullLength) {
    const std::string name(255, 'p');
    ASSERT_EQ(Pack(PackArgs({"--out", m_dir.File(name).string()})), 0) << m_err.str();
    EXPECT_EQ(LoadPackage(m_dir.File(name)).code, 0);
}

TEST_F(Commands, InfoJson) {
    ASSERT_EQ(Pack(PackArgs()), 0) << m_err.str();
    ASSERT_EQ(Info({"--json"}, Out()), 0) << m_err.str();
    EXPECT_EQ(m_out.str(),
              "{\"version\":\"V103\",\"date\":\"2017/08/11\",\"vid\":4292,\"pid\":62725,"
              "\"selector\":\"1\",\"records\":[3000,28890,34110,296288,296834,490368],"
              "\"segments\":[{\"offset\":3034,\"length\":25856},{\"offset\":28924,\"length\":5186},"
              "{\"offset\":34144,\"length\":262144},{\"offset\":296322,\"length\":512},"
              "{\"offset\":296868,\"length\":193500}],\"checksum0\":41999,\"checksum4\":31678}\n");
}

TEST_F(Commands, InfoJsonEscapesFreeText) {
    // The loader takes any bytes as the date; the packer would refuse these.
    RecordFields fields;
    fields.date = "a\"b\\c\x01\xe9/d ";
    WriteFile(Out(), RawPackage(SyntheticSegments(), fields));
    ASSERT_EQ(Info({"--package", Out().string(), "--json"}, "/nonexistent"), 0) << m_err.str();
    EXPECT_NE(m_out.str().find("\"date\":\"a\\\"b\\\\c\\u0001\\u00e9/d \""), std::string::npos)
        << m_out.str();
}

TEST_F(Commands, InfoText) {
    ASSERT_EQ(Pack(PackArgs()), 0) << m_err.str();
    ASSERT_EQ(Info({"--package", Out().string()}, "/nonexistent"), 0) << m_err.str();
    const std::string text = m_out.str();
    for (const char* line :
         {"Code Ver:V103  2017/08/11\n", "Vendor ID: 0x10C4\n", "Product ID: 0xF505\n",
          "Start selector: 1\n", "Record 5: offset 490368\n",
          "Segment 4: offset 296868, length 193500\n", "Checksum 0: 0xA40F\n",
          "Checksum 4: 0x7BBE\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
}

TEST_F(Commands, InfoReportsTheLoadersCode) {
    Bytes broken = RawPackage(SyntheticSegments());
    broken[broken.size() - kRecordLength + 20] = 'K';
    WriteFile(m_dir.File("broken"), broken);
    EXPECT_EQ(Info({"--package", m_dir.File("broken").string()}, "/nonexistent"), 2);
    EXPECT_EQ(m_err.str(), "tamblor-cli info: " + m_dir.File("broken").string() +
                               ": ISP error 61! (it does not end in a trailer record: no "
                               "firmware package)\n");
    EXPECT_EQ(Info({}, m_dir.File("absent")), 2);
    EXPECT_EQ(m_err.str().find("tamblor-cli info: " + m_dir.File("absent").string() +
                               ": ISP error 59! (cannot open it: "),
              0u)
        << m_err.str();
    EXPECT_EQ(m_out.str(), "");
}

TEST_F(Commands, InfoRefusesUnknownArguments) {
    EXPECT_EQ(Info({"--verbose"}, m_carrier), 2);
    EXPECT_EQ(Info({"--package"}, m_carrier), 2);
}

TEST_F(Commands, PackRefusals) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--carrier", "x"}, "--out is required"},
        {{"--carrier"}, "--carrier needs a value"},
        {{"--out", "x"}, "--carrier is required"},
        {{"--carrier", "x", "--out", "y", "--segment0", "a"}, "--segment1 is required"},
        {PackArgs({"--segment5", "a"}), "unknown option '--segment5'"},
        {PackArgs({"--version", "V1"}), "version must be"},
        {PackArgs({"--segment3", m_dir.File("absent").string()}), "cannot read segment 3"},
        {PackArgs({"--carrier", m_dir.File("absent").string()}), "cannot read carrier"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Pack(c.args), 2) << c.message;
        EXPECT_NE(m_err.str().find(c.message), std::string::npos) << m_err.str();
        EXPECT_FALSE(fs::exists(Out())) << c.message;
    }
}

// Every command answers --help (or -h, or 'help COMMAND') with its usage on stdout, wherever
// the option stands.
TEST_F(Commands, EveryCommandAnswersHelp) {
    const struct {
        std::vector<std::string> args;
        const char* usage;
    } cases[] = {
        {{"--help"}, "usage: tamblor-cli COMMAND"},
        {{"-h"}, "usage: tamblor-cli COMMAND"},
        {{"help"}, "usage: tamblor-cli COMMAND"},
        {{"pack", "--help"}, "usage: tamblor-cli pack "},
        {{"pack", "--carrier", "x", "-h"}, "usage: tamblor-cli pack "},
        {{"pack", "--bogus", "--help"}, "usage: tamblor-cli pack "},
        {{"help", "pack"}, "usage: tamblor-cli pack "},
        {{"info", "--help"}, "usage: tamblor-cli info "},
        {{"info", "-h"}, "usage: tamblor-cli info "},
        {{"upgrade", "--help"}, "usage: tamblor-cli upgrade "},
        {{"upgrade", "--simulate", "-h"}, "usage: tamblor-cli upgrade "},
        {{"help", "upgrade"}, "usage: tamblor-cli upgrade "},
        {{"list", "--help"}, "usage: tamblor-cli list "},
        {{"list", "-h"}, "usage: tamblor-cli list "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        m_out.str("");
        m_err.str("");
        EXPECT_EQ(RunTamblorCli(c.args, m_carrier, m_out, m_err), 0);
        EXPECT_EQ(m_out.str().rfind(c.usage, 0), 0u) << m_out.str();
        EXPECT_EQ(m_err.str(), "");
    }
}

// A script learns the statuses from the help: each one the upgrade can end with is named there.
TEST_F(Commands, UpgradeHelpNamesEveryExitStatus) {
    ASSERT_EQ(RunTamblorCli({"upgrade", "--help"}, m_carrier, m_out, m_err), 0);
    // The text is wrapped: a status may stand at a line's start.
    for (const char* status : {"status 0:", " 1: ", " 2: ", " 3: ", " 4: ", "130 (Ctrl-C)",
                               "143 (SIGTERM)", "129 (SIGHUP)"}) {
        EXPECT_NE(m_out.str().find(status), std::string::npos) << status;
    }
    // A dock held by another copy is a failed upgrade now, told by its place.
    EXPECT_EQ(m_out.str().find("75"), std::string::npos);
}

TEST_F(Commands, VersionNamesTheToolAndTheFirmwareItCarries) {
    ASSERT_EQ(Pack(PackArgs({"--version", "E104", "--date", "2024/01/31", "--selector", "3"})), 0)
        << m_err.str();
    for (const char* option : {"--version", "-V"}) {
        m_out.str("");
        EXPECT_EQ(RunTamblorCli({option}, Out(), m_out, m_err), 0);
        EXPECT_EQ(m_out.str(), "tamblor-cli " TAMBLOR_VERSION
                               "\nfirmware E104 2024/01/31 (vendor ID 0x10C4, product ID 0xF505, "
                               "start selector 3)\n");
    }
    // Without a package the tool still knows its own version; the output says what is missing.
    m_out.str("");
    EXPECT_EQ(RunTamblorCli({"--version"}, m_carrier, m_out, m_err), 0);
    EXPECT_EQ(m_out.str(), "tamblor-cli " TAMBLOR_VERSION "\nfirmware: none (" +
                               m_carrier.string() +
                               ": ISP error 61! (it does not end in a trailer record: no firmware "
                               "package))\n");
    EXPECT_EQ(m_err.str(), "");
}

// A command whose output is its work fails when the output cannot be written (a full disk, a
// closed stdout); upgrade and pack keep the status of what they did.
TEST_F(Commands, OutputThatCannotBeWrittenIsAFailure) {
    ASSERT_EQ(Pack(PackArgs()), 0) << m_err.str();
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"info", "--package", Out().string()}, 1},
        {{"info", "--package", Out().string(), "--json"}, 1},
        {{"--version"}, 1},
        {{"--help"}, 1},
        {{"info", "--help"}, 1},
        {{"pack", "--help"}, 1},
        {{"upgrade", "--simulate", "--package", Out().string()}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::ostringstream full;
        full.setstate(std::ios::badbit);
        m_err.str("");
        EXPECT_EQ(RunTamblorCli(c.args, Out(), full, m_err), c.status);
        // The upgrade's own last word is on stderr, and it is the upgrade's verdict.
        EXPECT_EQ(m_err.str(), c.status == 0 ? "upgrade succeeded: every check passed\n"
                                             : "tamblor-cli: cannot write the output\n");
    }
}

// Whatever is wrong with the arguments, one line on stderr says what, nothing goes to stdout,
// and the exit status is 2.
TEST_F(Commands, BadArgumentsGetOneLine) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--bogus"},
        {"--version", "extra"},
        {"help", "nothing"},
        {"help", "pack", "info"},
        {"info", "--package"},
        {"info", "--package="},
        {"info", "--package", "--json"},
        {"info", "stray"},
        {"info", "--json=yes"},
        {"info", "--package", m_dir.File("absent").string()},
        {"pack"},
        {"pack", "--carrier"},
        {"pack", "--out", "--carrier", "x"},
        {"pack", "-x"},
        [&] {
            auto args = PackArgs({"--vid", "12345"});
            args.insert(args.begin(), "pack");
            return args;
        }(),
        [&] {
            auto args = PackArgs({"--selector", "12"});
            args.insert(args.begin(), "pack");
            return args;
        }(),
        [&] {
            auto args = PackArgs({"--date", "2024/1/31"});
            args.insert(args.begin(), "pack");
            return args;
        }(),
        {"upgrade", "--bogus"},
        {"upgrade", "stray"},
        {"upgrade", "--simulate", "--device-mode", "dfu"},
        {"upgrade", "--simulate", "--device-version", "1102"},
        {"upgrade", "--simulate", "--device-version", "V10"},
        {"upgrade", "--simulate", "--fault", "nope"},
        {"upgrade", "--simulate", "--fault", "chip3-checksum-wrong=1"},
        {"upgrade", "--simulate", "--fault", "remove-after-chunks=0"},
        {"upgrade", "--fault", "chip3-checksum-wrong"},
        {"upgrade", "--latency-us", "5"},
        {"upgrade", "--device-mode", "isp"},
        {"upgrade", "--simulate", "--package", m_dir.File("absent").string()},
        {"list", "--bogus"},
        {"list", "--package"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        m_out.str("");
        m_err.str("");
        EXPECT_EQ(RunTamblorCli(args, m_carrier, m_out, m_err), 2);
        EXPECT_EQ(m_out.str(), "");
        const std::string line = m_err.str();
        EXPECT_EQ(line.rfind("tamblor-cli", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_TRUE(line.ends_with("\n")) << line;
    }
}

// A log line carries package and device text; the terminal gets it escaped, the verdict logic
// the line as it was.
TEST(CliSession, EscapesControlBytesOfLogLines) {
    std::ostringstream out;
    CCliSession session(out, false);
    session.PostLogRecord({"File Version: \x1b]0;owned\x07V\\103"});
    session.Run([] { return true; }, std::chrono::seconds(1));
    EXPECT_EQ(out.str(), "File Version: \\x1B]0;owned\\x07V\\\\103\n");
    EXPECT_EQ(session.Lines(), std::vector<std::string>{"File Version: \x1b]0;owned\x07V\\103"});
}

TEST_F(Commands, PackTakesOptionsWrittenWithEquals) {
    std::vector<std::string> args;
    const auto spelled = PackArgs({"--selector", "2"});
    for (std::size_t i = 0; i + 1 < spelled.size(); i += 2) {
        args.push_back(spelled[i] + "=" + spelled[i + 1]);
    }
    ASSERT_EQ(Pack(args), 0) << m_err.str();
    EXPECT_EQ(LoadPackage(Out()).info.m_startSelector, '2');
}

// Only the carrier's end is read into memory; a stray signature there is still named by its
// offset in the whole carrier.
TEST_F(Commands, PackNamesAStraySignatureByItsCarrierOffset) {
    Bytes carrier(kSearchWindow + 100'000, 0x7F);
    PutSignature(carrier, kSearchWindow + 90'000);
    WriteFile(m_carrier, carrier);
    EXPECT_EQ(Pack(PackArgs()), 2);
    EXPECT_NE(
        m_err.str().find("signature at carrier offset " + std::to_string(kSearchWindow + 90'000)),
        std::string::npos)
        << m_err.str();
    EXPECT_FALSE(fs::exists(Out()));
}

// The shipped tool is a carrier too: packing onto it replaces its package, so the result is
// byte for byte what packing onto the bare carrier gives. A carrier whose package does not load
// is not taken apart: its records stay in the window and the pack is refused.
TEST_F(Commands, PackReplacesThePackageACarrierCarriesAndRefusesABrokenOne) {
    ASSERT_EQ(Pack(PackArgs({"--version", "V104"})), 0) << m_err.str();
    const Bytes bare = ReadFile(Out());
    const fs::path packedCarrier = m_dir.File("packed-carrier");
    fs::rename(Out(), packedCarrier);
    ASSERT_EQ(Pack(PackArgs({"--version", "V103"})), 0) << m_err.str();
    const Bytes expected = ReadFile(Out());

    const fs::path again = m_dir.File("again");
    std::vector<std::string> args = PackArgs({"--version", "V103"});
    args[1] = packedCarrier.string();  // --carrier
    args[3] = again.string();          // --out
    ASSERT_EQ(Pack(args), 0) << m_err.str();
    EXPECT_NE(m_out.str().find("replacing the package"), std::string::npos) << m_out.str();
    EXPECT_EQ(ReadFile(again), expected);
    EXPECT_EQ(ReadFile(packedCarrier), bare) << "the carrier is never changed";

    Bytes broken = bare;
    broken.resize(broken.size() - 1);  // the last record no longer ends the file
    WriteFile(packedCarrier, broken);
    const fs::path refused = m_dir.File("refused");
    args[3] = refused.string();
    EXPECT_EQ(Pack(args), 2);
    EXPECT_NE(m_err.str().find("end of the carrier"), std::string::npos) << m_err.str();
    EXPECT_FALSE(fs::exists(refused));
}

}  // namespace
}  // namespace tamblor::test
