// The hidraw bus against sysfs and nodes of a umockdev testbed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Capabilities.h"
#include "HidrawBus.h"
#include "HidrawTestbed.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;

class HidrawBusTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CHidrawTestbed::IsActive()) << "run this test under umockdev-wrapper";
    }

    // The bus after the testbed, so that it watches the testbed's uevents.
    CHidrawTestbed testbed;
    CHidrawBus bus;
};

// Reads exactly `size` bytes from the device's end, or fewer after a second without data.
std::vector<std::uint8_t> ReadAtDevice(const PluggedNode& node, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::size_t have = 0;
    while (have < size) {
        pollfd p{node.master.Get(), POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) break;
        const ssize_t n = ::read(node.master.Get(), bytes.data() + have, size - have);
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

void WriteAtDevice(const PluggedNode& node, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::write(node.master.Get(), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i * 7);
    return bytes;
}

TEST_F(HidrawBusTest, ListsOneInterfacePerTopLevelCollection) {
    testbed.Plug({.reportDescriptor = KeyboardThenDockDescriptor(), .devpath = "1.4"});
    testbed.Plug({.vendorId = 0x046D,
                  .productId = 0xC52B,
                  .bcdDevice = std::nullopt,
                  .reportDescriptor = UnnumberedVendorDescriptor()});
    testbed.Plug({.vendorId = 0x1234, .productId = 0x5678, .reportDescriptor = {0xA1, 0x01}});

    struct Expected {
        const char* path;
        HidAttributes attributes;
        std::optional<HidCaps> caps;
    };
    const Expected expected[] = {
        {"/dev/hidraw0", {0x10C4, 0xF505, 0x0100}, HidCaps{0x0001, 0x0006, 8, 0}},
        {"/dev/hidraw0", {0x10C4, 0xF505, 0x0100}, HidCaps{0xFF00, 0x0002, 64, 64}},
        {"/dev/hidraw1", {0x046D, 0xC52B, 0x0000}, HidCaps{0xFF00, 0x0002, 9, 9}},
        {"/dev/hidraw2", {0x1234, 0x5678, 0x0100}, std::nullopt},
    };
    const auto interfaces = bus.EnumerateInterfaces();
    ASSERT_EQ(interfaces.size(), std::size(expected));
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& got = interfaces[i];
        EXPECT_EQ(got.path, expected[i].path);
        ASSERT_TRUE(got.attributes.has_value());
        EXPECT_EQ(got.attributes->vendorId, expected[i].attributes.vendorId);
        EXPECT_EQ(got.attributes->productId, expected[i].attributes.productId);
        EXPECT_EQ(got.attributes->versionNumber, expected[i].attributes.versionNumber);
        ASSERT_EQ(got.caps.has_value(), expected[i].caps.has_value());
        if (!got.caps) continue;
        EXPECT_EQ(got.caps->usagePage, expected[i].caps->usagePage);
        EXPECT_EQ(got.caps->usage, expected[i].caps->usage);
        EXPECT_EQ(got.caps->inputReportByteLength, expected[i].caps->inputReportByteLength);
        EXPECT_EQ(got.caps->outputReportByteLength, expected[i].caps->outputReportByteLength);
    }
    // The USB port each sits on, the same for every collection of a node.
    const std::string bus = testbed.BusNumber();
    EXPECT_EQ(interfaces[0].place, bus + "-1.4");
    EXPECT_EQ(interfaces[1].place, bus + "-1.4");
    EXPECT_EQ(interfaces[2].place, bus + "-2");
    EXPECT_EQ(interfaces[3].place, bus + "-3");
}

TEST_F(HidrawBusTest, NoNodesNoInterfaces) { EXPECT_TRUE(bus.EnumerateInterfaces().empty()); }

TEST_F(HidrawBusTest, ReportsCrossTheNodeWhole) {
    const auto node = testbed.Plug({});
    bus.EnumerateInterfaces();
    const auto read = bus.OpenRead(node->devnode);
    const auto write = bus.OpenWrite(node->devnode);
    ASSERT_TRUE(read && write);

    const auto out = Pattern(64, 2);
    EXPECT_EQ(write->WriteReport(out), 0u);
    EXPECT_EQ(ReadAtDevice(*node, 64), out);

    const auto in = Pattern(64, 2);
    WriteAtDevice(*node, in);
    std::array<std::uint8_t, 64> buffer{};
    ASSERT_EQ(read->ReadReport(buffer), 64);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), in.begin()));
}

