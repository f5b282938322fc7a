#include <QApplication>

#include "DemoDock.h"
#include "TamblorDlg.h"
#include "hid/emulated/EmulatedDock.h"

// The operator window on an emulated dock, for watching a whole upgrade without hardware.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tamblor::CEmulatedDock dock({}, tamblor::DemoBusOptions());
    tamblor::CTamblorDlg dialog(dock, QCoreApplication::applicationFilePath().toStdString());
    dialog.DoModal();
    return 0;
}
