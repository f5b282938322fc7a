// tamblor-cli list over the nodes of a umockdev testbed.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "HidrawRig.h"
#include "HidrawTestbed.h"
#include "cli/Commands.h"

namespace tamblor::test {
namespace {

struct ListRun {
    int status = 0;
    std::string out, err;
};

class ListCommand : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
        nodes.push_back(testbed.Plug({.reportDescriptor = KeyboardThenDockDescriptor()}));
        nodes.push_back(testbed.Plug({.vendorId = 0x046D,
                                      .productId = 0xC52B,
                                      .bcdDevice = std::nullopt,
                                      .reportDescriptor = UnnumberedVendorDescriptor()}));
    }

    // The place of the K-th node plugged in (from 1); both have places of the same width.
    std::string Place(std::size_t number) const { return nodes.at(number - 1)->place; }

    // The testbed's bus number, and so the place's width, differs from run to run; the
    // column is as wide as its widest entry.
    std::string PlaceHeading() const {
        std::string heading = "PLACE";
        heading.resize(std::max(heading.size(), Place(1).size()), ' ');
        return heading;
    }

    static ListRun Run(const std::vector<std::string>& args, const std::filesystem::path& self) {
        std::ostringstream out, err;
        ListRun run;
        run.status = RunListCommand(args, self, out, err);
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    CHidrawTestbed testbed;
    std::vector<std::unique_ptr<PluggedNode>> nodes;
    TestPackage package;
};

TEST_F(ListCommand, TableMarksTheCollectionTheScanWouldTake) {
    const ListRun run = Run({}, package.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "Matching VID 0x10C4, PID 0xF505, version number 0x0100, usage page 0xFF00, "
              "usage 0x0002\n"
              "PATH          " +
                  PlaceHeading() +
                  "  VID     PID     VERSION  PAGE    USAGE    IN  OUT  MATCH\n"
                  "/dev/hidraw0  " +
                  Place(1) +
                  "  0x10C4  0xF505  0x0100   0x0001  0x0006    8    0  no\n"
                  "/dev/hidraw0  " +
                  Place(1) +
                  "  0x10C4  0xF505  0x0100   0xFF00  0x0002   64   64  yes\n"
                  "/dev/hidraw1  " +
                  Place(2) + "  0x046D  0xC52B  0x0000   0xFF00  0x0002    9    9  no\n");
}

TEST_F(ListCommand, JsonCarriesTheSameFacts) {
    const ListRun run = Run({"--json", "--package", package.path.string()}, "/nonexistent");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(
        run.out,
        "{\"package\":{\"vid\":4292,\"pid\":62725},\"interfaces\":["
        "{\"path\":\"/dev/hidraw0\",\"place\":\"" +
            Place(1) +
            "\",\"vid\":4292,\"pid\":62725,\"versionNumber\":256,"
            "\"usagePage\":1,\"usage\":6,\"inputReportLength\":8,\"outputReportLength\":0,"
            "\"match\":false},"
            "{\"path\":\"/dev/hidraw0\",\"place\":\"" +
            Place(1) +
            "\",\"vid\":4292,\"pid\":62725,\"versionNumber\":256,"
            "\"usagePage\":65280,\"usage\":2,\"inputReportLength\":64,\"outputReportLength\":64,"
            "\"match\":true},"
            "{\"path\":\"/dev/hidraw1\",\"place\":\"" +
            Place(2) +
            "\",\"vid\":1133,\"pid\":50475,\"versionNumber\":0,"
            "\"usagePage\":65280,\"usage\":2,\"inputReportLength\":9,\"outputReportLength\":9,"
            "\"match\":false}]}\n");
}

TEST_F(ListCommand, WithoutAPackageListsWithoutMatching) {
    const ListRun text = Run({}, "/nonexistent");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.err.find("ISP error 59!"), std::string::npos) << text.err;
    EXPECT_NE(text.out.find("  64   64  -\n"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("Matching"), std::string::npos) << text.out;

    const ListRun json = Run({"--json"}, "/nonexistent");
    EXPECT_EQ(json.out.rfind("{\"package\":null,", 0), 0u) << json.out;
    EXPECT_NE(json.out.find("\"match\":null}"), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("\"match\":true"), std::string::npos) << json.out;
}

TEST_F(ListCommand, RefusesUnknownArguments) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--package"}}) {
        const ListRun run = Run(args, package.path);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("(see 'tamblor-cli list --help')"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace tamblor::test
