#include "TamblorDlg.h"

#include <QMessageBox>
#include <QSocketNotifier>
#include <QTextCursor>

#include "ArtworkResources.h"
#include "DialogTemplate.h"
#include "DialogUnits.h"
#include "controls/ImageResources.h"
#include "skin/DialogSkin.h"

namespace tamblor {

namespace {

// The template names Windows faces; these are their metric-compatible stand-ins.
void InstallFontStandIns() {
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
}

QIcon LoadApplicationIcon() {
    QIcon icon;
    for (int size : {48, 32, 16}) {
        const QPixmap image = LoadIconResource(IDR_MAINFRAME, QSize(size, size));
        if (!image.isNull()) icon.addPixmap(image);
    }
    return icon;
}

QString DisplayText(const std::string& logText) {
    return QString::fromStdString(logText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

CTamblorDlg::CTamblorDlg(IHidBus& bus, std::filesystem::path executable, QWidget* parent)
    : CBkDialogKV(parent),
      m_bus(bus),
      m_executable(std::move(executable)),
      m_uiPort(*this, *this),
      m_engine(std::make_unique<CTamblorEngine>(bus, m_uiPort)) {
    InitArtworkResources();
    InstallFontStandIns();
    setWindowTitle(QString::fromLatin1(dlg102::kCaption));
    // A caption without a close box: Exit and Escape end the window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    CreateControls();
    m_appIcon = LoadApplicationIcon();
}

CTamblorDlg::~CTamblorDlg() { OnDestroy(); }

void CTamblorDlg::CreateControls() {
    QFont dialogFont(QString::fromLatin1(dlg102::kFontFace));
    dialogFont.setPointSize(dlg102::kFontPoints);
    setFont(dialogFont);
    const DialogBaseUnits base = BaseUnitsOf(dialogFont);
    auto place = [base](QWidget* control, const QRect& du) {
        control->setGeometry(DialogToPixels(du, base));
    };
    setFixedSize(DialogToPixels(QRect(0, 0, dlg102::kWidth, dlg102::kHeight), base).size());

    // Created in template order, which makes the tab order.
    m_scanButton = new QPushButton(QString::fromLatin1(TAMBLOR_DLG_SCAN_TEXT), this);
    place(m_scanButton, dlg102::kScan);
    m_scanButton->setDefault(true);
    m_scanButton->setEnabled(false);
    m_scanButton->hide();

    m_exitButton = new CButtonKV(this);
    place(m_exitButton, dlg102::kExit);

    m_versionStatic = new QLabel(QString::fromLatin1(TAMBLOR_DLG_VERSION_TEXT), this);
    place(m_versionStatic, dlg102::kVersion);
    m_versionStatic->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_versionStatic->setWordWrap(true);
    QPalette white = m_versionStatic->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    m_versionStatic->setPalette(white);

    m_upgradeButton = new CButtonKV(this);
    place(m_upgradeButton, dlg102::kStartUpgrade);
    m_upgradeButton->setEnabled(false);
    m_upgradeButton->setDefault(true);

    m_logEdit = new CColorEdit(this);
    place(m_logEdit, dlg102::kLog);
    m_logEdit->setReadOnly(true);
    m_logEdit->setFocusPolicy(Qt::StrongFocus);
    m_logEdit->setLineWrapMode(QTextEdit::WidgetWidth);
    m_logEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_logEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A thin black border, as a bordered edit has.
    m_logEdit->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_logEdit->setLineWidth(1);
    QPalette frame = m_logEdit->palette();
    frame.setColor(QPalette::WindowText, Qt::black);
    m_logEdit->setPalette(frame);
    m_logEdit->document()->setDocumentMargin(2);

    m_progressBar = new CCylinderProgressCtrlKV(this);
    place(m_progressBar, dlg102::kProgress);
    // The border pixel is reserved but never drawn.
    m_progressBar->setContentsMargins(1, 1, 1, 1);
    m_progressBar->setFocusPolicy(Qt::NoFocus);

    m_testButton = new CButtonKV(QString::fromLatin1(TAMBLOR_DLG_TEST_TEXT), this);
    place(m_testButton, dlg102::kTest);
    m_testButton->hide();

    m_exitLabel = new QLabel(QString::fromLatin1(TAMBLOR_DLG_EXIT_LABEL_TEXT), this);
    place(m_exitLabel, dlg102::kExitLabel);
    m_exitLabel->hide();

    connect(m_scanButton, &QPushButton::clicked, this, &CTamblorDlg::OnScan);
    connect(m_exitButton, &QPushButton::clicked, this, &CTamblorDlg::OnExit);
    connect(m_upgradeButton, &QPushButton::clicked, this, &CTamblorDlg::OnStartUpgrade);
    connect(m_testButton, &QPushButton::clicked, this, &CTamblorDlg::OnTest);
    connect(m_logEdit, &CColorEdit::focusEntered, this, &CTamblorDlg::OnLogSetFocus);
}

int CTamblorDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CTamblorDlg::OnInitDialog() {
    if (m_initialised) return;
    m_initialised = true;
    setWindowIcon(m_appIcon);
    // From here on the engine's lines reach the log.
    m_uiPort.Attach();
    m_logEdit->m_fontTarget = m_logEdit;
    m_logEdit->SetEditFont(QString::fromWCharArray(skin::kLogFontFace), skin::kLogFontHeight,
                           skin::kLogFontStyle);
    m_logEdit->SetEditTextColor(skin::kLogTextColor);
    RegisterHidNotification();
    m_engine->OnInitDialog(m_executable);
    m_exitButton->setFocus(Qt::OtherFocusReason);
}

void CTamblorDlg::RegisterHidNotification() {
    m_bus.SetDeviceChangeSink([this](const DeviceChange& change) {
        QMetaObject::invokeMethod(
            this,
            [this, change] {
                if (!m_destroyed) OnDeviceChange(change);
            },
            Qt::QueuedConnection);
    });
    const int descriptor = m_bus.DeviceChangeDescriptor();
    if (descriptor < 0) return;
    m_deviceNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    connect(m_deviceNotifier.get(), &QSocketNotifier::activated, this,
            [this] { m_bus.PumpDeviceChanges(); });
}

void CTamblorDlg::OnPaint() {
    // Repeated on every paint, so the picture always fits the client area.
    SetBackgroundBitmap(IDB_BACKGROUND, width(), height());
    constexpr int kIconSize = skin::kButtonIconSize;
    m_exitButton->AssignIcons(IDI_EXIT_HOT, kIconSize, kIconSize, IDI_EXIT, kIconSize, kIconSize);
    m_exitButton->AssignTooltip(QStringLiteral("Exit"), true);
    m_exitButton->UseParentBackground(false);
    m_upgradeButton->AssignIcons(IDI_START_UPGRADE_HOT, kIconSize, kIconSize, IDI_START_UPGRADE,
                                 kIconSize, kIconSize);
    m_upgradeButton->AssignTooltip(QStringLiteral("Start upgrade"), true);
    m_upgradeButton->UseParentBackground(false);
    m_testButton->AssignTooltip(QStringLiteral("Test"), true);
    m_testButton->UseParentBackground(false);
}

void CTamblorDlg::OnScan() { m_engine->OnScan(); }

void CTamblorDlg::OnStartUpgrade() {
    // Disabled before the engine hears of it, so that a second click already queued finds the
    // button dead instead of starting the sequence again.
    m_upgradeButton->setEnabled(false);
    m_engine->OnStartUpgrade();
}

void CTamblorDlg::OnTest() { m_engine->OnTest(); }

void CTamblorDlg::OnLogSetFocus() { m_exitButton->setFocus(Qt::OtherFocusReason); }

void CTamblorDlg::OnDeviceChange(const DeviceChange& change) { m_engine->OnDeviceChange(change); }

void CTamblorDlg::reject() { OnExit(); }

void CTamblorDlg::OnExit() {
    if (m_exitConfirmation != nullptr || m_destroyed) return;
    if (m_engine->IsUpgradeRunning() && !OperatorConfirmsExit()) return;
    CBkDialogKV::reject();
}

bool CTamblorDlg::OperatorConfirmsExit() {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(dlg102::kCaption),
                    QStringLiteral("The dock is being upgraded right now.\n\n"
                                   "If you leave before the upgrade has finished, the dock may "
                                   "not start until it is upgraded again.\n\n"
                                   "Exit anyway?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    m_exitConfirmation = &box;
    const int answer = box.exec();
    m_exitConfirmation = nullptr;
    return answer == QMessageBox::Yes;
}

void CTamblorDlg::AfterEngineCall() {
    // The engine tells the window something whenever a sequence ends (its last line at the
    // least), so this is where the question finds out that it no longer holds. The operator
    // then reads the outcome in the log and leaves with one more Exit.
    if (m_exitConfirmation != nullptr && !m_engine->IsUpgradeRunning()) {
        m_exitConfirmation->done(QMessageBox::No);
    }
}

void CTamblorDlg::done(int result) {
    CBkDialogKV::done(result);
    OnDestroy();
}

void CTamblorDlg::OnDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    m_deviceNotifier.reset();
    m_bus.SetDeviceChangeSink({});
    // Closes the device, joins the reader and closes the package; nothing under the engine's
    // lock waits for this thread, so this cannot hang on the reader.
    m_engine->OnDestroy();
    m_uiPort.Detach();
}

void CTamblorDlg::OnLogRecord(const LogRecord& record) {
    const CLogModel::Effect effect = m_log.OnLogRecord(record);
    if (effect.moveBar) m_progressBar->SetPosition(effect.barValue);
    if (!effect.textChanged) return;
    m_logEdit->setPlainText(DisplayText(m_log.Text()));
    QTextCursor end = m_logEdit->textCursor();
    end.movePosition(QTextCursor::End);
    m_logEdit->setTextCursor(end);
    m_logEdit->ensureCursorVisible();
    update();
}

void CTamblorDlg::ClearLog() {
    m_log.ClearLog();
    m_logEdit->clear();
}

void CTamblorDlg::SetProgressPosition(int position) { m_progressBar->SetPosition(position); }

void CTamblorDlg::SetFillColor(std::uint32_t argb, bool repaint) {
    m_progressBar->SetFillColor(argb, repaint);
}

void CTamblorDlg::EnableUpgradeButton(bool enable) { m_upgradeButton->setEnabled(enable); }

void CTamblorDlg::SetVersionText(const QString& text) { m_versionStatic->setText(text); }

}  // namespace tamblor
