// Renders the window's artwork into a directory at build time:
//   tamblor-artgen <output directory>
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

#include "Art.h"

namespace {

bool Save(const QImage& image, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "tamblor-artgen: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamblor-artgen <output directory>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "tamblor-artgen: cannot create %s\n", argv[1]);
        return 1;
    }
    using namespace tamblor::art;
    bool ok = Save(Background().convertToFormat(QImage::Format_RGB888), dir,
                   QStringLiteral("bitmap134.png"));
    for (int size : {16, 32, 48}) {
        ok &= Save(AppIcon(size), dir, QStringLiteral("icon128-%1.png").arg(size));
    }
    ok &= Save(ExitIcon(48, false), dir, QStringLiteral("icon135-48.png"));
    ok &= Save(ExitIcon(48, true), dir, QStringLiteral("icon136-48.png"));
    ok &= Save(StartUpgradeIcon(48, false), dir, QStringLiteral("icon138-48.png"));
    ok &= Save(StartUpgradeIcon(48, true), dir, QStringLiteral("icon139-48.png"));
    return ok ? 0 : 1;
}
