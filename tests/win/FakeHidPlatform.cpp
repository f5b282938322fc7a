#include "FakeHidPlatform.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tamblor::test {
namespace {

std::atomic<FakeHidPlatform*> g_current{nullptr};
const HDEVINFO kInfoSet = reinterpret_cast<HDEVINFO>(std::uintptr_t{0x5E7});
// What the class driver gives a write of the wrong length, and a read buffer too short for
// the collection's input reports.
constexpr DWORD kBadLength = ERROR_INVALID_USER_BUFFER;

using LinkNode = FakeHidPlatform::LinkNode;
using InputItem = FakeHidPlatform::InputItem;

// A copy of the device's description, freed by FreePreparsedData.
struct Preparsed {
    HidCaps caps;
    std::vector<std::uint8_t> outputReportIds;
    std::vector<std::uint8_t> inputReportIds;
    std::vector<LinkNode> nodes;
    std::vector<InputItem> items;
};

Preparsed* MakePreparsed(const FakeHidPlatform::Device& device) {
    auto* p = new Preparsed{*device.caps, device.outputReportIds, device.inputReportIds,
                            device.linkCollections, device.inputItems};
    if (p->nodes.empty()) p->nodes.push_back(LinkNode{p->caps.usagePage, p->caps.usage, 0, true});
    if (p->items.empty() && p->caps.inputReportByteLength != 0) {
        if (p->inputReportIds.empty()) p->items.push_back(InputItem{0, 0, false});
        for (const std::uint8_t id : p->inputReportIds) p->items.push_back(InputItem{id, 0, false});
    }
    return p;
}

// The button or value caps of the preparsed data's input items, in order.
template <typename Caps>
NTSTATUS InputCaps(HIDP_REPORT_TYPE type, bool buttons, Caps* caps, PUSHORT length,
                   PHIDP_PREPARSED_DATA data) {
    const auto& source = *reinterpret_cast<Preparsed*>(data);
    std::vector<Caps> found;
    if (type == HidP_Input) {
        for (const InputItem& item : source.items) {
            if (item.button != buttons) continue;
            Caps c{};
            c.ReportID = item.reportId;
            c.LinkCollection = item.linkCollection;
            c.LinkUsagePage = source.nodes.at(item.linkCollection).usagePage;
            c.LinkUsage = source.nodes.at(item.linkCollection).usage;
            found.push_back(c);
        }
    }
    if (found.empty()) {
        *length = 0;
        return HIDP_STATUS_USAGE_NOT_FOUND;  // what the class driver answers for no caps
    }
    if (*length < found.size()) {
        *length = static_cast<USHORT>(found.size());
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    std::copy(found.begin(), found.end(), caps);
    *length = static_cast<USHORT>(found.size());
    return HIDP_STATUS_SUCCESS;
}

}  // namespace

FakeHidPlatform::FakeHidPlatform() {
    m_api = win::HidApi{GetHidGuid,
                        GetClassDevs,
                        EnumInterfaces,
                        GetDetail,
                        DestroyInfoList,
                        CreateFile,
                        Close,
                        GetAttributes,
                        GetPreparsedData,
                        FreePreparsedData,
                        GetCaps,
                        InitializeReportForID,
                        GetLinkCollectionNodes,
                        GetButtonCaps,
                        GetValueCaps,
                        Read,
                        Write,
                        GetResult,
                        CancelIo};
    g_current = this;
}

FakeHidPlatform::~FakeHidPlatform() { g_current = nullptr; }

FakeHidPlatform* FakeHidPlatform::Current() { return g_current.load(); }

void FakeHidPlatform::SetDevices(std::vector<Device> devices) {
    std::lock_guard lock(m_lock);
    m_devices = std::move(devices);
    m_removed.assign(m_devices.size(), false);
    m_queuedInput.clear();  // a new bus: nothing of the last one's reports
}

// The fake's own convention: Internal holds the Win32 error that its GetResult reports.
void FakeHidPlatform::Complete(Transfer& t, DWORD bytes, DWORD error) {
    t.overlapped->Internal = error;
    t.overlapped->InternalHigh = bytes;
    ::SetEvent(t.overlapped->hEvent);
}

bool FakeHidPlatform::Present(std::size_t device) const {
    return device < m_removed.size() && !m_removed[device];
}

bool FakeHidPlatform::SharingConflicts(std::size_t device, DWORD access, DWORD share) const {
    // Read and write rights asked for must be shared by every open handle, and every open
    // handle's rights by the new one's share mode. Probes (no rights) never conflict.
    const auto rights = [](DWORD a) {
        return ((a & GENERIC_READ) ? FILE_SHARE_READ : 0u) |
               ((a & GENERIC_WRITE) ? FILE_SHARE_WRITE : 0u);
    };
    return std::any_of(m_handles.begin(), m_handles.end(), [&](const auto& h) {
        if (h.second.device != device) return false;
        return (rights(access) & ~h.second.share) != 0 || (rights(h.second.access) & ~share) != 0;
    });
}

void FakeHidPlatform::DeliverInput(const std::wstring& path, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(m_lock);
    for (auto it = m_pendingReads.begin(); it != m_pendingReads.end(); ++it) {
        const auto device = m_handles.at(reinterpret_cast<std::uintptr_t>(it->handle)).device;
        if (m_devices[device].path != path) continue;
        // A report fills the collection's input length, whatever the test gave.
        const auto length =
            bytes.empty()
                ? std::size_t{0}
                : std::size_t{m_devices[device].caps.value_or(HidCaps{}).inputReportByteLength};
        bytes.resize(std::max(bytes.size(), length));
        const auto n = std::min<DWORD>(it->size, static_cast<DWORD>(bytes.size()));
        std::memcpy(it->buffer, bytes.data(), n);
        Complete(*it, n, 0);
        m_pendingReads.erase(it);
        return;
    }
    QueueLocked(path, std::move(bytes));
}

void FakeHidPlatform::CompleteWrites(DWORD error) {
    std::lock_guard lock(m_lock);
    for (auto& t : m_pendingWrites) {
        if (error == 0) m_written.emplace_back(t.buffer, t.buffer + t.size);
        Complete(t, error == 0 ? t.size : 0, error);
    }
    m_pendingWrites.clear();
}

void FakeHidPlatform::QueueInput(const std::wstring& path, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(m_lock);
    QueueLocked(path, std::move(bytes));
}

void FakeHidPlatform::QueueLocked(const std::wstring& path, std::vector<std::uint8_t> bytes) {
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].path == path) m_queuedInput[i].push_back(bytes);
    }
}

