// The verdict of a run: the success rule every run shares, and the dock's expectation taken
// from a package the way the command line takes it.
#include <gmock/gmock.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "SimulatedPackages.h"
#include "cli/Commands.h"
#include "cli/SimulatedUpgrade.h"

namespace tamblor::test {
namespace {

using Lines = std::vector<std::string>;

const Lines kScan = {"AP device found!", "File Version: V103", "Device Version: V102",
                     "Press to upgrade new version!"};
const Lines kChip3 = {"Waiting...",
                      "No Device found!",
                      "ISP device found!",
                      "File 1/1 :  25856 BYTES",
                      "",
                      "File 1/1 End",
                      "ISP Chip 3 Finish!",
                      "Chip 3 Checksum pass, ISP Success!",
                      "No Device found!",
                      "AP device found!"};
const Lines kChip1Passed = {"Waiting...",
                            "WORK_PREPARE..",
                            "Chip 1 Erasing...",
                            "Chip 1 File 1/1 : 193500 BYTES",
                            "",
                            "File 1/1 End",
                            "ISP Chip 1 Finish!",
                            "Verify..",
                            "Chip 1 Checksum pass, ISP Success!"};

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The Chip 3 run with `line` logged just before its verdict.
Lines Chip3With(const std::string& line) {
    Lines lines = Join({kScan, kChip3});
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(kScan.size()) + 6, line);
    return lines;
}

TEST(SuccessRule, EveryFailureLineOfTheSequenceFailsTheRun) {
    const char* failures[] = {
        "ISP false!",
        "Chip 1 checksum cul:  7bbf ,   7bbe",
        "ISP Chip 1 FLASH ERROR!",
        "ISP Chip 1 ERASE ERROR!",
        "ISP Chip 3 ERASE ERROR!",
        "ISP Chip 3 false!",
        "Error!, restart please.",
        "ISP file read error!",
        "Send Error,Error Code is:0x13",
        "device Error!",
        "file Error!",
        "ISP error 63!",
    };
    ASSERT_TRUE(EndedInSuccess(Join({kScan, kChip3})));
    for (const char* failure : failures) {
        SCOPED_TRACE(failure);
        EXPECT_TRUE(IsFailureLine(failure));
        EXPECT_FALSE(EndedInSuccess(Chip3With(failure)));
    }
}

TEST(SuccessRule, EveryVerdictTheSequenceBeganMustPass) {
    const auto chip1Then3 = [](const Lines& chip1) {
        Lines chip3(kChip3.begin() + 1, kChip3.end());
        return Join({kScan, chip1, chip3});
    };
    Lines chip1Failed = kChip1Passed;
    chip1Failed.back() = "Chip 1 checksum cul:  7bbf ,   7bbe";
    chip1Failed.push_back("ISP false!");
    Lines chip1Unverified(kChip1Passed.begin(), kChip1Passed.end() - 1);

    // What the verdict line names as the failure; empty: success.
    const struct {
        const char* name;
        Lines lines;
        const char* failure;
    } rows[] = {
        {"Chip 1 then Chip 3, both verified", chip1Then3(kChip1Passed), ""},
        // The operator's exit status used to follow the last verdict alone.
        {"Chip 1 failed, Chip 3 verified", chip1Then3(chip1Failed),
         "the log says \"Chip 1 checksum cul:  7bbf ,   7bbe\""},
        {"Chip 1 never verified", chip1Then3(chip1Unverified), "Chip 1 was not verified"},
        {"Chip 2 begun, never finished",
         Join({kScan,
               {"Waiting...", "Chip 2 File 1/2 :   5186 BYTES"},
               Lines(kChip3.begin() + 1, kChip3.end())}),
         "Chip 2 was not finished"},
        {"no Start upgrade", kScan, "the upgrade never started"},
        {"Chip 3 not verified", Lines(kChip3.begin(), kChip3.begin() + 7),
         "Chip 3 was not verified"},
        {"a failed scan before Start upgrade",
         Join({{"device Error!", "No Device found!"}, kScan, kChip3}), ""},
        {"a failed send after the verdict",
         Join({kScan, kChip3, {"Send Error,Error Code is:0x13"}}),
         "the log says \"Send Error,Error Code is:0x13\""},
        // Lines that only look like failures.
        {"a scan with another product ID while the dock restarts", Chip3With("PID error!"), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FailureInLog(row.lines), row.failure);
        EXPECT_EQ(EndedInSuccess(row.lines), std::string(row.failure).empty());
    }
}

// The command's last line on stderr is its verdict, whatever the log's own texts say.
TEST(UpgradeVerdictLine, TheCommandEndsWithItsVerdict) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* verdict;
    } rows[] = {
        {"a good run, whose log ends in the rescan",
         {},
         0,
         "upgrade succeeded: every check passed"},
        {"Chip 3's sum refused",
         {"--fault", "chip3-checksum-wrong"},
         1,
         "upgrade failed: the log says \"ISP Chip 3 false!\""},
        {"the dock lost in the middle",
         {"--fault", "remove-after-chunks=20"},
         1,
         "upgrade failed: the log says \"Error!, restart please.\""},
        {"the dock already up to date",
         {"--device-version", "V103"},
         1,
         "upgrade failed: the upgrade was not offered"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"--simulate", "--package", kShipped.path};
        args.insert(args.end(), row.args.begin(), row.args.end());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunUpgradeCommand(args, kShipped.path, out, err), row.status);
        Lines errLines;
        std::istringstream split(err.str());
        for (std::string line; std::getline(split, line);) errLines.push_back(line);
        ASSERT_FALSE(errLines.empty());
        EXPECT_EQ(errLines.back(), row.verdict) << err.str();
        // Said once, and never in the operator's log.
        EXPECT_EQ(std::count_if(errLines.begin(), errLines.end(),
                                [](const std::string& l) { return l.starts_with("upgrade "); }),
                  1);
        EXPECT_EQ(out.str().find("upgrade succeeded"), std::string::npos);
        EXPECT_EQ(out.str().find("upgrade failed"), std::string::npos);
    }
}

TEST(DockExpectationFromPackage, IsWhatThePackageWasMadeOf) {
    for (const auto& package : {kShipped, kSelector2, kSelector3}) {
        SCOPED_TRACE(package.path);
        const auto loaded = LoadDockExpectation(package.path);
        ASSERT_NE(loaded, nullptr);
        const auto made = SyntheticExpectation(package.selector);
        EXPECT_EQ(loaded->chip3, made->chip3);
        EXPECT_EQ(loaded->chip2, made->chip2);
        EXPECT_EQ(loaded->chip1, made->chip1);
        EXPECT_EQ(loaded->version, made->version);
        EXPECT_EQ(loaded->startSelector, made->startSelector);
    }
    EXPECT_EQ(LoadDockExpectation(TAMBLOR_SELECTOR2_PACKAGE ".missing"), nullptr);
}

}  // namespace
}  // namespace tamblor::test
