#include <gtest/gtest.h>

#include "package/VersionPolicy.h"

namespace tamblor {
namespace {

using Version = std::array<std::uint8_t, 4>;

struct PolicyCase {
    const char* name;
    Version file;
    Version device;
    std::vector<std::string> verdictLines;  // after the two version lines
    int result;
    bool resetProgress;
};

const std::string kRefusal = "ISP file version must higher then device version!";
const std::string kNoNeed = "Don't need to upgrade!";

const PolicyCase kCases[] = {
    {"NewerPackage", {'V', 1, 0, 3}, {'V', 1, 0, 2}, {"Press to upgrade new version!"}, 1, true},
    {"EqualVersions", {'V', 1, 0, 3}, {'V', 1, 0, 3}, {kRefusal, kNoNeed}, 0, false},
    {"NewerDevice", {'V', 1, 0, 3}, {'V', 1, 1, 0}, {kRefusal, kNoNeed}, 0, false},
    {"HundredsOutweighUnits",
     {'V', 2, 0, 0},
     {'V', 1, 9, 9},
     {"Press to upgrade new version!"},
     1,
     true},
    {"EngineerPackageOldDevice",
     {'E', 0, 0, 1},
     {'V', 9, 9, 9},
     {"Engineer file version!"},
     1,
     false},
    {"EngineerPackageWinsOverEngineerDevice",
     {'E', 1, 0, 3},
     {'E', 1, 0, 3},
     {"Engineer file version!"},
     1,
     false},
    {"DowngradePackage", {'L', 1, 0, 0}, {'V', 2, 0, 0}, {"Downgrade file version!"}, 1, false},
    {"LowerCaseLetterIsNoRelease",
     {'v', 9, 9, 9},
     {'V', 0, 0, 0},
     {"ISP file version error!"},
     0,
     false},
    {"UnknownPackageLetter", {'X', 1, 0, 3}, {'E', 1, 0, 2}, {"ISP file version error!"}, 0, false},
    {"EngineerDeviceAnyNumbers",
     {'V', 1, 0, 3},
     {'E', 9, 9, 9},
     {"Engineer device version!"},
     1,
     false},
    {"LowerCaseEngineerDeviceIsCompared",
     {'V', 1, 0, 3},
     {'e', 1, 0, 4},
     {kRefusal, kNoNeed},
     0,
     false},
    {"DeviceDigitAboveNineCountsFull",
     {'V', 1, 0, 3},
     {'V', 0, 10, 0},
     {"Press to upgrade new version!"},
     1,
     true},
    {"DeviceTensOfTen", {'V', 1, 0, 3}, {'V', 1, 10, 3}, {kRefusal, kNoNeed}, 0, false},
};

void PrintTo(const PolicyCase& c, std::ostream* os) { *os << c.name; }

class VersionPolicy : public testing::TestWithParam<PolicyCase> {};

TEST_P(VersionPolicy, Verdict) {
    const PolicyCase& c = GetParam();
    const VersionVerdict verdict = EvaluateVersion(c.file.data(), c.device.data());
    ASSERT_GE(verdict.lines.size(), 2u);
    const std::vector<std::string> tail(verdict.lines.begin() + 2, verdict.lines.end());
    EXPECT_EQ(tail, c.verdictLines);
    EXPECT_EQ(verdict.result, c.result);
    EXPECT_EQ(verdict.resetProgress, c.resetProgress);
}

INSTANTIATE_TEST_SUITE_P(Rules, VersionPolicy, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VersionPolicyLines, DigitsPrintAsUnpaddedLowerCaseHex) {
    const Version file = {'V', 1, 0, 3};
    const Version device = {'V', 1, 10, 3};
    const VersionVerdict verdict = EvaluateVersion(file.data(), device.data());
    ASSERT_GE(verdict.lines.size(), 2u);
    EXPECT_EQ(verdict.lines[0], "File Version: V103");
    EXPECT_EQ(verdict.lines[1], "Device Version: V1a3");
    const Version wide = {'E', 255, 16, 0};
    EXPECT_EQ(EvaluateVersion(wide.data(), device.data()).lines[0], "File Version: Eff100");
}

}  // namespace
}  // namespace tamblor
