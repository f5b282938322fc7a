#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidPort.h"
#include "hid/windows/HidApi.h"

namespace tamblor::test {

// A HID bus in memory behind the HidApi table: SetupAPI enumerates the devices in order,
// CreateFileW hands out fake handles, HidD/HidP answer from each device's description, and
// reads and writes complete when the test says so. It checks what the class driver checks:
// share modes, the length and report ID of a write, the length of a read buffer; and it
// fails transfers the way a removal does. One instance at a time is installed.
class FakeHidPlatform {
  public:
    enum class WriteMode { Pending, Immediate, Fail };

    // A link collection of the preparsed data; node 0 is the interface's own collection.
    struct LinkNode {
        USAGE usagePage;
        USAGE usage;
        USHORT parent;
        bool application;  // an application collection (type 1), else a logical one
    };
    // An input item of the preparsed data, as its button or value caps describe it.
    struct InputItem {
        std::uint8_t reportId;
        USHORT linkCollection;
        bool button;
    };

    struct Device {
        std::wstring path;
        bool detailFails = false;
        bool probeFails = false;
        std::optional<HidAttributes> attributes = HidAttributes{0x10C4, 0xF505, 0x0100};
        std::optional<HidCaps> caps = HidCaps{0xFF00, 0x0002, 64, 64};
        bool readOpenFails = false;
        bool writeOpenFails = false;
        WriteMode writeMode = WriteMode::Immediate;
        DWORD writeError = 0;  // the last error of a failed write
        // The IDs of the collection's output reports; empty when its reports carry none.
        std::vector<std::uint8_t> outputReportIds{2};
        // The input report IDs the preparsed data declares (HidP_InitializeReportForID accepts
        // them); empty when its reports carry none.
        std::vector<std::uint8_t> inputReportIds{2};
        // The preparsed data's link collections and input items. Empty: node 0 from the caps
        // alone, and one value in it for each of the input report IDs. Wine 8.0 puts every
        // top-level collection of the device in the first one's preparsed data, each further
        // one as an application collection under node 0.
        std::vector<LinkNode> linkCollections{};
        std::vector<InputItem> inputItems{};
        // A driver that never completes a cancelled or closed transfer.
        bool ignoresCancel = false;
        // What a driver that takes a cancel completes the transfer with: the platform's abort,
        // or a code of the driver's own.
        DWORD cancelError = ERROR_OPERATION_ABORTED;
    };

    struct OpenCall {
        std::wstring path;
        DWORD access;
        DWORD share;
        DWORD disposition;
        DWORD flags;
    };

    FakeHidPlatform();
    ~FakeHidPlatform();
    FakeHidPlatform(const FakeHidPlatform&) = delete;
    FakeHidPlatform& operator=(const FakeHidPlatform&) = delete;

    const win::HidApi& Api() const { return m_api; }

    void SetDevices(std::vector<Device> devices);
    // Completes the pending read on `path` with these bytes, or keeps them for the next read.
    void DeliverInput(const std::wstring& path, std::vector<std::uint8_t> bytes);
    // Completes every pending write; each one's bytes are recorded as written at that moment,
    // or, with an error, none is written and each fails with it.
    void CompleteWrites(DWORD error = 0);
    // Keeps these bytes for the next read on `path` without completing the one pending, as
    // Wine's class driver now and then does under load.
    void QueueInput(const std::wstring& path, std::vector<std::uint8_t> bytes);
    // Completes the pending read on `path` with this error.
    void FailRead(const std::wstring& path, DWORD error);
    // The device leaves: it is no longer listed nor opened, its pending reads fail with 5 and
    // so do its handles' later reads and writes, as on the real stack.
    void RemoveDevice(const std::wstring& path);
    void ClearWritten();
    // Blocks until a read is pending on `path`.
    void WaitForPendingRead(const std::wstring& path);
    // Runs `hook` each time a cancel has reached a transfer, after the driver took it (or kept
    // the transfer, if it ignores cancels) and before CancelIoEx returns; without the fake's
    // lock, so the hook may act on the fake.
    void AfterCancel(std::function<void()> hook);

    // Observations.
    std::vector<std::vector<std::uint8_t>> Written() const;
    std::vector<OpenCall> OpenCalls() const;
    int OpenHandles() const;
    int OpenHandles(DWORD access) const;
    int LiveInfoSets() const;
    int PendingWrites() const;
    int LivePreparsedData() const;
    int Reads() const;
    // CancelIoEx calls that found a transfer of the handle.
    int Cancels() const;

  private:
    struct Handle {
        std::size_t device;
        DWORD access;
        DWORD share;
    };
    struct Transfer {
        HANDLE handle;
        std::uint8_t* buffer;  // reads: where the bytes go; writes: the caller's bytes
        DWORD size;
        OVERLAPPED* overlapped;
    };

    static FakeHidPlatform* Current();
    // Keeps the bytes for the next read of every device at `path`; m_lock held.
    void QueueLocked(const std::wstring& path, std::vector<std::uint8_t> bytes);
    void Complete(Transfer& t, DWORD bytes, DWORD error);
    bool SharingConflicts(std::size_t device, DWORD access, DWORD share) const;
    bool Present(std::size_t device) const;

    // The table's entries.
    static void WINAPI GetHidGuid(LPGUID guid);
    static HDEVINFO WINAPI GetClassDevs(const GUID*, PCWSTR, HWND, DWORD flags);
    static BOOL WINAPI EnumInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                      PSP_DEVICE_INTERFACE_DATA data);
    static BOOL WINAPI GetDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                 PDWORD required, PSP_DEVINFO_DATA);
    static BOOL WINAPI DestroyInfoList(HDEVINFO set);
    static HANDLE WINAPI CreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                    DWORD disposition, DWORD flags, HANDLE);
    static BOOL WINAPI Close(HANDLE handle);
    static BOOLEAN WINAPI GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes);
    static BOOLEAN WINAPI GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data);
    static BOOLEAN WINAPI FreePreparsedData(PHIDP_PREPARSED_DATA data);
    static NTSTATUS WINAPI GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps);
    static NTSTATUS WINAPI GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                                  PHIDP_PREPARSED_DATA data);
    static NTSTATUS WINAPI GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps,
                                         PUSHORT length, PHIDP_PREPARSED_DATA data);
    static NTSTATUS WINAPI GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps,
                                        PUSHORT length, PHIDP_PREPARSED_DATA data);
    static NTSTATUS WINAPI InitializeReportForID(HIDP_REPORT_TYPE type, UCHAR id,
                                                 PHIDP_PREPARSED_DATA data, PCHAR report,
                                                 ULONG length);
    static BOOL WINAPI Read(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD, LPOVERLAPPED ov);
    static BOOL WINAPI Write(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD, LPOVERLAPPED ov);
    static BOOL WINAPI GetResult(HANDLE handle, LPOVERLAPPED ov, LPDWORD bytes, BOOL wait);
    static BOOL WINAPI CancelIo(HANDLE handle, LPOVERLAPPED ov);

    win::HidApi m_api;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Device> m_devices;
    std::vector<bool> m_removed;
    int m_reads = 0;
    int m_cancels = 0;
    std::function<void()> m_afterCancel;
    std::map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_nextHandle = 0x1000;
    int m_liveSets = 0;
    int m_preparsed = 0;
    std::vector<OpenCall> m_openCalls;
    std::vector<Transfer> m_pendingReads;
    std::vector<Transfer> m_pendingWrites;
    std::map<std::size_t, std::deque<std::vector<std::uint8_t>>> m_queuedInput;
    std::vector<std::vector<std::uint8_t>> m_written;
};

}  // namespace tamblor::test
