// The Windows HID port against the fake bus: what enumeration reports, how handles are opened
// and released, and how reads and writes behave.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "FakeHidPlatform.h"
#include "hid/windows/WinHidBus.h"
#include "hid/windows/WinHidChannels.h"
#include "winutil/WideText.h"

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

// Nothing in the way from SetupAPI's detail to CreateFileW is a fixed-size path buffer: a path
// far beyond MAX_PATH, with text outside ASCII, comes back whole and opens.
TEST(WinHidBusEnumerate, AVeryLongPathIsListedAndOpenedWhole) {
    FakeHidPlatform fake;
    const std::wstring path = L"\\\\?\\hid#vid_10c4&pid_f505#" + std::wstring(5000, L'a') +
                              L"\u00e9\u4e2d#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    fake.SetDevices({Device{path}});
    win::CWinHidBus bus(fake.Api());
    const auto found = bus.EnumerateInterfaces();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(win::Widen(found[0].path), path);
    EXPECT_TRUE(found[0].caps);
    EXPECT_NE(bus.OpenInterfaceRead(found[0]), nullptr);
    EXPECT_NE(bus.OpenWrite(found[0].path), nullptr);
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
        write.reset();
        read.reset();
        fake.SetDevices({device});
        bus = std::make_unique<win::CWinHidBus>(fake.Api(), timeouts);
        read = bus->OpenRead(win::Narrow(kDock));
        write = bus->OpenWrite(win::Narrow(kDock));
        ASSERT_NE(read, nullptr);
        ASSERT_NE(write, nullptr);
    }

    FakeHidPlatform fake;
    // Writes that go pending are queued at once, unless a test waits for their outcome.
    win::WinHidTimeouts timeouts{0, 2000, 60000};
    std::unique_ptr<win::CWinHidBus> bus;
    std::unique_ptr<IHidReadChannel> read;
    std::unique_ptr<IHidWriteChannel> write;
};

TEST_F(WinHidChannels, ReadDeliversWhatArrivedAndItsLength) {
    Open(Device{kDock});
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    fake.DeliverInput(kDock, {2, 7, 0xFE, 0xFF, 7, 1, 0, 0, 9});
    EXPECT_EQ(pending.get(), 64) << "a report fills the collection's input length";
    EXPECT_EQ(buffer[1], 7);
    EXPECT_EQ(buffer[8], 9);
    EXPECT_EQ(buffer[9], 0);
    std::array<std::uint8_t, 63> tooShort{};
    fake.DeliverInput(kDock, {2, 1});
    EXPECT_EQ(read->ReadReport(tooShort), -1) << "the class driver wants the whole report";
    EXPECT_EQ(read->ReadReport(buffer), 64);

    fake.DeliverInput(kDock, {});  // an empty read is reported as such, not as a failure
    EXPECT_EQ(read->ReadReport(buffer), 0);
}

// Wine under load left a read pending while the dock's answer sat in the handle's queue: the
// upgrade stopped for want of an answer already there. A read pending for a while is issued
// again, and finds it.
TEST_F(WinHidChannels, AReportLeftQueuedBesideAPendingReadIsFoundByTheReadIssuedAgain) {
    timeouts.readRearm = 20;
    Open(Device{kDock});
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    fake.QueueInput(kDock, {2, 0x3B, 0x3D, 1});
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the answer waits in the queue while the read stays pending";
    EXPECT_EQ(pending.get(), 64);
    EXPECT_EQ(buffer[1], 0x3B);
    EXPECT_EQ(buffer[2], 0x3D);
}

