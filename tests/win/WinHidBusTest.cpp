// The Windows HID port against the fake bus: what enumeration reports, how handles are opened
// and released, and how reads and writes behave.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "FakeHidPlatform.h"
#include "win/hid/WinHidBus.h"
#include "win/hid/WinHidChannels.h"
#include "win/util/WideText.h"

namespace tamblor::test {
namespace {

using Device = FakeHidPlatform::Device;
using WriteMode = FakeHidPlatform::WriteMode;

const std::wstring kDock = L"\\\\?\\hid#vid_10c4&pid_f505&col02#1";

template <typename Pred>
bool Eventually(Pred pred) {
    for (int i = 0; i < 500; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

TEST(WinHidBusEnumerate, ReportsEveryReadableInterfaceInOrderAndReleasesEverything) {
    FakeHidPlatform fake;
    Device ok{L"\\\\?\\hid#a"};
    Device noDetail{L"\\\\?\\hid#b"};
    noDetail.detailFails = true;
    Device noProbe{L"\\\\?\\hid#c"};
    noProbe.probeFails = true;
    Device noAttributes{L"\\\\?\\hid#d"};
    noAttributes.attributes.reset();
    Device noCaps{L"\\\\?\\hid#e"};
    noCaps.caps.reset();
    Device keyboard{L"\\\\?\\hid#f", false, false, HidAttributes{0x046D, 0xC31C, 0x4900},
                    HidCaps{0x0001, 0x0006, 9, 2}};
    fake.SetDevices({ok, noDetail, noProbe, noAttributes, noCaps, keyboard});

    win::CWinHidBus bus(fake.Api());
    const auto found = bus.EnumerateInterfaces();

    ASSERT_EQ(found.size(), 5u);  // an interface without a readable path is not reported
    const char* paths[] = {"\\\\?\\hid#a", "\\\\?\\hid#c", "\\\\?\\hid#d", "\\\\?\\hid#e",
                           "\\\\?\\hid#f"};
    for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].path, paths[i]);
    EXPECT_TRUE(found[0].attributes && found[0].caps);
    EXPECT_EQ(found[0].caps->inputReportByteLength, 64);
    EXPECT_FALSE(found[1].attributes || found[1].caps);
    EXPECT_FALSE(found[2].attributes || found[2].caps);
    EXPECT_TRUE(found[3].attributes && !found[3].caps);
    ASSERT_TRUE(found[4].attributes && found[4].caps);
    EXPECT_EQ(found[4].attributes->vendorId, 0x046D);
    EXPECT_EQ(found[4].attributes->versionNumber, 0x4900);
    EXPECT_EQ(found[4].caps->usagePage, 0x0001);
    EXPECT_EQ(found[4].caps->outputReportByteLength, 2);

    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_EQ(fake.LiveInfoSets(), 0);
    EXPECT_EQ(fake.LivePreparsedData(), 0);
    for (const auto& call : fake.OpenCalls()) {
        EXPECT_EQ(call.access, 0u) << "probes ask for no access rights";
        EXPECT_EQ(call.share, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE});
        EXPECT_EQ(call.disposition, DWORD{OPEN_EXISTING});
    }
}

TEST(WinHidBusEnumerate, NoInterfacesGiveAnEmptyList) {
    FakeHidPlatform fake;
    win::CWinHidBus bus(fake.Api());
    EXPECT_TRUE(bus.EnumerateInterfaces().empty());
    EXPECT_EQ(fake.LiveInfoSets(), 0);
}

TEST(WinHidBusOpen, OpensOverlappedPerDirectionAndClosesWithTheChannel) {
    FakeHidPlatform fake;
    Device readOnly{kDock};
    readOnly.writeOpenFails = true;
    fake.SetDevices({readOnly});
    win::CWinHidBus bus(fake.Api());
    {
        auto read = bus.OpenRead("\\\\?\\hid#vid_10c4&pid_f505&col02#1");
        auto write = bus.OpenWrite("\\\\?\\hid#vid_10c4&pid_f505&col02#1");
        EXPECT_NE(read, nullptr);
        EXPECT_EQ(write, nullptr);
        EXPECT_EQ(fake.OpenHandles(GENERIC_READ), 1);
    }
    EXPECT_EQ(fake.OpenHandles(), 0);
    const auto calls = fake.OpenCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].access, DWORD{GENERIC_READ});
    EXPECT_EQ(calls[1].access, DWORD{GENERIC_WRITE});
    for (const auto& call : calls) EXPECT_TRUE(call.flags & FILE_FLAG_OVERLAPPED);
}

