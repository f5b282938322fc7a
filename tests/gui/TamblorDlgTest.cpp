#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <functional>
#include <optional>

#include "DemoDock.h"
#include "GuiTestSupport.h"
#include "TamblorDlg.h"
#include "hid/emulated/EmulatedDock.h"
#include "isp/IspReport.h"

namespace tamblor {
namespace {

using test::WaitUntil;
using namespace std::chrono_literals;

const std::filesystem::path kCarrier = TAMBLOR_PACKAGE_CARRIER;

QStringList LogLines(const CTamblorDlg& dialog) {
    return dialog.LogEdit()->toPlainText().split(QLatin1Char('\n'));
}

bool LogHas(const CTamblorDlg& dialog, const char* line) {
    return LogLines(dialog).contains(QString::fromLatin1(line));
}

// Answers the next message box that opens with `answer` and keeps its text.
class CMessageBoxAnswerer {
  public:
    explicit CMessageBoxAnswerer(QMessageBox::StandardButton answer) {
        QObject::connect(&m_poll, &QTimer::timeout, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            m_text = box->text();
            m_poll.stop();
            box->button(answer)->click();
        });
        m_poll.start(5);
    }
    const QString& Text() const { return m_text; }

  private:
    QTimer m_poll;
    QString m_text;
};

// Watches for the next message box without answering it: keeps its text and runs `onOpen`
// once it is up. Should the box stay up for `patience`, it is answered No so that the test
// fails instead of hanging.
class CMessageBoxWatcher {
  public:
    explicit CMessageBoxWatcher(std::function<void()> onOpen,
                                std::chrono::milliseconds patience = 30s) {
        QObject::connect(&m_poll, &QTimer::timeout, [this, onOpen, patience] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            if (m_text.isEmpty()) {
                m_text = box->text();
                m_open.start();
                onOpen();
            } else if (m_open.elapsed() > patience.count()) {
                m_answered = true;
                m_poll.stop();
                box->button(QMessageBox::No)->click();
            }
        });
        m_poll.start(5);
    }
    const QString& Text() const { return m_text; }
    bool AnsweredByTheTest() const { return m_answered; }

  private:
    QTimer m_poll;
    QElapsedTimer m_open;
    QString m_text;
    bool m_answered = false;
};

std::size_t CommandsReceived(const CEmulatedDock& dock, IspCommand command) {
    std::size_t count = 0;
    for (const Report& report : dock.ReceivedReports()) {
        count += IsCommandReport(report) && report[4] == static_cast<std::uint8_t>(command);
    }
    return count;
}

// The window as the demo wires it, with the demo's dock timing scaled down.
struct DemoWindow {
    explicit DemoWindow(EmulatedBusOptions bus, DockConfig config = {})
        : dock(config, bus), dialog(dock, kCarrier) {}

    void Open() {
        dialog.OnInitDialog();
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    void StartUpgrade() {
        ASSERT_TRUE(WaitUntil([this] { return dialog.UpgradeButton()->isEnabled(); }));
        QTest::mouseClick(dialog.UpgradeButton(), Qt::LeftButton);
    }

    CEmulatedDock dock;
    CTamblorDlg dialog;
};

EmulatedBusOptions QuickBus(std::chrono::milliseconds latency = 0ms) {
    EmulatedBusOptions bus = DemoBusOptions();
    bus.latency = latency;
    bus.restartDelay = 20ms;
    return bus;
}

TEST(TamblorDlg, ControlsSitAtTheirTemplatePlaces) {
    CEmulatedDock dock;
    CTamblorDlg dialog(dock, kCarrier);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Varnex USB-C Device FW Upgrade Tool"));
    EXPECT_EQ(dialog.size(), QSize(500, 288));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);