// Issuing the read again loses nothing and changes nothing else: an idle read goes on waiting,
// a report that comes later is read, Cancel() still ends it; and a driver that keeps a
// cancelled read is waited for as before.
TEST_F(WinHidChannels, AReadIssuedAgainStillDeliversAndStillEndsOnCancel) {
    for (const bool keepsCancelled : {false, true}) {
        SCOPED_TRACE(keepsCancelled ? "the driver keeps cancelled reads" : "a sound driver");
        timeouts.readRearm = 10;
        Device device{kDock};
        device.ignoresCancel = keepsCancelled;
        Open(device);
        std::array<std::uint8_t, 64> buffer{};
        const int before = fake.Reads();
        auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
        fake.WaitForPendingRead(kDock);
        if (keepsCancelled) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_EQ(fake.Reads(), before + 1)
                << "a read the driver still holds is not issued twice";
        } else {
            EXPECT_TRUE(Eventually([&] { return fake.Reads() >= before + 3; }));
        }
        EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        fake.DeliverInput(kDock, {2, 7, 0xFE, 0xFF, 7, 1});
        EXPECT_EQ(pending.get(), 64);
        EXPECT_EQ(buffer[1], 7);
        auto next = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
        fake.WaitForPendingRead(kDock);
        read->Cancel();
        EXPECT_EQ(next.get(), -1);
        if (keepsCancelled) {
            // The driver still holds the cancelled reads: the channel leaves them to it.
            read.reset();
            write.reset();
        }
    }
}

// What ends a read once the rearm's cancel has reached a driver that holds on to it: whatever the
// driver does next, a report comes through once, an idle read goes on, and only a removal ends
// the channel.
TEST_F(WinHidChannels, AReadWhoseRearmTheDriverAnswersLateEndsAsItsAnswerSays) {
    enum class Then { Delivers, ReadsAgain, Gone };
    struct Case {
        const char* name;
        std::function<void(FakeHidPlatform&)> driver;
        Then then;
    };
    const Case cases[] = {
        {"a report completes the read after the cancel",
         [](FakeHidPlatform& f) {
             f.DeliverInput(kDock, {2, 0xA1});
         },
         Then::Delivers},
        {"the abort comes late", [](FakeHidPlatform& f) { f.FailRead(kDock, 995); },
         Then::ReadsAgain},
        {"the driver aborts with a code of its own",
         [](FakeHidPlatform& f) { f.FailRead(kDock, ERROR_GEN_FAILURE); }, Then::ReadsAgain},
        {"the device leaves", [](FakeHidPlatform& f) { f.RemoveDevice(kDock); }, Then::Gone},
        {"the driver says the device is gone", [](FakeHidPlatform& f) { f.FailRead(kDock, 1167); },
         Then::Gone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        timeouts.readRearm = 10;
        Device device{kDock};
        device.ignoresCancel = true;
        Open(device);
        std::array<std::uint8_t, 64> buffer{};
        const int before = fake.Reads();
        const int cancels = fake.Cancels();
        auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
        // (EXPECT: what follows ends the read either way, where a return would leave it blocked.)
        EXPECT_TRUE(Eventually([&] { return fake.Cancels() > cancels; }));
        c.driver(fake);
        switch (c.then) {
            case Then::Delivers:
                EXPECT_EQ(pending.get(), 64);
                EXPECT_EQ(buffer[1], 0xA1);
                EXPECT_EQ(fake.Reads(), before + 1);
                break;
            case Then::ReadsAgain:
                EXPECT_TRUE(Eventually([&] { return fake.Reads() == before + 2; }));
                EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(50)),
                          std::future_status::timeout)
                    << "the driver's answer to the rearm failed the read";
                fake.DeliverInput(kDock, {2, 0xA1});
                EXPECT_EQ(pending.get(), 64);
                EXPECT_EQ(buffer[1], 0xA1);
                break;
            case Then::Gone:
                EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(50)),
                          std::future_status::timeout)
                    << "a read of a device that left fails before its removal is announced";
                read->Cancel();
                EXPECT_EQ(pending.get(), -1);
                EXPECT_EQ(fake.Reads(), before + 1) << "a device that left is read again";
                continue;
        }
        // The report was delivered once: the next read gets the next one.
        fake.DeliverInput(kDock, {2, 0xB2});
        EXPECT_EQ(read->ReadReport(buffer), 64);
        EXPECT_EQ(buffer[1], 0xB2);
    }
}

