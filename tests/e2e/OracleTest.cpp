// The verdict of a run: the success rule every run shares, and the dock's expectation taken
// from a package the way the command line takes it.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "SimulatedPackages.h"
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

    const struct {
        const char* name;
        Lines lines;
        bool success;
    } rows[] = {
        {"Chip 1 then Chip 3, both verified", chip1Then3(kChip1Passed), true},
        // The operator's exit status used to follow the last verdict alone.
        {"Chip 1 failed, Chip 3 verified", chip1Then3(chip1Failed), false},
        {"Chip 1 never verified", chip1Then3(chip1Unverified), false},
        {"Chip 2 begun, never finished",
         Join({kScan,
               {"Waiting...", "Chip 2 File 1/2 :   5186 BYTES"},
               Lines(kChip3.begin() + 1, kChip3.end())}),
         false},
        {"no Start upgrade", kScan, false},
        {"Chip 3 not verified", Lines(kChip3.begin(), kChip3.begin() + 7), false},
        {"a failed scan before Start upgrade",
         Join({{"device Error!", "No Device found!"}, kScan, kChip3}), true},
        {"a failed send after the verdict",
         Join({kScan, kChip3, {"Send Error,Error Code is:0x13"}}), false},
        // Lines that only look like failures.
        {"a scan with another product ID while the dock restarts", Chip3With("PID error!"), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(EndedInSuccess(row.lines), row.success);
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
