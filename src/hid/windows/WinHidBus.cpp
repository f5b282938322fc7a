#include "WinHidBus.h"

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "InputReportIds.h"
#include "isp/IspReport.h"
#include "winutil/WideText.h"

namespace tamblor::win {
namespace {

// A device information set, destroyed on every way out of the enumeration.
class CDeviceInfoSet {
  public:
    CDeviceInfoSet(const HidApi& api, HDEVINFO set) : m_api(api), m_set(set) {}
    ~CDeviceInfoSet() {
        if (Valid()) m_api.SetupDiDestroyDeviceInfoList(m_set);
    }
    CDeviceInfoSet(const CDeviceInfoSet&) = delete;
    CDeviceInfoSet& operator=(const CDeviceInfoSet&) = delete;
    bool Valid() const { return m_set != INVALID_HANDLE_VALUE && m_set != nullptr; }
    HDEVINFO Get() const { return m_set; }

  private:
    const HidApi& m_api;
    HDEVINFO m_set;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Probes and readers share the device with everyone; the writer shares it with readers only,
// so a second copy of the tool cannot write to a dock that this one is upgrading.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareWithReaders = FILE_SHARE_READ;

}  // namespace

HANDLE CWinHidBus::Open(const std::string& path, DWORD access, DWORD share, DWORD flags) const {
    return m_api.CreateFileW(Widen(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

void CWinHidBus::Probe(HidInterfaceInfo& info) const {
    // No access rights: enough for the attribute and capability queries, and it works on
    // devices that another program holds open, such as keyboards.
    CDeviceHandle probe(m_api, Open(info.path, 0, kShareAll, 0));
    if (!probe.Valid()) return;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!m_api.HidD_GetAttributes(probe.Get(), &attributes)) return;
    info.attributes =
        HidAttributes{attributes.VendorID, attributes.ProductID, attributes.VersionNumber};
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!m_api.HidD_GetPreparsedData(probe.Get(), &preparsed)) return;
    HIDP_CAPS caps{};
    NTSTATUS status = m_api.HidP_GetCaps(preparsed, &caps);
    // Every report the tool sends carries the dock's report ID, and the class driver fails a
    // write to an ID the collection does not declare (87). A collection without it has no
    // output report of ours: its length says none, so the scan never opens it.
    if (status == HIDP_STATUS_SUCCESS) {
        // Reports the read channel could not tell from another collection's: refused as an
        // interface that could not be queried.
        auto ids = OwnInputReportIds(m_api, preparsed, caps);
        if (ids) {
            info.inputReportIds = std::move(*ids);
        } else {
            status = HIDP_STATUS_INVALID_PREPARSED_DATA;
        }
    }
    if (status == HIDP_STATUS_SUCCESS && caps.OutputReportByteLength != 0) {
        std::vector<char> report(caps.OutputReportByteLength);
        if (m_api.HidP_InitializeReportForID(HidP_Output, kReportId, preparsed, report.data(),
                                             caps.OutputReportByteLength) != HIDP_STATUS_SUCCESS) {
            caps.OutputReportByteLength = 0;
        }
    }
    m_api.HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) return;
    info.caps = HidCaps{caps.UsagePage, caps.Usage, caps.InputReportByteLength,
                        caps.OutputReportByteLength};
}

std::vector<HidInterfaceInfo> CWinHidBus::EnumerateInterfaces() {
    std::vector<HidInterfaceInfo> found;
    GUID hidGuid{};
    m_api.HidD_GetHidGuid(&hidGuid);
    CDeviceInfoSet set(m_api, m_api.SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr,
                                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.Valid()) return found;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!m_api.SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hidGuid, index, &data)) break;
        DWORD required = 0;
        m_api.SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::unique_ptr<void, FreeDeleter> buffer(std::malloc(required));
        if (!buffer) return {};  // out of memory: as if nothing had matched
        auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!m_api.SetupDiGetDeviceInterfaceDetailW(set.Get(), &data, detail, required, nullptr,
                                                    nullptr)) {
            continue;
        }
        HidInterfaceInfo info;
        info.path = Narrow(detail->DevicePath);
        Probe(info);
        found.push_back(std::move(info));
    }
    return found;
}

std::unique_ptr<IHidReadChannel> CWinHidBus::OpenRead(const std::string& path) {
    const HANDLE device = Open(path, GENERIC_READ, kShareAll, FILE_FLAG_OVERLAPPED);
    if (device == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<CWinHidReadChannel>(m_api, device, m_timeouts);
}

std::unique_ptr<IHidReadChannel> CWinHidBus::OpenInterfaceRead(const HidInterfaceInfo& info) {
    const HANDLE device = Open(info.path, GENERIC_READ, kShareAll, FILE_FLAG_OVERLAPPED);
    if (device == INVALID_HANDLE_VALUE) return nullptr;
    WinHidReportFilter filter;
    filter.byId = !info.inputReportIds.empty();
    for (const std::uint8_t id : info.inputReportIds) filter.ids.set(id);
    return std::make_unique<CWinHidReadChannel>(m_api, device, m_timeouts, filter);
}

std::unique_ptr<IHidWriteChannel> CWinHidBus::OpenWrite(const std::string& path) {
    const HANDLE device = Open(path, GENERIC_WRITE, kShareWithReaders, FILE_FLAG_OVERLAPPED);
    const DWORD error = device == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    {
        std::lock_guard lock(m_lock);
        m_busyPath = error == ERROR_SHARING_VIOLATION ? path : std::string();
    }
    if (device == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<CWinHidWriteChannel>(m_api, device, m_timeouts);
}

std::string CWinHidBus::OpenFailureHint() const {
    std::lock_guard lock(m_lock);
    if (m_busyPath.empty()) return {};
    return m_busyPath +
           " is held by another tamblor.exe or tamblor-cli: end it, then replug the dock";
}

}  // namespace tamblor::win