// What comes as a sound driver aborts the rearmed read: Cancel() still ends the read without
// another one taking a report from the handle's queue; a removal ends the channel; and a driver
// that gives its own code for every abort still leaves an idle read waiting, instead of failing
// it every second until the engine takes the dock for lost.
TEST_F(WinHidChannels, WhatComesWithTheRearmsAbortDecidesTheRead) {
    enum class Then { Cancelled, Gone, WaitsOn };
    struct Case {
        const char* name;
        DWORD cancelError;
        std::function<void()> meanwhile;
        Then then;
    };
    const Case cases[] = {
        {"Cancel()", ERROR_OPERATION_ABORTED, [this] { read->Cancel(); }, Then::Cancelled},
        {"the device leaves", ERROR_OPERATION_ABORTED, [this] { fake.RemoveDevice(kDock); },
         Then::Gone},
        {"nothing, the driver aborting with 31", ERROR_GEN_FAILURE, [] {}, Then::WaitsOn},
        {"nothing, the driver aborting with 1223", ERROR_CANCELLED, [] {}, Then::WaitsOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        timeouts.readRearm = 10;
        Device device{kDock};
        device.cancelError = c.cancelError;
        Open(device);
        fake.AfterCancel(c.meanwhile);
        std::array<std::uint8_t, 64> buffer{};
        const int before = fake.Reads();
        auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
        fake.WaitForPendingRead(kDock);
        // A report that waits in the handle's queue without completing the read, as on Wine.
        fake.QueueInput(kDock, {2, 0xC3});
        switch (c.then) {
            case Then::Cancelled:
                EXPECT_EQ(pending.get(), -1);
                EXPECT_EQ(fake.Reads(), before + 1) << "a read was issued after Cancel()";
                break;
            case Then::Gone:
                EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(50)),
                          std::future_status::timeout);
                fake.AfterCancel({});
                read->Cancel();
                EXPECT_EQ(pending.get(), -1);
                EXPECT_EQ(read->ReadReport(buffer), -1);
                break;
            case Then::WaitsOn:
                EXPECT_EQ(pending.get(), 64) << "the read issued again finds the report";
                EXPECT_EQ(buffer[1], 0xC3);
                auto idle =
                    std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
                const int cancels = fake.Cancels();
                EXPECT_TRUE(Eventually([&] { return fake.Cancels() >= cancels + 3; }));
                EXPECT_EQ(idle.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout)
                    << "an idle read fails at its rearm";
                fake.DeliverInput(kDock, {2, 0xD4});
                EXPECT_EQ(idle.get(), 64);
                EXPECT_EQ(buffer[1], 0xD4);
                break;
        }
        fake.AfterCancel({});
    }
}

// Wine hands the dock's handle the keyboard's reports too: those the rearmed read finds are
// passed over as any other.
TEST(WinHidChannelsRearm, AReadIssuedAgainStillPassesOnlyTheCollectionsReports) {
    FakeHidPlatform fake;
    Device dock{kDock};
    dock.inputReportIds = {1, 2};
    dock.linkCollections = {FakeHidPlatform::LinkNode{0xFF00, 0x0002, 0, true},
                            FakeHidPlatform::LinkNode{0x0001, 0x0006, 0, true}};
    dock.inputItems = {FakeHidPlatform::InputItem{1, 1, true},
                       FakeHidPlatform::InputItem{2, 0, false}};
    fake.SetDevices({dock});
    win::WinHidTimeouts timeouts;
    timeouts.readRearm = 10;
    win::CWinHidBus bus(fake.Api(), timeouts);
    const auto found = bus.EnumerateInterfaces();
    ASSERT_EQ(found.size(), 1u);
    const auto read = bus.OpenInterfaceRead(found[0]);
    ASSERT_NE(read, nullptr);
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    fake.QueueInput(kDock, {1, 0, 0x04});  // a key pressed
    fake.QueueInput(kDock, {2, 0xE5});
    EXPECT_EQ(pending.get(), 64);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[1], 0xE5);
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
    auto first = std::vector<std::uint8_t>(64, 0x11);
    auto second = std::vector<std::uint8_t>(64, 0x22);
    first[0] = second[0] = 2;  // the report ID
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

// A refused write is told as failed, with the driver's code, or 31 when it gave none.
TEST_F(WinHidChannels, WriteErrorsAreReturnedEvenWithoutACode) {
    struct Case {
        DWORD lastError;
        std::uint32_t result;
    };
    for (const Case c :
         {Case{0, ERROR_GEN_FAILURE}, Case{ERROR_INVALID_HANDLE, 6}, Case{1167, 1167}}) {
        Device device{kDock};
        device.writeMode = WriteMode::Fail;
        device.writeError = c.lastError;
        Open(device);
        EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), c.result) << c.lastError;
    }
}