void FakeHidPlatform::FailRead(const std::wstring& path, DWORD error) {
    std::lock_guard lock(m_lock);
    std::erase_if(m_pendingReads, [&](Transfer& t) {
        const auto device = m_handles.at(reinterpret_cast<std::uintptr_t>(t.handle)).device;
        if (m_devices[device].path != path) return false;
        Complete(t, 0, error);
        return true;
    });
}

void FakeHidPlatform::RemoveDevice(const std::wstring& path) {
    std::lock_guard lock(m_lock);
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].path == path) m_removed[i] = true;
    }
    for (auto* list : {&m_pendingReads, &m_pendingWrites}) {
        std::erase_if(*list, [&](Transfer& t) {
            const auto device = m_handles.at(reinterpret_cast<std::uintptr_t>(t.handle)).device;
            if (Present(device)) return false;
            Complete(t, 0, ERROR_ACCESS_DENIED);
            return true;
        });
    }
}

void FakeHidPlatform::ClearWritten() {
    std::lock_guard lock(m_lock);
    m_written.clear();
}

void FakeHidPlatform::WaitForPendingRead(const std::wstring& path) {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [&] {
        return std::any_of(m_pendingReads.begin(), m_pendingReads.end(), [&](const Transfer& t) {
            return m_devices[m_handles.at(reinterpret_cast<std::uintptr_t>(t.handle)).device]
                       .path == path;
        });
    });
}

std::vector<std::vector<std::uint8_t>> FakeHidPlatform::Written() const {
    std::lock_guard lock(m_lock);
    return m_written;
}

std::vector<FakeHidPlatform::OpenCall> FakeHidPlatform::OpenCalls() const {
    std::lock_guard lock(m_lock);
    return m_openCalls;
}

