#include "TamblorDlg.h"

// clang-format off
#include <dbt.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>
#include <cwchar>

#include "DeviceBroadcast.h"
#include "skin/DialogLayout.h"
#include "skin/DialogSkin.h"
#include "winutil/WideText.h"

namespace tamblor::win {
namespace {

// GUID_DEVINTERFACE_HID
constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr wchar_t kCaption[] = L"" TAMBLOR_DLG_CAPTION;

bool ShellReadsRightToLeft() {
    wchar_t layout[4] = {};
    const LCID ui = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
    return ::GetLocaleInfoW(ui, LOCALE_IREADINGLAYOUT, layout, 4) > 0 && layout[0] == L'1';
}

struct MessageBoxSearch {
    HWND owner;
    HWND box;
};

// A function of the platform's calling convention: a lambda converts to a pointer of the
// default one, which is another on 32-bit Windows.
BOOL CALLBACK FindMessageBox(HWND window, LPARAM data) {
    auto& s = *reinterpret_cast<MessageBoxSearch*>(data);
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (::GetWindow(window, GW_OWNER) != s.owner || std::wcscmp(name, L"#32770") != 0) {
        return TRUE;
    }
    s.box = window;
    return FALSE;
}

// The message box this thread shows on behalf of `owner`, if one is up.
HWND MessageBoxOf(HWND owner) {
    MessageBoxSearch search{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

}  // namespace

std::wstring ModulePath() {
    std::wstring path(260, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

CTamblorDlg::CTamblorDlg(IHidBus& bus, HWND parent)
    : CBkDialogKV(IDD_TAMBLOR_DIALOG, parent),
      m_bus(bus),
      m_appIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_engine(std::make_unique<CTamblorEngine>(bus, m_ui)) {}

CTamblorDlg::~CTamblorDlg() {
    // Normally done when the window went; this covers a dialog that was never run.
    m_engine->OnDestroy();
    m_bus.SetDeviceChangeSink({});
}

void CTamblorDlg::DoDataExchange() {
    m_logEdit.Attach(Item(IDC_LOG));
    m_progressBar.Attach(Item(IDC_PROGRESS));
    m_upgradeButton.Attach(Item(IDC_START_UPGRADE));
    m_exitButton.Attach(Item(IDCANCEL));
    m_testButton.Attach(Item(IDC_TEST));
    ::SetDlgItemTextW(m_hwnd, IDC_LOG, Widen(m_log.Text()).c_str());
}

BOOL CTamblorDlg::OnInitDialog() {
    CBkDialogKV::OnInitDialog();
    DoDataExchange();
    AlignVersionStatic();
    ::SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_appIcon));
    ::SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_appIcon));
    m_ui.SetLogWindow(m_hwnd);
    m_logEdit.m_fontTarget = &m_logEdit;
    m_logEdit.SetEditFont(skin::kLogFontFace, skin::kLogFontHeight, skin::kLogFontStyle);
    m_logEdit.SetEditTextColor(skin::kLogTextColor);
    RegisterHidNotification();
    // Buses that see device changes themselves report them on their own threads.
    m_bus.SetDeviceChangeSink(
        [this](const DeviceChange& change) { m_ui.PostDeviceChange(change); });
    m_engine->OnInitDialog(ModulePath());  // I/O threads, package, first scan
    return TRUE;
}

void CTamblorDlg::AlignVersionStatic() {
    // WS_EX_RIGHT counts only where the shell reads right to left and is ignored elsewhere,
    // where SS_CENTER decides. Wine right-aligns a static whenever it is set, so only such
    // shells keep it.
    const HWND version = VersionStatic();
    if (version == nullptr || ShellReadsRightToLeft()) return;
    const LONG_PTR style = ::GetWindowLongPtrW(version, GWL_EXSTYLE);
    ::SetWindowLongPtrW(version, GWL_EXSTYLE, style & ~LONG_PTR{WS_EX_RIGHT});
}

void CTamblorDlg::RegisterHidNotification() {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = kHidInterfaceClass;
    m_notification = ::RegisterDeviceNotificationW(m_hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (m_notification != nullptr) return;
    // Without notices the dock's restart into its boot loader is never seen: say so, once.
    char line[128];
    std::snprintf(line, sizeof line,
                  "Device changes cannot be watched (error %lu): replug the dock and restart "
                  "the tool.",
                  static_cast<unsigned long>(::GetLastError()));
    m_ui.PostLogRecord(LogRecord{line, 0, false});
}

bool CTamblorDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (!OnEngineMessage(msg, wParam, lParam, result)) {
        return OnWindowMessage(msg, wParam, lParam, result);
    }
    // The engine tells the window something whenever a sequence ends (its last line at the
    // least), so this is where the exit question finds out that it no longer holds.
    if (m_askingToExit && !m_engine->IsUpgradeRunning()) {
        if (const HWND box = MessageBoxOf(m_hwnd)) {
            ::SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        }
    }
    return true;
}

bool CTamblorDlg::OnEngineMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_LOG_RECORD:
            result = OnLogRecord(lParam);
            return true;
        case WM_UI_CLEAR_LOG:
            ClearLog();
            return true;
        case WM_UI_PROGRESS:
            m_progressBar.SetPosition(static_cast<int>(wParam));
            return true;
        case WM_UI_FILL_COLOR:
            m_progressBar.SetFillColor(static_cast<std::uint32_t>(wParam), lParam != 0);
            return true;
        case WM_UI_ENABLE_UPGRADE:
            ::EnableWindow(Item(IDC_START_UPGRADE), wParam != 0);
            return true;
        case WM_UI_VERSION_TEXT: {
            const std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
            if (const HWND version = VersionStatic()) {
                ::SetWindowTextW(version, Widen(*text).c_str());
            }
            return true;
        }
        case WM_UI_DEVICE_CHANGE: {
            const std::unique_ptr<DeviceChange> change(reinterpret_cast<DeviceChange*>(lParam));
            m_engine->OnDeviceChange(*change);
            return true;
        }
        default:
            return false;
    }
}