TEST_F(WinHidChannels, ClosingWithWritesInFlightCancelsThem) {
    Device device{kDock};
    device.writeMode = WriteMode::Pending;
    Open(device);
    EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), 0u);
    write.reset();
    read.reset();
    EXPECT_EQ(fake.PendingWrites(), 0);
    EXPECT_EQ(fake.OpenHandles(), 0);
}

// What the class driver checks of a write: the collection's whole output report, with an ID it
// declares.
TEST_F(WinHidChannels, WritesAreCheckedAsTheClassDriverDoes) {
    struct Case {
        std::size_t length;
        std::uint8_t id;
        std::uint32_t result;
    };
    Open(Device{kDock});
    for (const Case c :
         {Case{64, 2, 0}, Case{63, 2, ERROR_INVALID_USER_BUFFER},
          Case{65, 2, ERROR_INVALID_USER_BUFFER}, Case{64, 1, ERROR_INVALID_PARAMETER},
          Case{64, 0, ERROR_INVALID_PARAMETER}}) {
        std::vector<std::uint8_t> report(c.length, 0);
        report[0] = c.id;
        EXPECT_EQ(write->WriteReport(report), c.result) << c.length << " bytes, ID " << int{c.id};
    }
}

// The class driver queues writes: a stall (31) or a removal (1167, or 5 on Wine) shows only
// when the write completes.
TEST_F(WinHidChannels, AWriteThatFailsAtCompletionSaysSo) {
    for (const DWORD error : {DWORD{ERROR_GEN_FAILURE}, DWORD{1167}, DWORD{ERROR_ACCESS_DENIED}}) {
        SCOPED_TRACE(error);
        Device device{kDock};
        device.writeMode = WriteMode::Pending;

        // Within the wait for its outcome: the write itself returns the error.
        timeouts.writeOutcome = 60000;
        Open(device);
        auto pending = std::async(std::launch::async, [&] {
            return write->WriteReport(std::vector<std::uint8_t>(64, 2));
        });
        ASSERT_TRUE(Eventually([&] { return fake.PendingWrites() == 1; }));
        fake.CompleteWrites(error);
        EXPECT_EQ(pending.get(), error);

        // After it: the next write returns it, and sends nothing.
        timeouts.writeOutcome = 0;
        Open(device);
        EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), 0u);
        fake.CompleteWrites(error);
        auto* channel = static_cast<win::CWinHidWriteChannel*>(write.get());
        ASSERT_TRUE(Eventually([&] { return channel->PendingCount() == 0; }));
        fake.ClearWritten();
        EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), error);
        EXPECT_EQ(fake.PendingWrites(), 0);
        // Said once: the channel writes again.
        EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), 0u);
        EXPECT_EQ(fake.PendingWrites(), 1);
        fake.CompleteWrites();
    }
}

// Closing runs on the window's thread; a driver that never completes the cancel must not
// freeze it. The write's buffer stays allocated, as the driver may still write into it.
TEST_F(WinHidChannels, ClosingDoesNotWaitForEverOnACancelThatNeverCompletes) {
    Device device{kDock};
    device.writeMode = WriteMode::Pending;
    device.ignoresCancel = true;
    timeouts.cancelCompletion = 20;
    Open(device);
    EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), 0u);
    const auto abandoned = win::CWinHidWriteChannel::AbandonedCount();
    auto closed = std::make_shared<std::promise<void>>();
    auto done = closed->get_future();
    std::thread([this, closed] {
        write.reset();
        closed->set_value();
    }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the channel waits for ever on the cancel";
    EXPECT_EQ(win::CWinHidWriteChannel::AbandonedCount(), abandoned + 1);
    EXPECT_EQ(fake.OpenHandles(GENERIC_WRITE), 0);
}

// A driver that never completes the cancel of a read: the reader is freed within the bound,
// and the driver's late completion lands in memory the channel left to it, never in the
// caller's buffer.
TEST_F(WinHidChannels, AReadWhoseCancelNeverCompletesFreesTheReaderAndSparesItsBuffer) {
    timeouts.cancelCompletion = 50;
    Device device{kDock};
    device.ignoresCancel = true;
    Open(device);
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    read->Cancel();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(pending.get(), -1);
    fake.DeliverInput(kDock, {2, 0xAA, 0xBB});
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(read->ReadReport(buffer), -1);
    read.reset();
    write.reset();
    EXPECT_EQ(fake.OpenHandles(), 0);
}