int FakeHidPlatform::OpenHandles() const {
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_handles.size());
}

int FakeHidPlatform::OpenHandles(DWORD access) const {
    std::lock_guard lock(m_lock);
    return static_cast<int>(std::count_if(m_handles.begin(), m_handles.end(), [&](const auto& h) {
        return h.second.access == access;
    }));
}

int FakeHidPlatform::LiveInfoSets() const {
    std::lock_guard lock(m_lock);
    return m_liveSets;
}

int FakeHidPlatform::PendingWrites() const {
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_pendingWrites.size());
}

int FakeHidPlatform::LivePreparsedData() const {
    std::lock_guard lock(m_lock);
    return m_preparsed;
}

int FakeHidPlatform::Reads() const {
    std::lock_guard lock(m_lock);
    return m_reads;
}

int FakeHidPlatform::Cancels() const {
    std::lock_guard lock(m_lock);
    return m_cancels;
}

void FakeHidPlatform::AfterCancel(std::function<void()> hook) {
    std::lock_guard lock(m_lock);
    m_afterCancel = std::move(hook);
}

void WINAPI FakeHidPlatform::GetHidGuid(LPGUID guid) {
    // GUID_DEVINTERFACE_HID
    *guid = GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

HDEVINFO WINAPI FakeHidPlatform::GetClassDevs(const GUID*, PCWSTR, HWND, DWORD flags) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    if (flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) return INVALID_HANDLE_VALUE;
    ++self->m_liveSets;
    return kInfoSet;
}

BOOL WINAPI FakeHidPlatform::EnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*,
                                            DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    if (set == kInfoSet && data->cbSize == sizeof *data) {
        DWORD seen = 0;
        for (std::size_t i = 0; i < self->m_devices.size(); ++i) {
            if (!self->Present(i) || seen++ != index) continue;
            data->Reserved = i;
            return TRUE;
        }
    }
    ::SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL WINAPI FakeHidPlatform::GetDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                       PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                       PDWORD required, PSP_DEVINFO_DATA) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    const auto& device = self->m_devices.at(data->Reserved);
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (device.path.size() + 1) * sizeof(wchar_t));
    if (required) *required = needed;
    if (detail == nullptr || size < needed) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (device.detailFails || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        ::SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, device.path.c_str(),
                (device.path.size() + 1) * sizeof(wchar_t));
    return TRUE;
}

BOOL WINAPI FakeHidPlatform::DestroyInfoList(HDEVINFO set) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    if (set != kInfoSet) return FALSE;
    --self->m_liveSets;
    return TRUE;
}

HANDLE WINAPI FakeHidPlatform::CreateFile(LPCWSTR path, DWORD access, DWORD share,
                                          LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                                          HANDLE) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    self->m_openCalls.push_back({path, access, share, disposition, flags});
    for (std::size_t i = 0; i < self->m_devices.size(); ++i) {
        const auto& device = self->m_devices[i];
        if (device.path != path || !self->Present(i)) continue;
        const bool fails = (access == 0 && device.probeFails) ||
                           (access == GENERIC_READ && device.readOpenFails) ||
                           (access == GENERIC_WRITE && device.writeOpenFails);
        if (fails) break;
        if (self->SharingConflicts(i, access, share)) {
            ::SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        const auto value = self->m_nextHandle;
        self->m_nextHandle += 0x10;
        self->m_handles[value] = Handle{i, access, share};
        return reinterpret_cast<HANDLE>(value);
    }
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI FakeHidPlatform::Close(HANDLE handle) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    const auto key = reinterpret_cast<std::uintptr_t>(handle);
    const auto it = self->m_handles.find(key);
    if (it == self->m_handles.end()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const bool ignoresCancel = self->m_devices[it->second.device].ignoresCancel;
    self->m_handles.erase(it);
    // Closing a handle ends its I/O, as the platform does; a driver that ignores cancels
    // never completes it (the transfer is forgotten here, its OVERLAPPED never written).
    for (auto* list : {&self->m_pendingReads, &self->m_pendingWrites}) {
        std::erase_if(*list, [&](Transfer& t) {
            if (t.handle != handle) return false;
            if (!ignoresCancel) self->Complete(t, 0, ERROR_OPERATION_ABORTED);
            return true;
        });
    }
    return TRUE;
}

BOOLEAN WINAPI FakeHidPlatform::GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    const auto it = self->m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == self->m_handles.end() || attributes->Size != sizeof *attributes) return FALSE;
    const auto& device = self->m_devices[it->second.device];
    if (!device.attributes) return FALSE;
    attributes->VendorID = device.attributes->vendorId;
    attributes->ProductID = device.attributes->productId;
    attributes->VersionNumber = device.attributes->versionNumber;
    return TRUE;
}

