#include <QApplication>
#include <iostream>

#include "TamblorDlg.h"
#include "WindowCommandLine.h"
#include "hid/PlatformHidBus.h"

int main(int argc, char* argv[]) {
    // Answered before QApplication, which aborts without a display.
    if (const auto status = tamblor::AnswerWindowArguments(
            std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), std::cout,
            std::cerr)) {
        return *status;
    }
    QApplication app(argc, argv);
    const auto bus = tamblor::CreatePlatformHidBus();
    tamblor::CTamblorDlg dialog(*bus, QCoreApplication::applicationFilePath().toStdString());
    dialog.DoModal();
    return 0;
}