bool CTamblorDlg::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (IsCtlColor(msg)) {
        result = OnCtlColor(msg, wParam, lParam);
        return true;
    }
    switch (msg) {
        case WM_PAINT: {
            bool handled = false;
            OnPaint(handled);
            return handled;
        }
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_appIcon);
            return true;
        case WM_COMMAND:
            return OnCommand(wParam) || CBkDialogKV::OnMessage(msg, wParam, lParam, result);
        case WM_DESTROY:
            OnDestroy();
            return false;
        case WM_DEVICECHANGE:
            result = OnDeviceChange(wParam, lParam);
            return true;
        default:
            return CBkDialogKV::OnMessage(msg, wParam, lParam, result);
    }
}

bool CTamblorDlg::OnCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_LOG && code == EN_SETFOCUS) {
        // The read-only log never keeps the focus.
        ::SetFocus(Item(IDCANCEL));
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDC_SCAN:
            m_engine->OnScan();
            return true;
        case 3:
            // Disabled before the engine hears of it, so that a second click already queued
            // finds the button dead instead of starting the sequence again.
            ::EnableWindow(Item(IDC_START_UPGRADE), FALSE);
            m_engine->OnStartUpgrade();
            return true;
        case IDCANCEL:  // Exit, or Escape
            if (m_askingToExit) return true;
            if (m_engine->IsUpgradeRunning() && !OperatorConfirmsExit()) return true;
            EndDialog(IDCANCEL);
            return true;
        case IDC_TEST:
            m_engine->OnTest();
            return true;
        default:
            return false;
    }
}