BOOLEAN WINAPI FakeHidPlatform::GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    const auto it = self->m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == self->m_handles.end()) return FALSE;
    const auto& device = self->m_devices[it->second.device];
    if (!device.caps) return FALSE;
    ++self->m_preparsed;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(MakePreparsed(device));
    return TRUE;
}

BOOLEAN WINAPI FakeHidPlatform::FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    --self->m_preparsed;
    delete reinterpret_cast<Preparsed*>(data);
    return TRUE;
}

NTSTATUS WINAPI FakeHidPlatform::GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const auto& preparsed = *reinterpret_cast<Preparsed*>(data);
    const auto& source = preparsed.caps;
    *caps = HIDP_CAPS{};
    caps->UsagePage = source.usagePage;
    caps->Usage = source.usage;
    caps->InputReportByteLength = source.inputReportByteLength;
    caps->OutputReportByteLength = source.outputReportByteLength;
    caps->NumberLinkCollectionNodes = static_cast<USHORT>(preparsed.nodes.size());
    for (const InputItem& item : preparsed.items) {
        ++(item.button ? caps->NumberInputButtonCaps : caps->NumberInputValueCaps);
    }
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI FakeHidPlatform::GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes,
                                                        PULONG length, PHIDP_PREPARSED_DATA data) {
    const auto& source = reinterpret_cast<Preparsed*>(data)->nodes;
    if (*length < source.size()) {
        *length = static_cast<ULONG>(source.size());
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    for (std::size_t i = 0; i < source.size(); ++i) {
        nodes[i] = HIDP_LINK_COLLECTION_NODE{};
        nodes[i].LinkUsagePage = source[i].usagePage;
        nodes[i].LinkUsage = source[i].usage;
        nodes[i].Parent = source[i].parent;
        nodes[i].CollectionType = source[i].application ? 1 : 2;
    }
    // Children and siblings, as the class driver links them.
    for (std::size_t i = source.size(); i-- > 1;) {
        auto& parent = nodes[source[i].parent];
        nodes[i].NextSibling = parent.FirstChild;
        parent.FirstChild = static_cast<USHORT>(i);
        ++parent.NumberOfChildren;
    }
    *length = static_cast<ULONG>(source.size());
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI FakeHidPlatform::GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps,
                                               PUSHORT length, PHIDP_PREPARSED_DATA data) {
    return InputCaps(type, true, caps, length, data);
}

NTSTATUS WINAPI FakeHidPlatform::GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps,
                                              PUSHORT length, PHIDP_PREPARSED_DATA data) {
    return InputCaps(type, false, caps, length, data);
}

NTSTATUS WINAPI FakeHidPlatform::InitializeReportForID(HIDP_REPORT_TYPE type, UCHAR id,
                                                       PHIDP_PREPARSED_DATA data, PCHAR report,
                                                       ULONG length) {
    const auto& source = *reinterpret_cast<Preparsed*>(data);
    if (type != HidP_Output && type != HidP_Input) return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    const bool output = type == HidP_Output;
    const auto expected =
        output ? source.caps.outputReportByteLength : source.caps.inputReportByteLength;
    if (length != expected) return HIDP_STATUS_INVALID_REPORT_LENGTH;
    const auto& ids = output ? source.outputReportIds : source.inputReportIds;
    const bool declared =
        ids.empty() ? id == 0 : std::find(ids.begin(), ids.end(), id) != ids.end();
    if (!declared) return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    std::memset(report, 0, length);
    report[0] = static_cast<CHAR>(id);
    return HIDP_STATUS_SUCCESS;
}

