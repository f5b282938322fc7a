// The engine's scan and report I/O running over the Windows HID port and the fake bus: which
// interface is taken, what the operator is told, and that handles never leak.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FakeHidPlatform.h"
#include "app/TamblorEngine.h"
#include "app/TestDoubles.h"
#include "app/TestPackage.h"
#include "hid/windows/WinHidBus.h"

namespace tamblor::test {
namespace {

using Device = FakeHidPlatform::Device;
using WriteMode = FakeHidPlatform::WriteMode;
using Lines = std::vector<std::string>;

Device Interface(std::wstring path, std::uint16_t vid, std::uint16_t pid, std::uint16_t version,
                 std::uint16_t usagePage = 0xFF00, std::uint16_t usage = 0x0002) {
    Device d{std::move(path)};
    d.attributes = HidAttributes{vid, pid, version};
    d.caps = HidCaps{usagePage, usage, 64, 64};
    return d;
}

template <typename Pred>
bool Eventually(Pred pred) {
    for (int i = 0; i < 1000 && !pred(); ++i) ::Sleep(2);
    return pred();
}

class WinHidScan : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                (std::string("tamblor-winscan-") + info->name() + "-" +
                 std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_dir);
        PackageSpec layout;
        layout.segments[0].assign(600, 0x11);  // a small Chip 3 image; the scan never reads it
        m_package = WritePackage(m_dir / "carrier.bin", layout);
    }
    void TearDown() override {
        if (engine) engine->OnDestroy();
        engine.reset();
        std::filesystem::remove_all(m_dir);
    }

    // Start-up as the dialog runs it: threads, package, first scan.
    void Start(std::vector<Device> devices) {
        fake.SetDevices(std::move(devices));
        engine = std::make_unique<CTamblorEngine>(bus, ui, readRetry);
        engine->OnInitDialog(m_package);
    }

    FakeHidPlatform fake;
    win::CWinHidBus bus{fake.Api()};
    RecordingUi ui;
    ReadRetryPolicy readRetry;
    std::unique_ptr<CTamblorEngine> engine;
    std::filesystem::path m_package;

  private:
    std::filesystem::path m_dir;
};

