#include "DeviceBroadcast.h"

#include <dbt.h>

#include "winutil/WideText.h"

namespace tamblor::win {

std::optional<DeviceChange> DeviceChangeFromBroadcast(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return std::nullopt;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return std::nullopt;
    }
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    DeviceChange change;
    change.kind =
        event == DBT_DEVICEARRIVAL ? DeviceChangeKind::Arrival : DeviceChangeKind::Removal;
    change.path = Narrow(broadcast->dbcc_name);
    return change;
}

LRESULT PostDeviceBroadcast(WPARAM event, LPARAM data, CWinUiPort& ui) {
    if (const auto change = DeviceChangeFromBroadcast(event, data)) ui.PostDeviceChange(*change);
    return TRUE;
}

}  // namespace tamblor::win
