#include "WinUiPort.h"

#include <memory>

namespace tamblor::win {

void CWinUiPort::Post(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (const HWND window = m_window.load()) ::PostMessageW(window, msg, wParam, lParam);
}

template <typename T>
void CWinUiPort::PostOwned(UINT msg, T* object) {
    std::unique_ptr<T> owned(object);
    const HWND window = m_window.load();
    if (window == nullptr) return;
    // From here the message owns the object; a failed post leaves it with us.
    if (::PostMessageW(window, msg, 0, reinterpret_cast<LPARAM>(owned.get()))) owned.release();
}

void CWinUiPort::PostLogRecord(LogRecord record) {
    PostOwned(WM_LOG_RECORD, new LogRecord(std::move(record)));
}

void CWinUiPort::ClearLog() { Post(WM_UI_CLEAR_LOG, 0, 0); }

void CWinUiPort::SetProgressPosition(int position) {
    Post(WM_UI_PROGRESS, static_cast<WPARAM>(position), 0);
}

void CWinUiPort::SetFillColor(std::uint32_t argb, bool repaint) {
    Post(WM_UI_FILL_COLOR, argb, repaint ? 1 : 0);
}

void CWinUiPort::EnableUpgradeButton(bool enable) { Post(WM_UI_ENABLE_UPGRADE, enable ? 1 : 0, 0); }

void CWinUiPort::SetVersionText(std::string text) {
    PostOwned(WM_UI_VERSION_TEXT, new std::string(std::move(text)));
}

void CWinUiPort::PostDeviceChange(const DeviceChange& change) {
    PostOwned(WM_UI_DEVICE_CHANGE, new DeviceChange(change));
}

void CWinUiPort::DiscardQueued(HWND window) {
    MSG msg;
    while (::PeekMessageW(&msg, window, WM_LOG_RECORD, WM_LOG_RECORD, PM_REMOVE)) {
        delete reinterpret_cast<LogRecord*>(msg.lParam);
    }
    while (::PeekMessageW(&msg, window, kFirstUiMessage, kLastUiMessage, PM_REMOVE)) {
        if (msg.message == WM_UI_VERSION_TEXT) delete reinterpret_cast<std::string*>(msg.lParam);
        if (msg.message == WM_UI_DEVICE_CHANGE) delete reinterpret_cast<DeviceChange*>(msg.lParam);
    }
}

}  // namespace tamblor::win
