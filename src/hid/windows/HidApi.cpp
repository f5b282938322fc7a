#include "HidApi.h"

namespace tamblor::win {

const HidApi& SystemHidApi() {
    static const HidApi api{
        ::HidD_GetHidGuid,
        ::SetupDiGetClassDevsW,
        ::SetupDiEnumDeviceInterfaces,
        ::SetupDiGetDeviceInterfaceDetailW,
        ::SetupDiDestroyDeviceInfoList,
        ::CreateFileW,
        ::CloseHandle,
        ::HidD_GetAttributes,
        ::HidD_GetPreparsedData,
        ::HidD_FreePreparsedData,
        ::HidP_GetCaps,
        ::HidP_InitializeReportForID,
        ::HidP_GetLinkCollectionNodes,
        ::HidP_GetButtonCaps,
        ::HidP_GetValueCaps,
        ::ReadFile,
        ::WriteFile,
        ::GetOverlappedResult,
        ::CancelIoEx,
    };
    return api;
}

}  // namespace tamblor::win
