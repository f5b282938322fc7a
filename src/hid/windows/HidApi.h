#pragma once

// clang-format off
#include <windows.h>
#include <setupapi.h>
// The HID headers declare plain C functions without saying so.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

namespace tamblor::win {

// Every platform call the HID layer makes that touches the machine's HID devices. The layer
// calls only through this table, so tests can put a fake bus behind it; events and waits are
// not part of it and stay real.
struct HidApi {
    decltype(&::HidD_GetHidGuid) HidD_GetHidGuid;
    decltype(&::SetupDiGetClassDevsW) SetupDiGetClassDevsW;
    decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces;
    decltype(&::SetupDiGetDeviceInterfaceDetailW) SetupDiGetDeviceInterfaceDetailW;
    decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::HidD_GetAttributes) HidD_GetAttributes;
    decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData;
    decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData;
    decltype(&::HidP_GetCaps) HidP_GetCaps;
    decltype(&::HidP_InitializeReportForID) HidP_InitializeReportForID;
    decltype(&::HidP_GetLinkCollectionNodes) HidP_GetLinkCollectionNodes;
    decltype(&::HidP_GetButtonCaps) HidP_GetButtonCaps;
    decltype(&::HidP_GetValueCaps) HidP_GetValueCaps;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::GetOverlappedResult) GetOverlappedResult;
    decltype(&::CancelIoEx) CancelIoEx;
};

// The table of the real system calls.
const HidApi& SystemHidApi();

// A device handle opened through a HidApi table and closed through the same table.
class CDeviceHandle {
  public:
    CDeviceHandle(const HidApi& api, HANDLE handle) : m_api(&api), m_handle(handle) {}
    ~CDeviceHandle() { Reset(); }
    CDeviceHandle(const CDeviceHandle&) = delete;
    CDeviceHandle& operator=(const CDeviceHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    void Reset() {
        if (Valid()) m_api->CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

  private:
    const HidApi* m_api;
    HANDLE m_handle;
};

}  // namespace tamblor::win