// After a removal, reads fail for good (5 is what a pending read gets, 6 and 1167 too): the
// read waits for the removal notice, which cancels it, instead of failing again and again
// until the engine gives up with a read error. Other errors are the engine's to retry.
TEST_F(WinHidChannels, ReadErrorsOfADeviceThatLeftWaitForItsRemovalNotice) {
    struct Case {
        DWORD error;
        bool gone;
    };
    for (const Case c :
         {Case{ERROR_ACCESS_DENIED, true}, Case{ERROR_INVALID_HANDLE, true}, Case{1167, true},
          Case{ERROR_GEN_FAILURE, false}, Case{ERROR_OPERATION_ABORTED, false}}) {
        SCOPED_TRACE(c.error);
        Open(Device{kDock});
        std::array<std::uint8_t, 64> buffer{};
        auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
        fake.WaitForPendingRead(kDock);
        fake.FailRead(kDock, c.error);
        if (c.gone) {
            EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
                << "a read of a device that left fails before its removal is announced";
            read->Cancel();
        }
        EXPECT_EQ(pending.get(), -1);
        const int reads = fake.Reads();
        if (c.gone) {
            EXPECT_EQ(read->ReadReport(buffer), -1);
            EXPECT_EQ(fake.Reads(), reads) << "a device that left is not read again";
        } else {
            auto again = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
            EXPECT_TRUE(Eventually([&] { return fake.Reads() == reads + 1; }));
            read->Cancel();
            EXPECT_EQ(again.get(), -1);
        }
    }
}

TEST_F(WinHidChannels, TheWaitForTheRemovalNoticeIsBounded) {
    timeouts.removalNotice = 0;
    Open(Device{kDock});
    std::array<std::uint8_t, 64> buffer{};
    auto pending = std::async(std::launch::async, [&] { return read->ReadReport(buffer); });
    fake.WaitForPendingRead(kDock);
    fake.RemoveDevice(kDock);
    EXPECT_EQ(pending.get(), -1);
    EXPECT_EQ(read->ReadReport(buffer), -1);
    EXPECT_EQ(write->WriteReport(std::vector<std::uint8_t>(64, 2)), DWORD{ERROR_ACCESS_DENIED});
}

// The tool writes every report with ID 2; a collection whose output reports do not carry it
// would fail every write with 87, so it is reported without output reports and never opened.
TEST(WinHidBusEnumerate, ACollectionWithoutOutputReportTwoHasNoOutputReports) {
    struct Case {
        std::vector<std::uint8_t> ids;
        std::uint16_t outputLength;
    };
    for (const auto& c : {Case{{2}, 64}, Case{{1, 2}, 64}, Case{{1}, 0}, Case{{}, 0}}) {
        SCOPED_TRACE(c.ids.size());
        FakeHidPlatform fake;
        Device dock{kDock};
        dock.outputReportIds = c.ids;
        fake.SetDevices({dock});
        win::CWinHidBus bus(fake.Api());
        const auto found = bus.EnumerateInterfaces();
        ASSERT_EQ(found.size(), 1u);
        ASSERT_TRUE(found[0].caps);
        EXPECT_EQ(found[0].caps->outputReportByteLength, c.outputLength);
        EXPECT_EQ(found[0].caps->inputReportByteLength, 64);
        EXPECT_EQ(fake.LivePreparsedData(), 0);
    }
}