TEST_F(WinHidScan, TakesTheFirstInterfaceThatPassesEveryTest) {
    struct Case {
        const char* name;
        std::vector<Device> devices;
        std::string expectedPath;
    };
    const std::vector<Case> cases = {
        {"vendor collection after another collection",
         {Interface(L"dock#col01", 0x10C4, 0xF505, 0x0100, 0x000C, 0x0001),
          Interface(L"dock#col02", 0x10C4, 0xF505, 0x0100)},
         "dock#col02"},
        {"first of two docks",
         {Interface(L"kbd", 0x046D, 0xC31C, 0x0100), Interface(L"dockA", 0x10C4, 0xF505, 0x0100),
          Interface(L"dockB", 0x10C4, 0xF505, 0x0100)},
         "dockA"},
        {"usage differs",
         {Interface(L"dock#col03", 0x10C4, 0xF505, 0x0100, 0xFF00, 0x0003),
          Interface(L"dock#col02", 0x10C4, 0xF505, 0x0100)},
         "dock#col02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.devices);
        EXPECT_EQ(engine->Link().g_devicePath, c.expectedPath);
        EXPECT_EQ(ui.Lines(), Lines{});
        // The mode query went out on the matched interface, with report ID 2.
        const auto written = fake.Written();
        ASSERT_EQ(written.size(), 1u);
        EXPECT_EQ(written[0].size(), 64u);
        EXPECT_EQ(written[0][0], 2);
        EXPECT_EQ(written[0][4], 7) << "GetMode";
        engine->OnDestroy();
        EXPECT_EQ(fake.OpenHandles(), 0);
        engine.reset();
        ui.Reset();
        fake.ClearWritten();
    }
}

TEST_F(WinHidScan, ExplainsAFailedScan) {
    struct Case {
        const char* name;
        std::vector<Device> devices;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"nothing present", {}, {"No device found!"}},
        {"last examined interface of another vendor",
         {Interface(L"dock", 0x10C4, 0xF503, 0x0100), Interface(L"kbd", 0x046D, 0xC31C, 0x0100)},
         {"No device found!"}},
        {"other product",
         {Interface(L"dock", 0x10C4, 0xF503, 0x0100)},
         {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
          "Device PID: 0XF503 : RQN4103K7"}},
        {"other version number",
         {Interface(L"dock", 0x10C4, 0xF505, 0x0200)},
         {"No device found!", "PID error!", "File PID: 0XF505 : RQN4105K7",
          "Device PID: 0X3305 : Device Name error"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.devices);
        EXPECT_EQ(ui.Lines(), c.lines);
        EXPECT_EQ(engine->Link().g_deviceConnected, 0);
        EXPECT_EQ(fake.OpenHandles(), 0);
        engine->OnDestroy();
        engine.reset();
        ui.Reset();
    }
}

TEST_F(WinHidScan, AHandleThatDoesNotOpenMakesTheDeviceUnusable) {
    auto dock = Interface(L"dock", 0x10C4, 0xF505, 0x0100);
    dock.writeOpenFails = true;
    Start({dock});
    EXPECT_EQ(ui.Lines(), Lines{"device Error!"});
    const auto link = engine->Link();
    EXPECT_EQ(link.g_deviceConnected, 1);
    EXPECT_EQ(link.g_readOpen, 1);
    EXPECT_EQ(link.g_writeOpen, 0);
    EXPECT_FALSE(engine->IsDeviceReady());
}

TEST_F(WinHidScan, AFailedWriteLogsItsErrorCode) {
    auto dock = Interface(L"dock", 0x10C4, 0xF505, 0x0100);
    dock.writeMode = WriteMode::Fail;
    dock.writeError = ERROR_INVALID_HANDLE;
    Start({dock});
    EXPECT_EQ(ui.Lines(), Lines{"Send Error,Error Code is:0x6"});
}

TEST_F(WinHidScan, RepliesReachTheEngineAndRescansReleaseTheOldHandles) {
    Start({Interface(L"dock", 0x10C4, 0xF505, 0x0100)});
    // A 9-byte mode reply (AP mode) read by the engine's reader through the overlapped read.
    fake.WaitForPendingRead(L"dock");
    fake.DeliverInput(L"dock", {2, 7, 0xFE, 0xFF, 7, 0, 0, 0, 0});
    Eventually([&] { return fake.Written().size() >= 2; });
    EXPECT_EQ(ui.Lines(), Lines{"AP device found!"});
    const auto written = fake.Written();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1][4], 8) << "GetVersion follows the AP mode reply";

    // Every HID arrival rescans; the previous read and write handles must not stay open.
    for (int i = 0; i < 3; ++i) engine->OnDeviceChange({DeviceChangeKind::Arrival, "other"});
    // The reader lets go of a replaced read channel once its cancelled read has returned.
    EXPECT_TRUE(Eventually([&] { return fake.OpenHandles(GENERIC_READ) == 1; }));
    EXPECT_EQ(fake.OpenHandles(GENERIC_WRITE), 1);

    // Shutdown with a read pending on the device returns and leaves nothing open.
    fake.WaitForPendingRead(L"dock");
    engine->OnDestroy();
    EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(WinHidScan, ADockThatCannotTakeOurReportsIsUnusable) {
    auto dock = Interface(L"dock", 0x10C4, 0xF505, 0x0100);
    dock.outputReportIds = {1};
    Start({dock});
    EXPECT_EQ(ui.Lines(), Lines{"device Error!"});
    EXPECT_TRUE(fake.Written().empty());
    EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(WinHidScan, ASecondCopyOfTheToolDoesNotWriteToTheDock) {
    Start({Interface(L"dock", 0x10C4, 0xF505, 0x0100)});
    ASSERT_EQ(engine->Link().g_writeOpen, 1);
    win::CWinHidBus otherBus(fake.Api());
    RecordingUi otherUi;
    CTamblorEngine other(otherBus, otherUi);
    other.OnInitDialog(m_package);
    EXPECT_EQ(otherUi.Lines(),
              (Lines{"device Error!",
                     "dock is held by another tamblor.exe or tamblor-cli: end it, then replug "
                     "the dock"}));
    EXPECT_EQ(fake.Written().size(), 1u) << "only the first copy's mode query";
    other.OnDestroy();
}

// The class driver queues writes and a stall shows only at completion: the operator reads
// the error instead of a window that waits for an answer to a report that never went out.
TEST_F(WinHidScan, AWriteThatFailsAtCompletionIsReported) {
    auto dock = Interface(L"dock", 0x10C4, 0xF505, 0x0100);
    dock.writeMode = WriteMode::Pending;
    fake.SetDevices({dock});
    std::thread stall([&] {
        Eventually([&] { return fake.PendingWrites() == 1; });
        fake.CompleteWrites(ERROR_GEN_FAILURE);
    });
    Start({dock});
    stall.join();
    EXPECT_EQ(ui.Lines(), Lines{"Send Error,Error Code is:0x1f"});
}

// A read pending when the dock leaves fails with 5 before the removal notice comes; the
// notice carries the path in upper case where the enumeration gave it in lower case.
TEST_F(WinHidScan, ARemovalIsToldAsSuchThoughTheReadFailedFirst) {
    readRetry = {std::chrono::milliseconds(1), 3};
    const std::wstring path = L"\\\\?\\hid#vid_10c4&pid_f505#7&1a2b&0&0000#{4d1e55b2}";
    Start({Interface(path, 0x10C4, 0xF505, 0x0100)});
    fake.WaitForPendingRead(path);
    fake.RemoveDevice(path);
    // Time enough for a reader that retried to give up many times over.
    ::Sleep(200);
    engine->OnDeviceChange(
        {DeviceChangeKind::Removal, "\\\\?\\HID#VID_10C4&PID_F505#7&1A2B&0&0000#{4D1E55B2}"});
    EXPECT_EQ(ui.Lines(), Lines{"No Device found!"});
    EXPECT_EQ(engine->Link().g_deviceConnected, 0);
}

}  // namespace
}  // namespace tamblor::test
