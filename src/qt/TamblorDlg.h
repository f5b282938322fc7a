#pragma once

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "QtUiPort.h"
#include "app/LogModel.h"
#include "app/TamblorEngine.h"
#include "controls/BkDialogKV.h"
#include "controls/ButtonKV.h"
#include "controls/ColorEdit.h"
#include "controls/CylinderProgressCtrlKV.h"
#include "hid/HidPort.h"

class QMessageBox;
class QSocketNotifier;

namespace tamblor {

// The operator window: the log, the cylinder bar, Start upgrade and Exit over the background
// picture, with the engine behind it. The engine's reader thread reaches the widgets only
// through queued events.
class CTamblorDlg : public CBkDialogKV, private IUiReceiver {
    Q_OBJECT

  public:
    // `executable` carries the firmware package.
    CTamblorDlg(IHidBus& bus, std::filesystem::path executable, QWidget* parent = nullptr);
    ~CTamblorDlg() override;

    // Initialises the dialog, then runs it until Exit; returns the dialog's result.
    int DoModal();
    // Icons, log window, log font and colour, device notifications, then the engine's
    // start-up: I/O threads, package, scan. Once only.
    void OnInitDialog();

    // The question Exit asks while a chip is being written, open only while it waits for an
    // answer; it closes by itself, unanswered, once the upgrade has ended.
    QMessageBox* ExitConfirmation() const { return m_exitConfirmation; }

    CTamblorEngine& Engine() { return *m_engine; }
    const CLogModel& Log() const { return m_log; }
    CColorEdit* LogEdit() const { return m_logEdit; }
    CCylinderProgressCtrlKV* ProgressBar() const { return m_progressBar; }
    CButtonKV* UpgradeButton() const { return m_upgradeButton; }
    CButtonKV* ExitButton() const { return m_exitButton; }
    CButtonKV* TestButton() const { return m_testButton; }
    QPushButton* ScanButton() const { return m_scanButton; }
    QLabel* VersionStatic() const { return m_versionStatic; }
    bool IsDestroyed() const { return m_destroyed; }

  public slots:
    void reject() override;
    void done(int result) override;

  protected:
    void OnPaint() override;

  private:
    void CreateControls();
    void RegisterHidNotification();
    void OnScan();
    void OnStartUpgrade();
    void OnTest();
    void OnExit();
    bool OperatorConfirmsExit();
    void OnLogSetFocus();
    void OnDeviceChange(const DeviceChange& change);
    void OnDestroy();

    // IUiReceiver
    void OnLogRecord(const LogRecord& record) override;
    void ClearLog() override;
    void SetProgressPosition(int position) override;
    void SetFillColor(std::uint32_t argb, bool repaint) override;
    void EnableUpgradeButton(bool enable) override;
    void SetVersionText(const QString& text) override;
    void AfterEngineCall() override;

    IHidBus& m_bus;
    std::filesystem::path m_executable;
    QIcon m_appIcon;

    QPushButton* m_scanButton = nullptr;
    CButtonKV* m_exitButton = nullptr;
    QLabel* m_versionStatic = nullptr;
    CButtonKV* m_upgradeButton = nullptr;
    CColorEdit* m_logEdit = nullptr;
    CCylinderProgressCtrlKV* m_progressBar = nullptr;
    CButtonKV* m_testButton = nullptr;
    QLabel* m_exitLabel = nullptr;

    CLogModel m_log;
    CQtUiPort m_uiPort;
    std::unique_ptr<CTamblorEngine> m_engine;
    std::unique_ptr<QSocketNotifier> m_deviceNotifier;
    QMessageBox* m_exitConfirmation = nullptr;
    bool m_initialised = false;
    bool m_destroyed = false;
};

}  // namespace tamblor