// Wine presents only a device's first top-level collection, and its handle also gets the
// reports of the device's other collections: a keyboard's (ID 1) must not pass for the dock's
// answer. Wine 8.0's preparsed data declares the keyboard's ID too, its items in an application
// collection under the dock's; a logical collection inside the dock's is the dock's own. A
// collection that numbers no reports has nothing to tell apart.
TEST(WinHidBusOpen, TheInterfaceReadPassesOnlyReportsOfTheCollectionsOwnItems) {
    using Node = FakeHidPlatform::LinkNode;
    using Item = FakeHidPlatform::InputItem;
    const Node dockNode{0xFF00, 0x0002, 0, true};
    struct Case {
        const char* name;
        std::vector<std::uint8_t> declared;  // what HidP_InitializeReportForID accepts
        std::vector<Node> nodes;
        std::vector<Item> items;
        std::vector<std::uint8_t> own;  // the IDs the read channel passes
        std::uint8_t firstId;           // the ID of the first report ReadReport returns
    };
    const Case cases[] = {
        {"numbered reports", {2}, {}, {}, {2}, 2},
        {"no report IDs", {}, {}, {}, {}, 1},
        {"Wine 8.0: the keyboard's collection inside the dock's preparsed data",
         {1, 2},
         {dockNode, Node{0x0001, 0x0006, 0, true}},
         {Item{1, 1, true}, Item{1, 1, true}, Item{2, 0, false}},
         {2},
         2},
        {"a logical collection inside the dock's",
         {2, 3},
         {dockNode, Node{0xFF00, 0x0003, 0, false}},
         {Item{2, 0, false}, Item{3, 1, false}},
         {2, 3},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHidPlatform fake;
        Device dock{kDock};
        dock.inputReportIds = c.declared;
        dock.linkCollections = c.nodes;
        dock.inputItems = c.items;
        fake.SetDevices({dock});
        win::CWinHidBus bus(fake.Api());
        const auto found = bus.EnumerateInterfaces();
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].inputReportIds, c.own);
        EXPECT_EQ(fake.LivePreparsedData(), 0);
        const auto read = bus.OpenInterfaceRead(found[0]);
        ASSERT_NE(read, nullptr);
        fake.DeliverInput(kDock, {1, 0, 0x04});  // a key pressed
        fake.DeliverInput(kDock, {2, 7, 0xFE, 0xFF, 7});
        std::array<std::uint8_t, 64> buffer{};
        EXPECT_EQ(read->ReadReport(buffer), 64);
        EXPECT_EQ(buffer[0], c.firstId);
    }
}

// A collection whose own items carry no ID while the keyboard's beside it carry ID 1: its
// reports cannot be told from the keyboard's, so the interface is refused as unqueryable
// rather than read unfiltered.
TEST(WinHidBusEnumerate, AnInterfaceWhoseReportsCannotBeToldApartHasNoCaps) {
    using Node = FakeHidPlatform::LinkNode;
    using Item = FakeHidPlatform::InputItem;
    FakeHidPlatform fake;
    Device dock{kDock};
    dock.inputReportIds = {1, 2};
    dock.linkCollections = {Node{0xFF00, 0x0002, 0, true}, Node{0x0001, 0x0006, 0, true}};
    dock.inputItems = {Item{0, 0, false}, Item{1, 1, true}};
    fake.SetDevices({dock});
    win::CWinHidBus bus(fake.Api());
    const auto found = bus.EnumerateInterfaces();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].attributes);
    EXPECT_FALSE(found[0].caps);
    EXPECT_EQ(fake.LivePreparsedData(), 0);
}

// A second copy of the tool may look at the dock and read it, but not write to it while this
// one holds it; and it says why.
TEST(WinHidBusOpen, ASecondWriterIsRefusedAndToldWhy) {
    FakeHidPlatform fake;
    fake.SetDevices({Device{kDock}});
    const auto path = win::Narrow(kDock);
    win::CWinHidBus first(fake.Api());
    win::CWinHidBus second(fake.Api());
    auto read = first.OpenRead(path);
    auto write = first.OpenWrite(path);
    ASSERT_TRUE(read && write);
    EXPECT_EQ(second.EnumerateInterfaces().size(), 1u);
    EXPECT_NE(second.OpenRead(path), nullptr);
    EXPECT_EQ(second.OpenWrite(path), nullptr);
    EXPECT_EQ(
        second.OpenFailureHint(),
        path + " is held by another tamblor.exe or tamblor-cli: end it, then replug the dock");
    EXPECT_EQ(first.OpenFailureHint(), "");
    write.reset();
    EXPECT_NE(second.OpenWrite(path), nullptr);
    EXPECT_EQ(second.OpenFailureHint(), "");
}

}  // namespace
}  // namespace tamblor::test