// hidraw leaves out the ID byte of a device without report IDs; the channel puts a 0 there,
// as the Windows class driver does, so the reply code stays at byte 1.
TEST_F(HidrawBusTest, UnnumberedReportsGainAZeroIdByte) {
    const auto node = testbed.Plug({.reportDescriptor = UnnumberedVendorDescriptor()});
    bus.EnumerateInterfaces();
    const auto read = bus.OpenRead(node->devnode);
    ASSERT_TRUE(read);
    const auto in = Pattern(8, 0x41);
    WriteAtDevice(*node, in);
    std::array<std::uint8_t, 9> buffer{};
    buffer.fill(0xEE);
    ASSERT_EQ(read->ReadReport(buffer), 9);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), buffer.begin() + 1));
}

// True once the tool has read everything written at the device's end (poll() on a terminal
// first moves what is in transit into its input queue).
bool ReadByTool(const PluggedNode& node) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{node.slave.Get(), POLLIN, 0};
        if (::poll(&p, 1, 0) >= 0 && (p.revents & POLLIN) == 0) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// A node with a keyboard collection and the dock's: the dock's interface reads the dock's
// reports only, though the keyboard's come first. A line is a byte stream, so each report
// goes out alone, once the one before has been read.
TEST_F(HidrawBusTest, AnInterfaceReadsItsOwnCollectionsReportsOnly) {
    const auto node = testbed.Plug({.reportDescriptor = KeyboardThenDockDescriptor()});
    const auto interfaces = bus.EnumerateInterfaces();
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[0].inputReportIds, std::vector<std::uint8_t>{1});
    EXPECT_EQ(interfaces[1].inputReportIds, std::vector<std::uint8_t>{2});
    const auto read = bus.OpenInterfaceRead(interfaces[1]);
    ASSERT_TRUE(read);
    auto pending = std::async(std::launch::async, [&] {
        std::array<std::uint8_t, 64> buffer{};
        const int got = read->ReadReport(buffer);
        return std::make_pair(got, buffer);
    });
    // Whatever fails below, the read ends, so the future can be joined.
    struct CancelOnExit {
        IHidReadChannel& channel;
        ~CancelOnExit() { channel.Cancel(); }
    } cancelOnExit{*read};
    const std::vector<std::uint8_t> keyboard = {1, 0, 0, 4, 5, 6, 7, 8, 9};
    for (int i = 0; i < 3; ++i) {
        WriteAtDevice(*node, keyboard);
        ASSERT_TRUE(ReadByTool(*node));
    }
    // A dock report shorter than the keyboard's: no byte of the keyboard's may show past it.
    const std::vector<std::uint8_t> dock = {2, 8, 0xFE, 0xFF, 8, 'V', 1};
    WriteAtDevice(*node, dock);
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    const auto [got, buffer] = pending.get();
    ASSERT_EQ(got, 7);
    EXPECT_TRUE(std::equal(dock.begin(), dock.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + 7, buffer.end(), [](auto b) { return b == 0; }));

    // The node's every report, for callers that ask for the path.
    const auto all = bus.OpenRead(node->devnode);
    ASSERT_TRUE(all);
    WriteAtDevice(*node, keyboard);
    std::array<std::uint8_t, 64> any{};
    EXPECT_EQ(all->ReadReport(any), 9);
}