BOOL WINAPI FakeHidPlatform::Read(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD,
                                  LPOVERLAPPED ov) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    const auto it = self->m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == self->m_handles.end() || it->second.access != GENERIC_READ || ov == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++self->m_reads;
    const auto& device = self->m_devices[it->second.device];
    if (!self->Present(it->second.device)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (size < device.caps.value_or(HidCaps{}).inputReportByteLength) {
        ::SetLastError(kBadLength);
        return FALSE;
    }
    Transfer t{handle, static_cast<std::uint8_t*>(buffer), size, ov};
    ::ResetEvent(ov->hEvent);
    auto& queued = self->m_queuedInput[it->second.device];
    if (!queued.empty()) {
        auto bytes = queued.front();
        if (!bytes.empty())
            bytes.resize(std::max<std::size_t>(
                bytes.size(), device.caps.value_or(HidCaps{}).inputReportByteLength));
        const auto n = std::min<DWORD>(size, static_cast<DWORD>(bytes.size()));
        std::memcpy(buffer, bytes.data(), n);
        queued.pop_front();
        self->Complete(t, n, 0);
    } else {
        self->m_pendingReads.push_back(t);
        self->m_changed.notify_all();
    }
    ::SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI FakeHidPlatform::Write(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD,
                                   LPOVERLAPPED ov) {
    auto* self = Current();
    std::lock_guard lock(self->m_lock);
    const auto it = self->m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == self->m_handles.end() || it->second.access != GENERIC_WRITE || ov == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto& device = self->m_devices[it->second.device];
    auto* bytes = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
    // The class driver's checks: the whole output report, with an ID the collection declares.
    if (!self->Present(it->second.device)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (size != device.caps.value_or(HidCaps{}).outputReportByteLength) {
        ::SetLastError(kBadLength);
        return FALSE;
    }
    const auto& ids = device.outputReportIds;
    if (ids.empty() ? bytes[0] != 0 : std::find(ids.begin(), ids.end(), bytes[0]) == ids.end()) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Transfer t{handle, bytes, size, ov};
    switch (device.writeMode) {
        case WriteMode::Immediate:
            self->m_written.emplace_back(bytes, bytes + size);
            self->Complete(t, size, 0);
            return TRUE;
        case WriteMode::Pending:
            ::ResetEvent(ov->hEvent);
            self->m_pendingWrites.push_back(t);
            ::SetLastError(ERROR_IO_PENDING);
            return FALSE;
        case WriteMode::Fail:
            break;
    }
    ::SetLastError(device.writeError);
    return FALSE;
}

BOOL WINAPI FakeHidPlatform::GetResult(HANDLE, LPOVERLAPPED ov, LPDWORD bytes, BOOL wait) {
    if (::WaitForSingleObject(ov->hEvent, wait ? INFINITE : 0) != WAIT_OBJECT_0) {
        ::SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    if (ov->Internal != 0) {
        ::SetLastError(static_cast<DWORD>(ov->Internal));
        return FALSE;
    }
    *bytes = static_cast<DWORD>(ov->InternalHigh);
    return TRUE;
}

BOOL WINAPI FakeHidPlatform::CancelIo(HANDLE handle, LPOVERLAPPED ov) {
    auto* self = Current();
    std::function<void()> hook;
    bool found = false;
    {
        std::lock_guard lock(self->m_lock);
        for (auto* list : {&self->m_pendingReads, &self->m_pendingWrites}) {
            std::erase_if(*list, [&](Transfer& t) {
                if (t.handle != handle || (ov != nullptr && t.overlapped != ov)) return false;
                found = true;
                const auto& device =
                    self->m_devices[self->m_handles.at(reinterpret_cast<std::uintptr_t>(handle))
                                        .device];
                if (device.ignoresCancel) return false;
                self->Complete(t, 0, device.cancelError);
                return true;
            });
        }
        if (found) {
            ++self->m_cancels;
            hook = self->m_afterCancel;
        }
    }
    if (hook) hook();
    if (!found) ::SetLastError(ERROR_NOT_FOUND);
    return found ? TRUE : FALSE;
}

}  // namespace tamblor::test