bool CTamblorDlg::OperatorConfirmsExit() {
    // Leaving while a chip is being written can leave the dock unable to start. The question
    // goes by itself, unanswered, once the upgrade has ended; the operator then reads the
    // outcome in the log and leaves with one more Exit.
    m_askingToExit = true;
    const int answer = ::MessageBoxW(m_hwnd,
                                     L"The dock is being upgraded right now.\n\nIf you leave "
                                     L"before the upgrade has finished, the dock may not start "
                                     L"until it is upgraded again.\n\nExit anyway?",
                                     kCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    m_askingToExit = false;
    return answer == IDYES;
}

void CTamblorDlg::OnPaint(bool& handled) {
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    SetBackgroundBitmap(IDB_BACKGROUND, client.right, client.bottom);
    constexpr int kIconSize = skin::kButtonIconSize;
    m_exitButton.AssignIcons(IDI_EXIT_HOT, kIconSize, kIconSize, IDI_EXIT, kIconSize, kIconSize);
    m_exitButton.AssignTooltip(L"Exit", true);
    m_exitButton.UseParentBackground(false);
    m_upgradeButton.AssignIcons(IDI_START_UPGRADE_HOT, kIconSize, kIconSize, IDI_START_UPGRADE,
                                kIconSize, kIconSize);
    m_upgradeButton.AssignTooltip(L"Start upgrade", true);
    m_upgradeButton.UseParentBackground(false);
    m_testButton.AssignTooltip(L"Test", true);
    m_testButton.UseParentBackground(false);
    if (!::IsIconic(m_hwnd)) return;  // the dialog's own painting; the erase draws the bitmap
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(m_hwnd, &paint);
    ::SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_appIcon);
    ::EndPaint(m_hwnd, &paint);
    handled = true;
}

LRESULT CTamblorDlg::OnCtlColor(UINT msg, WPARAM wParam, LPARAM lParam) {
    const LRESULT brush = DefaultCtlColor(msg, wParam, lParam);
    const auto dc = reinterpret_cast<HDC>(wParam);
    const auto control = reinterpret_cast<HWND>(lParam);
    const auto nullBrush = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    if (::GetDlgCtrlID(control) == IDC_LOG) {
        ::SetBkColor(dc, 0x00000001);
        return nullBrush;
    }
    if (msg == WM_CTLCOLORSTATIC) {
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::SetBkMode(dc, TRANSPARENT);
        return nullBrush;
    }
    return brush;
}

LRESULT CTamblorDlg::OnDeviceChange(WPARAM event, LPARAM data) {
    return PostDeviceBroadcast(event, data, m_ui);
}

LRESULT CTamblorDlg::OnLogRecord(LPARAM lParam) {
    const std::unique_ptr<LogRecord> record(reinterpret_cast<LogRecord*>(lParam));
    if (!record) return 0;
    const auto effect = m_log.OnLogRecord(*record);
    if (effect.moveBar) m_progressBar.SetPosition(effect.barValue);
    if (!effect.textChanged) return 0;
    const std::wstring text = Widen(m_log.Text());
    ::SetDlgItemTextW(m_hwnd, IDC_LOG, text.c_str());
    const HWND edit = Item(IDC_LOG);
    ::SendMessageW(edit, EM_SETSEL, text.size(), static_cast<LPARAM>(text.size()));
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
    return 0;
}

void CTamblorDlg::ClearLog() {
    ::SetDlgItemTextW(m_hwnd, IDC_LOG, L"");
    m_log.ClearLog();
}

void CTamblorDlg::OnDestroy() {
    m_engine->OnDestroy();  // closes the device, stops the I/O threads, closes the package
    m_bus.SetDeviceChangeSink({});
    if (m_notification) ::UnregisterDeviceNotification(m_notification);
    m_notification = nullptr;
    m_ui.SetLogWindow(nullptr);
    CWinUiPort::DiscardQueued(m_hwnd);
}

HWND CTamblorDlg::VersionStatic() const {
    // The first control of the template with ID -1: the version static.
    for (HWND child = ::GetWindow(m_hwnd, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (static_cast<WORD>(::GetDlgCtrlID(child)) == 0xFFFF) return child;
    }
    return nullptr;
}

}  // namespace tamblor::win