class WinHidChannels : public ::testing::Test {
  protected:
    void Open(Device device) {
        fake.SetDevices({device});
        read = bus.OpenRead(win::Narrow(kDock));
        write = bus.OpenWrite(win::Narrow(kDock));
        ASSERT_NE(read, nullptr);
        ASSERT_NE(write, nullptr);
    }

    FakeHidPlatform fake;
    win::CWinHidBus bus{fake.Api()};
    std::unique_ptr<IHidReadChannel> read;
    std::unique_ptr<IHidWriteChannel> write;
};

TEST_F(WinHidChannels, ReadDeliversWhatArrivedAndItsLength) {
    Open(Device{kDock});
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    fake.DeliverInput(kDock, {2, 7, 0xFE, 0xFF, 7, 1, 0, 0, 9});
    EXPECT_EQ(pending.get(), 9);
    EXPECT_EQ(buffer[1], 7);
    EXPECT_EQ(buffer[8], 9);
    EXPECT_EQ(buffer[9], 0);

    fake.DeliverInput(kDock, {});  // an empty read is reported as such, not as a failure
    EXPECT_EQ(read->ReadReport(buffer), 0);
}

TEST_F(WinHidChannels, CancelEndsABlockedReadAndEveryLaterOne) {
    Open(Device{kDock});
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    read->Cancel();
    EXPECT_EQ(pending.get(), -1);
    // The read was cancelled before the call returned: nothing can write into the buffer now.
    fake.DeliverInput(kDock, {1, 2, 3});
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(read->ReadReport(buffer), -1);
}

TEST_F(WinHidChannels, BackToBackWritesKeepTheirOwnBytes) {
    Device device{kDock};
    device.writeMode = WriteMode::Pending;
    Open(device);
    const std::vector<std::uint8_t> first(64, 0x11);
    const std::vector<std::uint8_t> second(64, 0x22);
    EXPECT_EQ(write->WriteReport(first), 0u);
    EXPECT_EQ(write->WriteReport(second), 0u);
    EXPECT_EQ(fake.PendingWrites(), 2);
    fake.CompleteWrites();
    const auto written = fake.Written();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0], first);
    EXPECT_EQ(written[1], second);
    auto* channel = static_cast<win::CWinHidWriteChannel*>(write.get());
    EXPECT_TRUE(Eventually([&] { return channel->PendingCount() == 0; }));
}

TEST_F(WinHidChannels, WriteErrorsAreReturnedExceptZero) {
    struct Case {
        DWORD lastError;
        std::uint32_t result;
    };
    for (const Case c : {Case{0, 0}, Case{ERROR_INVALID_HANDLE, 6}, Case{1167, 1167}}) {
        Device device{kDock};
        device.writeMode = WriteMode::Fail;
        device.writeError = c.lastError;
        Open(device);
        EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 1)), c.result) << c.lastError;
    }
}

TEST_F(WinHidChannels, ClosingWithWritesInFlightCancelsThem) {
    Device device{kDock};
    device.writeMode = WriteMode::Pending;
    Open(device);
    EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 3)), 0u);
    write.reset();
    read.reset();
    EXPECT_EQ(fake.PendingWrites(), 0);
    EXPECT_EQ(fake.OpenHandles(), 0);
}

}  // namespace
}  // namespace tamblor::test