    struct Case {
        const char* control;
        QWidget* widget;
        QRect pixels;
        bool visible;
    };
    // Base units of 12-point Arial (and its stand-in): 9 x 18.
    const Case cases[] = {
        {"Scan", dialog.ScanButton(), {14, 14, 149, 54}, false},
        {"Exit", dialog.ExitButton(), {376, 14, 108, 54}, true},
        {"version", dialog.VersionStatic(), {203, 272, 297, 18}, true},
        {"Start upgrade", dialog.UpgradeButton(), {189, 14, 149, 54}, true},
        {"log", dialog.LogEdit(), {16, 77, 468, 173}, true},
        {"progress", dialog.ProgressBar(), {16, 254, 468, 18}, true},
        {"Test", dialog.TestButton(), {137, 16, 54, 32}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.widget->geometry(), c.pixels) << c.control;
        EXPECT_EQ(c.widget->isVisibleTo(&dialog), c.visible) << c.control;
    }
    EXPECT_FALSE(dialog.UpgradeButton()->isEnabled());
    EXPECT_FALSE(dialog.ScanButton()->isEnabled());
}

TEST(TamblorDlg, StartsWithoutADeviceAndExitsAtOnce) {
    EmulatedBusOptions unplugged = QuickBus();
    unplugged.plugged = false;
    DemoWindow window(unplugged);
    window.Open();
    CTamblorDlg& dialog = window.dialog;

    ASSERT_TRUE(WaitUntil([&] { return LogHas(dialog, "No device found!"); }));
    EXPECT_EQ(LogLines(dialog), QStringList{QStringLiteral("No device found!")});
    EXPECT_FALSE(dialog.UpgradeButton()->isEnabled());
    EXPECT_EQ(dialog.ProgressBar()->Position(), 0);
    EXPECT_TRUE(dialog.VersionStatic()->text().startsWith(QStringLiteral("Code Ver:V103")));
    EXPECT_EQ(dialog.LogEdit()->palette().color(QPalette::Text), QColor(186, 85, 211));
    EXPECT_EQ(dialog.focusWidget(), dialog.ExitButton());

    // Should it ask, the answer would keep the window open.
    CMessageBoxAnswerer no(QMessageBox::No);
    QTest::mouseClick(dialog.ExitButton(), Qt::LeftButton);
    EXPECT_TRUE(no.Text().isEmpty());
    EXPECT_TRUE(dialog.IsDestroyed());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// Bounds of the pixels that `label`'s text changes in `host`, within `area` of the host.
QRect TextInk(QWidget& host, QLabel& label, const QRect& area) {
    const QString text = label.text();
    const QImage with = test::Render(host);
    label.setText(QString());
    const QImage without = test::Render(host);
    label.setText(text);
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (with.pixel(x, y) != without.pixel(x, y)) ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

TEST(TamblorDlg, VersionTextIsCentredAndWhole) {
    EmulatedBusOptions unplugged = QuickBus();
    unplugged.plugged = false;
    DemoWindow window(unplugged);
    window.Open();
    QLabel& version = *window.dialog.VersionStatic();
    ASSERT_TRUE(WaitUntil([&] { return version.text().startsWith(QStringLiteral("Code Ver:")); }));
    // The static reaches past the bottom of the client area.
    const QRect shown = version.geometry() & window.dialog.rect();
    const QRect ink = TextInk(window.dialog, version, shown);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(std::abs((ink.left() + ink.right()) - (shown.left() + shown.right())), 2)
        << ink.left() << ".." << ink.right() << " in " << shown.left() << ".." << shown.right();

    // The same text where nothing can cut it off.
    test::CBackdrop room(QSize(version.width(), version.height() * 3));
    QLabel alone(version.text(), &room);
    alone.setFont(version.font());
    alone.setPalette(version.palette());
    alone.setAlignment(version.alignment());
    alone.setWordWrap(version.wordWrap());
    alone.setGeometry(0, version.height(), version.width(), version.height() * 2);
    const QRect whole = TextInk(room, alone, room.rect());
    EXPECT_EQ(ink.height(), whole.height());
    EXPECT_EQ(ink.top() - version.y(), whole.top() - alone.y());
}

// Counts the paints of one widget.
class CPaintCounter : public QObject {
  public:
    explicit CPaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(TamblorDlg, IdleWindowDoesNotKeepRepaintingItself) {
    // The skin is set up again in every paint; that must not ask for yet another paint.
    EmulatedBusOptions unplugged = QuickBus();
    unplugged.plugged = false;
    DemoWindow window(unplugged);
    CPaintCounter paints(window.dialog);
    window.Open();
    ASSERT_TRUE(WaitUntil([&] { return LogHas(window.dialog, "No device found!"); }));
    QTest::qWait(100);
    ASSERT_GT(paints.count, 0);
    paints.count = 0;
    QTest::qWait(300);
    EXPECT_EQ(paints.count, 0);
}

TEST(TamblorDlg, ClickingIntoTheLogHandsTheFocusToExit) {
    EmulatedBusOptions unplugged = QuickBus();
    unplugged.plugged = false;
    DemoWindow window(unplugged);
    window.Open();
    window.dialog.ExitButton()->clearFocus();
    QTest::mouseClick(window.dialog.LogEdit()->viewport(), Qt::LeftButton);
    EXPECT_EQ(window.dialog.focusWidget(), window.dialog.ExitButton());
}

TEST(TamblorDlg, WholeUpgradeDrivenByStartUpgrade) {
    DemoWindow window(QuickBus());
    window.Open();
    CTamblorDlg& dialog = window.dialog;
    ASSERT_NO_FATAL_FAILURE(window.StartUpgrade());
    // Start upgrade is disabled once pressed; the focus passes over the log to Exit.
    ASSERT_TRUE(WaitUntil([&] { return !dialog.UpgradeButton()->isEnabled(); }));
    EXPECT_EQ(dialog.focusWidget(), dialog.ExitButton());

    // Through the restart into the boot loader, Chip 3, and back to the application, which
    // then reports the new version.
    ASSERT_TRUE(WaitUntil([&] { return LogHas(dialog, "Don't need to upgrade!"); }))
        << LogLines(dialog).join(QLatin1Char('|')).toStdString();
    const QStringList lines = LogLines(dialog);
    const qsizetype finish = lines.indexOf(QStringLiteral("File 1/1 End"));
    ASSERT_GE(finish, 0);
    EXPECT_EQ(lines.mid(finish, 3),
              (QStringList{QStringLiteral("File 1/1 End"), QStringLiteral("ISP Chip 3 Finish!"),
                           QStringLiteral("Chip 3 Checksum pass, ISP Success!")}));
    EXPECT_EQ(lines.first(), QStringLiteral("Waiting..."));
    EXPECT_EQ(dialog.ProgressBar()->Position(), 100);
    EXPECT_EQ(dialog.ProgressBar()->FillColor(), kFillGreen);
    EXPECT_FALSE(dialog.UpgradeButton()->isEnabled());
    EXPECT_FALSE(dialog.Engine().IsUpgradeRunning());
    // The caret is at the end and the last line in view.
    const CColorEdit& log = *dialog.LogEdit();
    EXPECT_TRUE(log.textCursor().atEnd());
    EXPECT_TRUE(log.viewport()->rect().contains(log.cursorRect()));
    EXPECT_GT(log.verticalScrollBar()->value(), 0);
    // Lines one cell of the log's font apart.
    const QTextBlock first = log.document()->begin();
    EXPECT_EQ(
        log.cursorRect(QTextCursor(first.next())).top() - log.cursorRect(QTextCursor(first)).top(),
        18);
}

TEST(TamblorDlg, StartIsTakenOnce) {
    // A dock already in its boot loader: Start sends IspErase at once.
    DockConfig isp;
    isp.ispMode = true;
    DemoWindow window(QuickBus(), isp);
    window.Open();
    CTamblorDlg& dialog = window.dialog;
    ASSERT_TRUE(WaitUntil([&] { return dialog.UpgradeButton()->isEnabled(); }));

    // No event is handled between the two clicks, as when the second waits in the queue
    // behind the first.
    QTest::mouseClick(dialog.UpgradeButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.UpgradeButton()->isEnabled());
    QTest::mouseClick(dialog.UpgradeButton(), Qt::LeftButton);

    ASSERT_TRUE(WaitUntil([&] { return LogHas(dialog, "Chip 3 Checksum pass, ISP Success!"); }))
        << LogLines(dialog).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(CommandsReceived(window.dock, IspCommand::IspErase), 1u);
}

TEST(TamblorDlg, ExitWhileAChipIsWrittenAsksAndThenEndsPromptly) {
    // Slow replies keep Chip 3 streaming for seconds, longer than the test needs.
    DemoWindow window(QuickBus(20ms));
    window.Open();
    CTamblorDlg& dialog = window.dialog;
    ASSERT_NO_FATAL_FAILURE(window.StartUpgrade());
    ASSERT_TRUE(WaitUntil([&] { return dialog.ProgressBar()->Position() >= 5; }));

    {
        CMessageBoxAnswerer no(QMessageBox::No);
        QTest::mouseClick(dialog.ExitButton(), Qt::LeftButton);
        EXPECT_FALSE(no.Text().isEmpty());
    }
    EXPECT_FALSE(dialog.IsDestroyed());
    EXPECT_TRUE(dialog.isVisible());
    const int position = dialog.ProgressBar()->Position();
    ASSERT_TRUE(WaitUntil([&] { return dialog.ProgressBar()->Position() > position; }));
    ASSERT_TRUE(dialog.Engine().IsUpgradeRunning());

    // Escape takes the same road as Exit.
    CMessageBoxAnswerer yes(QMessageBox::Yes);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(yes.Text().isEmpty());
    EXPECT_TRUE(dialog.IsDestroyed());
    EXPECT_FALSE(dialog.isVisible());
    // The reader has been joined: the dock hears nothing more.
    const std::size_t sent = window.dock.ReceivedReports().size();
    QTest::qWait(50);
    EXPECT_EQ(window.dock.ReceivedReports().size(), sent);
}

TEST(TamblorDlg, ExitQuestionGoesWhenTheUpgradeEndsWhileItIsOpen) {
    struct Case {
        const char* end;
        std::optional<std::uint64_t> removeAfterChunks;
        const char* lastLine;
    };
    const Case cases[] = {
        {"success", std::nullopt, "Chip 3 Checksum pass, ISP Success!"},
        {"dock pulled while Chip 3 is written", 50, "Error!, restart please."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        // The dock leaves for its boot loader and stays away until the question is up.
        DockConfig config;
        config.faults.noReturnAfterIspEnter = true;
        config.faults.removeAfterChunks = c.removeAfterChunks;
        DemoWindow window(QuickBus(), config);
        window.Open();
        CTamblorDlg& dialog = window.dialog;
        ASSERT_NO_FATAL_FAILURE(window.StartUpgrade());
        ASSERT_TRUE(WaitUntil([&] { return LogHas(dialog, "No Device found!"); }));
        ASSERT_TRUE(dialog.Engine().IsUpgradeRunning());

        CMessageBoxWatcher watcher([&] { window.dock.Plug(); });
        // Returns once the question has gone.
        QTest::mouseClick(dialog.ExitButton(), Qt::LeftButton);
        EXPECT_TRUE(watcher.Text().contains(QStringLiteral("being upgraded right now")));
        EXPECT_FALSE(watcher.AnsweredByTheTest());
        EXPECT_EQ(dialog.ExitConfirmation(), nullptr);
        EXPECT_FALSE(dialog.Engine().IsUpgradeRunning());
        EXPECT_TRUE(WaitUntil([&] { return LogHas(dialog, c.lastLine); }))
            << LogLines(dialog).join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(dialog.IsDestroyed());
        EXPECT_TRUE(dialog.isVisible());

        // Nothing left to ask: Exit ends the window at once.
        QTest::mouseClick(dialog.ExitButton(), Qt::LeftButton);
        EXPECT_TRUE(dialog.IsDestroyed());
    }
}

}  // namespace
}  // namespace tamblor
