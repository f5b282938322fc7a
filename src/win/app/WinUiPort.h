#pragma once

#include <windows.h>

#include <atomic>

#include "app/UiPort.h"
#include "hid/HidPort.h"

namespace tamblor::win {

// Private messages of the dialog. WM_LOG_RECORD carries a heap LogRecord in lParam, the others
// their value in wParam or a heap object in lParam; the dialog deletes what it receives.
inline constexpr UINT WM_LOG_RECORD = WM_USER + 3;
inline constexpr UINT WM_UI_CLEAR_LOG = WM_APP + 1;
inline constexpr UINT WM_UI_PROGRESS = WM_APP + 2;        // wParam: position
inline constexpr UINT WM_UI_FILL_COLOR = WM_APP + 3;      // wParam: ARGB, lParam: repaint
inline constexpr UINT WM_UI_ENABLE_UPGRADE = WM_APP + 4;  // wParam: enable
inline constexpr UINT WM_UI_VERSION_TEXT = WM_APP + 5;    // lParam: std::string*
inline constexpr UINT WM_UI_DEVICE_CHANGE = WM_APP + 6;   // lParam: DeviceChange*
inline constexpr UINT kFirstUiMessage = WM_UI_CLEAR_LOG;
inline constexpr UINT kLastUiMessage = WM_UI_DEVICE_CHANGE;

// The engine's view of the window: every call posts to the log window and returns at once.
// Before SetLogWindow, and after it is cleared, everything is dropped.
class CWinUiPort final : public IUiPort {
  public:
    void SetLogWindow(HWND window) { m_window = window; }

    void PostLogRecord(LogRecord record) override;
    void ClearLog() override;
    void SetProgressPosition(int position) override;
    void SetFillColor(std::uint32_t argb, bool repaint) override;
    void EnableUpgradeButton(bool enable) override;
    void SetVersionText(std::string text) override;
    // For buses that report device changes themselves, on their own threads.
    void PostDeviceChange(const DeviceChange& change);

    // Frees what is still queued for `window` once nothing posts any more.
    static void DiscardQueued(HWND window);

  private:
    void Post(UINT msg, WPARAM wParam, LPARAM lParam);
    template <typename T>
    void PostOwned(UINT msg, T* object);

    std::atomic<HWND> m_window{nullptr};
};

}  // namespace tamblor::win
