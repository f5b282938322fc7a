#include <QApplication>

#include "TamblorDlg.h"
#include "hid/PlatformHidBus.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const auto bus = tamblor::CreatePlatformHidBus();
    tamblor::CTamblorDlg dialog(*bus, QCoreApplication::applicationFilePath().toStdString());
    dialog.DoModal();
    return 0;
}