TEST_F(HidrawBusTest, CancelEndsABlockedReadAndEveryLaterOne) {
    const auto node = testbed.Plug({});
    const auto read = bus.OpenRead(node->devnode);
    ASSERT_TRUE(read);
    auto blocked = std::async(std::launch::async, [&] {
        std::array<std::uint8_t, 64> buffer{};
        return read->ReadReport(buffer);
    });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    read->Cancel();
    ASSERT_EQ(blocked.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(blocked.get(), -1);

    // Even with a report waiting, a cancelled channel reads nothing more.
    WriteAtDevice(*node, Pattern(64, 2));
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(read->ReadReport(buffer), -1);
}

TEST_F(HidrawBusTest, UnplugFailsReadsAndWrites) {
    const auto node = testbed.Plug({});
    const auto read = bus.OpenRead(node->devnode);
    const auto write = bus.OpenWrite(node->devnode);
    ASSERT_TRUE(read && write);
    auto blocked = std::async(std::launch::async, [&] {
        std::array<std::uint8_t, 64> buffer{};
        return read->ReadReport(buffer);
    });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    testbed.Unplug(*node);
    ASSERT_EQ(blocked.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(blocked.get(), -1);
    EXPECT_NE(write->WriteReport(Pattern(64, 2)), 0u);
}

// The read and write channels each own one descriptor of their own direction, which no child
// process inherits, and give it back when destroyed.
TEST_F(HidrawBusTest, ChannelsOwnSeparateCloseOnExecDescriptors) {
    const auto node = testbed.Plug({});
    {
        const auto read = bus.OpenRead(node->devnode);
        const auto write = bus.OpenWrite(node->devnode);
        ASSERT_TRUE(read && write);
        const std::vector<std::pair<int, bool>> expected = {{O_RDONLY, true}, {O_WRONLY, true}};
        EXPECT_EQ(DescriptorsOn(*node), expected);
    }
    EXPECT_TRUE(DescriptorsOn(*node).empty());
}

TEST_F(HidrawBusTest, DeliversArrivalsAndRemovalsOfNodesOnly) {
    std::vector<DeviceChange> changes;
    bus.SetDeviceChangeSink([&](const DeviceChange& change) { changes.push_back(change); });
    ASSERT_GE(bus.DeviceChangeDescriptor(), 0);
    const auto pump = [&] {
        pollfd p{bus.DeviceChangeDescriptor(), POLLIN, 0};
        while (::poll(&p, 1, 200) > 0) bus.PumpDeviceChanges();
    };

    // The USB and HID devices around the node are announced too; only the node counts.
    const auto node = testbed.Plug({});
    pump();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, DeviceChangeKind::Arrival);
    EXPECT_EQ(changes[0].path, "/dev/hidraw0");

    testbed.Unplug(*node);
    pump();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].kind, DeviceChangeKind::Removal);
    EXPECT_EQ(changes[1].path, "/dev/hidraw0");
}

TEST_F(HidrawBusTest, PermissionDeniedNamesTheUdevRule) {
    const auto denied = testbed.Plug({.denied = true});
    const auto usable = testbed.Plug({});
    EXPECT_EQ(bus.OpenFailureHint(), "");
    {
        CFileModesEnforced enforced;
        EXPECT_EQ(bus.OpenRead(denied->devnode), nullptr);
        EXPECT_EQ(bus.OpenWrite(denied->devnode), nullptr);
    }
    const std::string hint = bus.OpenFailureHint();
    EXPECT_NE(hint.find("70-tamblor.rules"), std::string::npos) << hint;
    EXPECT_NE(hint.find("/dev/hidraw0"), std::string::npos) << hint;

    // Opening the next device both ways clears it; a missing node is no permission matter.
    EXPECT_NE(bus.OpenRead(usable->devnode), nullptr);
    EXPECT_NE(bus.OpenWrite(usable->devnode), nullptr);
    EXPECT_EQ(bus.OpenFailureHint(), "");
    EXPECT_EQ(bus.OpenRead("/dev/hidraw9"), nullptr);
    EXPECT_EQ(bus.OpenFailureHint(), "");
}

// Two copies of the tool on one dock would take each other's answers: the node is held by
// whoever writes to it, until that channel closes.
TEST_F(HidrawBusTest, OneWriterPerNode) {
    const auto node = testbed.Plug({});
    auto first = bus.OpenWrite(node->devnode);
    ASSERT_NE(first, nullptr);
    CHidrawBus other;
    EXPECT_EQ(other.OpenWrite(node->devnode), nullptr);
    const std::string hint = other.OpenFailureHint();
    EXPECT_NE(hint.find(node->devnode + " is held by another tamblor"), std::string::npos) << hint;
    EXPECT_NE(other.OpenRead(node->devnode), nullptr) << "reading alone takes nothing";

    first.reset();
    EXPECT_NE(other.OpenWrite(node->devnode), nullptr);
    EXPECT_EQ(other.OpenFailureHint(), "");
}

}  // namespace
}  // namespace tamblor::test
