// The window's WM_DEVICECHANGE handler on the way to the engine: which broadcasts are device
// changes, and that a removal notice whose path differs in case from the enumeration's (the
// notice writes it in upper case, SetupAPI in lower case) still ends the link.
#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "FakeHidPlatform.h"
#include "app/TamblorEngine.h"
#include "app/TestDoubles.h"
#include "app/TestPackage.h"
#include "hid/windows/WinHidBus.h"
#include "win/app/DeviceBroadcast.h"
#include "winutil/WideText.h"

namespace tamblor::test {
namespace {

const std::wstring kListed =
    L"\\\\?\\hid#vid_10c4&pid_f505&mi_00#7&2f1e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::wstring kNoticed =
    L"\\\\?\\HID#VID_10C4&PID_F505&MI_00#7&2F1E&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// A broadcast as the system builds it: the header, then the name in place.
std::vector<std::uint8_t> InterfaceBroadcast(const std::wstring& name,
                                             DWORD type = DBT_DEVTYP_DEVICEINTERFACE) {
    std::vector<std::uint8_t> bytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) +
                                    name.size() * sizeof(wchar_t));
    auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
    b->dbcc_size = static_cast<DWORD>(bytes.size());
    b->dbcc_devicetype = type;
    std::copy(name.begin(), name.end(), b->dbcc_name);
    b->dbcc_name[name.size()] = L'\0';
    return bytes;
}

LPARAM Param(std::vector<std::uint8_t>& bytes) { return reinterpret_cast<LPARAM>(bytes.data()); }

TEST(DeviceBroadcast, OnlyInterfaceArrivalsAndRemovalsAreChanges) {
    auto removal = InterfaceBroadcast(kNoticed);
    auto volume = InterfaceBroadcast(kNoticed, DBT_DEVTYP_VOLUME);
    const auto arrival = win::DeviceChangeFromBroadcast(DBT_DEVICEARRIVAL, Param(removal));
    ASSERT_TRUE(arrival);
    EXPECT_EQ(arrival->kind, DeviceChangeKind::Arrival);
    const auto gone = win::DeviceChangeFromBroadcast(DBT_DEVICEREMOVECOMPLETE, Param(removal));
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->kind, DeviceChangeKind::Removal);
    EXPECT_EQ(gone->path, win::Narrow(kNoticed));
    EXPECT_FALSE(win::DeviceChangeFromBroadcast(DBT_DEVICEQUERYREMOVE, Param(removal)));
    EXPECT_FALSE(win::DeviceChangeFromBroadcast(DBT_DEVNODES_CHANGED, 0));
    EXPECT_FALSE(win::DeviceChangeFromBroadcast(DBT_DEVICEREMOVECOMPLETE, 0));
    EXPECT_FALSE(win::DeviceChangeFromBroadcast(DBT_DEVICEREMOVECOMPLETE, Param(volume)));
}

// Through the window's handler: the change waits in the dialog's queue, and from there ends
// the link although its path differs in case.
TEST(DeviceBroadcast, AnUpperCaseRemovalPostedByTheHandlerEndsTheLink) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tamblor-broadcast-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    FakeHidPlatform fake;
    fake.SetDevices({FakeHidPlatform::Device{kListed}});
    win::CWinHidBus bus(fake.Api());
    RecordingUi ui;
    const HWND queue = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         nullptr, nullptr);
    ASSERT_NE(queue, nullptr);
    win::CWinUiPort dialogPort;
    dialogPort.SetLogWindow(queue);
    {
        CTamblorEngine engine(bus, ui);
        engine.OnInitDialog(WritePackage(dir / "carrier.bin", PackageSpec{}));
        ASSERT_EQ(engine.Link().g_deviceConnected, 1);
        ui.Reset();
        auto removal = InterfaceBroadcast(kNoticed);
        EXPECT_EQ(win::PostDeviceBroadcast(DBT_DEVICEREMOVECOMPLETE, Param(removal), dialogPort),
                  TRUE);
        EXPECT_EQ(engine.Link().g_deviceConnected, 1) << "handled inside the broadcast";

        MSG msg{};
        ASSERT_TRUE(::PeekMessageW(&msg, queue, win::WM_UI_DEVICE_CHANGE, win::WM_UI_DEVICE_CHANGE,
                                   PM_REMOVE));
        const std::unique_ptr<DeviceChange> change(reinterpret_cast<DeviceChange*>(msg.lParam));
        EXPECT_EQ(engine.OnDeviceChange(*change), 1);
        EXPECT_EQ(engine.Link().g_deviceConnected, 0);
        EXPECT_EQ(ui.Lines(), std::vector<std::string>{"No Device found!"});
        EXPECT_EQ(fake.OpenHandles(GENERIC_WRITE), 0);
    }
    dialogPort.SetLogWindow(nullptr);
    win::CWinUiPort::DiscardQueued(queue);
    ::DestroyWindow(queue);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tamblor::test
