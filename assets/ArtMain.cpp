// Renders the window's artwork into a directory at build time:
//   tamblor-artgen <output directory>
// or the application icon for the desktop's icon theme, one PNG per size:
//   tamblor-artgen --app-icons <output directory> <size>...
// which writes <output directory>/hicolor/<size>x<size>/apps/tamblor.png.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>

#include "Art.h"
#include "fileio/TempOutput.h"

namespace {

// Through the project's writer: an image is replaced whole, and never through a link.
bool Save(const QImage& image, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        std::fprintf(stderr, "tamblor-artgen: cannot encode %s\n", qPrintable(path));
        return false;
    }
    tamblor::CTempOutput out(std::filesystem::path(path.toStdU16String()));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(png.constData());
    const bool written = out.Write(std::span(bytes, static_cast<std::size_t>(png.size()))) &&
                         out.SetMode(tamblor::CTempOutput::UsualMode()) && out.SyncAndClose() &&
                         out.Commit();
    if (!written) std::fprintf(stderr, "tamblor-artgen: %s\n", out.Failure().c_str());
    return written;
}

bool MakeDir(QDir& dir, const QString& path) {
    dir.setPath(path);
    if (dir.mkpath(QStringLiteral("."))) return true;
    std::fprintf(stderr, "tamblor-artgen: cannot create %s\n", qPrintable(path));
    return false;
}

int WriteAppIcons(const QString& root, char** sizes, int count) {
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        bool number = false;
        const int size = QString::fromLocal8Bit(sizes[i]).toInt(&number);
        if (!number || size < 1 || size > 1024) {
            std::fprintf(stderr, "tamblor-artgen: '%s' is not an icon size\n", sizes[i]);
            return 2;
        }
        QDir dir;
        const QString path = QDir(root).filePath(QStringLiteral("hicolor/%1x%1/apps").arg(size));
        if (!MakeDir(dir, path)) return 1;
        ok &= Save(tamblor::art::AppIcon(size), dir, QStringLiteral("tamblor.png"));
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc >= 3 && std::strcmp(argv[1], "--app-icons") == 0) {
        return WriteAppIcons(QString::fromLocal8Bit(argv[2]), argv + 3, argc - 3);
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: tamblor-artgen <output directory>\n"
                     "       tamblor-artgen --app-icons <output directory> <size>...\n");
        return 2;
    }
    QDir dir;
    if (!MakeDir(dir, QString::fromLocal8Bit(argv[1]))) return 1;
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
