// The engine's scan and device-change handling over real hidraw nodes and udev uevents.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "Capabilities.h"
#include "HidrawRig.h"

namespace tamblor::test {
namespace {

using Lines = std::vector<std::string>;

struct ScanCase {
    std::string name;
    std::optional<UsbHidDevice> dock;       // answers through the dock's logic
    std::optional<UsbHidDevice> bystander;  // plugged first, never answers
    Lines expectedLines;
};

std::ostream& operator<<(std::ostream& os, const ScanCase& c) { return os << c.name; }

const UsbHidDevice kOtherVendor{
    .vendorId = 0x046D, .productId = 0xC52B, .reportDescriptor = UnnumberedVendorDescriptor()};

// The dock's own IDs with a report descriptor that cannot be read.
UsbHidDevice DockDescribedBy(std::vector<std::uint8_t> descriptor) {
    return {.reportDescriptor = std::move(descriptor)};
}
std::vector<std::uint8_t> Truncated() {  // stops inside an item
    auto bytes = DockDescriptor();
    bytes.resize(12);
    return bytes;
}
std::vector<std::uint8_t> Unbalanced() {  // the collection never ends
    auto bytes = DockDescriptor();
    bytes.pop_back();
    return bytes;
}

class HidrawScan : public testing::TestWithParam<ScanCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    }
};

TEST_P(HidrawScan, LogsWhatTheScanFound) {
    const ScanCase& c = GetParam();
    TestPackage package;
    CHidrawRig rig;
    if (c.bystander) rig.PlugOther(*c.bystander);
    if (c.dock) rig.PlugDock(*c.dock);
    rig.Start(package.path);
    const std::size_t want = c.expectedLines.size();
    EXPECT_TRUE(rig.RunUntil([&] { return rig.ui.Lines().size() >= want; }));
    rig.Settle();
    const Lines lines = rig.ui.Lines();
    ASSERT_GE(lines.size(), want);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(want)),
              c.expectedLines);

    const LinkState link = rig.engine.Link();
    const bool found = c.expectedLines.front() == "AP device found!";
    EXPECT_EQ(link.g_deviceConnected, found ? 1 : 0);
    if (found) {
        EXPECT_EQ(link.g_devicePath, rig.DockNode());
        EXPECT_EQ(link.g_inputReportLength, 64);
        EXPECT_EQ(link.g_outputReportLength, 64);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HidrawScan,
    testing::Values(
        ScanCase{"Match", UsbHidDevice{}, kOtherVendor, {"AP device found!"}},
        ScanCase{"VendorCollectionSecond",
                 UsbHidDevice{.reportDescriptor = KeyboardThenDockDescriptor()},
                 std::nullopt,
                 {"AP device found!"}},
        ScanCase{"PidMismatch",
                 UsbHidDevice{.productId = 0xF503},
                 std::nullopt,
                 {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
                  "Device PID: 0XF503 : RQN4103K7"}},
        ScanCase{"VersionNumberMismatch",
                 UsbHidDevice{.bcdDevice = 0x0200},
                 std::nullopt,
                 {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
                  "Device PID: 0X3305 : Device Name error"}},
        // Without bcdDevice the version number reads 0, which is no match either.
        ScanCase{"NoVersionNumber",
                 UsbHidDevice{.bcdDevice = std::nullopt},
                 std::nullopt,
                 {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
                  "Device PID: 0X3305 : Device Name error"}},
        ScanCase{"OtherVendorOnly", std::nullopt, kOtherVendor, {"No device found!"}},
        // The product ID matched, so the product is not what is wrong.
        ScanCase{
            "TruncatedDescriptor", DockDescribedBy(Truncated()), std::nullopt, {"device Error!"}},
        ScanCase{
            "UnbalancedDescriptor", DockDescribedBy(Unbalanced()), std::nullopt, {"device Error!"}},
        ScanCase{"EmptyDescriptor", DockDescribedBy({}), std::nullopt, {"device Error!"}},
        ScanCase{"NoDevice", std::nullopt, std::nullopt, {"No device found!"}}),
    [](const auto& info) { return info.param.name; });

TEST(HidrawDeviceChange, RemovalOfAnotherInterfaceIsIgnored) {
    ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    TestPackage package;
    CHidrawRig rig;
    rig.PlugDock();
    PluggedNode& other = rig.PlugOther(kOtherVendor);
    rig.Start(package.path);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.HasLine("AP device found!"); }));
    rig.Settle();

    rig.Unplug(other);
    rig.Settle();
    EXPECT_EQ(rig.ChangeResults(), std::vector<int>{0});
    EXPECT_FALSE(rig.ui.HasLine("No Device found!"));
    EXPECT_EQ(rig.engine.Link().g_deviceConnected, 1);

    rig.UnplugDock();
    rig.Settle();
    EXPECT_EQ(rig.ChangeResults(), (std::vector<int>{0, 1}));
    EXPECT_EQ(rig.ui.Lines().back(), "No Device found!");
    EXPECT_EQ(rig.engine.Link().g_deviceConnected, 0);
}

// Every arrival rescans; the reopened dock must not keep the descriptors of the last scan,
// including the one the reader was blocked on.
TEST(HidrawDeviceChange, RescanWhileConnectedClosesThePreviousDescriptors) {
    ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    TestPackage package;
    CHidrawRig rig;
    rig.PlugDock();
    rig.Start(package.path);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ui.HasLine("AP device found!"); }));
    rig.Settle();

    rig.PlugOther(kOtherVendor);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.ChangeResults().size() == 1; }));
    rig.Settle();
    const auto lines = rig.ui.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "AP device found!"), 2);
    const std::vector<std::pair<int, bool>> expected = {{O_RDONLY, true}, {O_WRONLY, true}};
    EXPECT_EQ(rig.DockDescriptors(), expected);
}

TEST(HidrawDeviceChange, DeniedNodeGetsTheRuleHintAfterDeviceError) {
    ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    TestPackage package;
    CHidrawRig rig;
    rig.PlugOther({.denied = true});
    {
        CFileModesEnforced enforced;
        rig.Start(package.path);
    }
    const Lines lines = rig.ui.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "device Error!");
    EXPECT_EQ(lines[1].rfind("Permission denied on /dev/hidraw0: install 70-tamblor.rules", 0), 0u)
        << lines[1];
}

}  // namespace
}  // namespace tamblor::test
