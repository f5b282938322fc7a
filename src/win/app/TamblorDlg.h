#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "WinUiPort.h"
#include "app/LogModel.h"
#include "app/TamblorEngine.h"
#include "win/controls/BkDialogKV.h"
#include "win/controls/ButtonKV.h"
#include "win/controls/ColorEdit.h"
#include "win/controls/CylinderProgressCtrlKV.h"

namespace tamblor::win {

// The operator window: dialog template 102 over its background bitmap, the log, the progress
// bar and the Start-upgrade and Exit buttons. Commands and device changes go to the engine;
// what the engine has to say comes back as posted messages.
class CTamblorDlg : public CBkDialogKV {
  public:
    CTamblorDlg(IHidBus& bus, HWND parent);
    ~CTamblorDlg() override;

    CTamblorEngine& Engine() { return *m_engine; }

  protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    // What the engine posted; false for any other message.
    bool OnEngineMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void DoDataExchange();
    void AlignVersionStatic();
    bool OperatorConfirmsExit();
    void RegisterHidNotification();
    void OnPaint(bool& handled);
    LRESULT OnCtlColor(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnDeviceChange(WPARAM event, LPARAM data);
    LRESULT OnLogRecord(LPARAM lParam);
    void ClearLog();
    void OnDestroy();
    bool OnCommand(WPARAM wParam);
    HWND VersionStatic() const;

    IHidBus& m_bus;
    HICON m_appIcon = nullptr;
    CColorEdit m_logEdit;
    CLogModel m_log;
    CButtonKV m_upgradeButton;
    CButtonKV m_exitButton;
    CButtonKV m_testButton;
    CCylinderProgressCtrlKV m_progressBar;
    HDEVNOTIFY m_notification = nullptr;
    bool m_askingToExit = false;
    CWinUiPort m_ui;
    std::unique_ptr<CTamblorEngine> m_engine;
};

// The path of the running executable, which carries the firmware package.
std::wstring ModulePath();

}  // namespace tamblor::win
