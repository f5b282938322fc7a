// The operator window against a real dock: finds it through the platform's HID bus, clicks
// Start upgrade as the operator does once the button becomes enabled, waits for the sequence
// to end and prints the log. Exit 0 only when the log shows an upgrade that succeeded.
//
//   tamblor-window-probe PACKAGE [SECONDS]
//
// Used by the kernel test with QT_QPA_PLATFORM=offscreen; also handy on a desktop with
// tamblor-dock.
#include <QApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "TamblorDlg.h"
#include "cli/CommandLine.h"
#include "cli/SimulatedUpgrade.h"
#include "hid/PlatformHidBus.h"

namespace {

constexpr std::string_view kStartLine = "Waiting...";
constexpr std::string_view kSuccessLine = "Chip 3 Checksum pass, ISP Success!";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The sequence has ended when, after Start, the log shows its last verdict or a failure.
bool SequenceEnded(const std::vector<std::string>& lines) {
    bool started = false;
    for (const std::string& line : lines) {
        if (line == kStartLine) started = true;
        if (started && (line == kSuccessLine || tamblor::IsFailureLine(line))) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    std::optional<std::uint64_t> seconds = 120;
    if (args.size() == 3) seconds = tamblor::ParseDecimal(args[2].toStdString(), 3600);
    if (args.size() < 2 || args.size() > 3 || !seconds || *seconds == 0) {
        std::fprintf(stderr, "usage: tamblor-window-probe PACKAGE [SECONDS (1..3600)]\n");
        return 2;
    }
    const auto bus = tamblor::CreatePlatformHidBus();
    tamblor::CTamblorDlg dialog(*bus, args[1].toStdString());
    // As DoModal does before its event loop: attach the log, watch the bus, load, scan.
    dialog.OnInitDialog();
    dialog.show();
    const auto limit = std::chrono::seconds(*seconds);

    bool clicked = false;
    if (tamblor::test::WaitUntil([&] { return dialog.UpgradeButton()->isEnabled(); }, limit)) {
        QTest::mouseClick(dialog.UpgradeButton(), Qt::LeftButton);
        clicked = true;
    }
    const bool ended =
        clicked &&
        tamblor::test::WaitUntil([&] { return SequenceEnded(Lines(dialog.Log().Text())); }, limit);
    // Whatever the sequence writes after its verdict (the dock's return) belongs to the run.
    QTest::qWait(500);

    const std::vector<std::string> lines = Lines(dialog.Log().Text());
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    if (!clicked) std::printf("probe: Start upgrade never became enabled\n");
    if (clicked && !ended) std::printf("probe: the sequence did not end within the limit\n");
    const bool succeeded = ended && tamblor::EndedInSuccess(lines);
    std::printf("probe: %s\n", succeeded ? "the window's upgrade succeeded" : "no success");
    std::fflush(stdout);
    dialog.close();
    return succeeded ? 0 : 1;
}
