#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "controls/BkDialogKV.h"

namespace tamblor {
namespace {

using test::Render;
using test::Rgb;

// A picture whose every pixel tells where in the picture it is.
QPixmap Coordinates(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 7, y * 11, 99));
    }
    return QPixmap::fromImage(image);
}

TEST(BkDialog, TilesThePictureFromTheTopLeftCorner) {
    struct Case {
        QSize picture;
        QSize dialog;
    };
    // Smaller than the dialog (cut at the right and bottom edges), and exactly its size.
    for (const Case c : {Case{{30, 20}, {100, 50}}, Case{{100, 50}, {100, 50}}}) {
        CBkDialogKV dialog;
        dialog.resize(c.dialog);
        EXPECT_EQ(dialog.SetBackgroundPixmap(Coordinates(c.picture.width(), c.picture.height())),
                  0);
        const QImage shot = Render(dialog);
        int wrong = 0;
        for (int y = 0; y < c.dialog.height(); ++y) {
            for (int x = 0; x < c.dialog.width(); ++x) {
                const int u = x % c.picture.width();
                const int v = y % c.picture.height();
                wrong += Rgb(shot, x, y) != qRgb(u * 7, v * 11, 99);
            }
        }
        EXPECT_EQ(wrong, 0) << c.picture.width() << "x" << c.picture.height();
    }
}

TEST(BkDialog, WithoutAPictureItErasesAsAPlainDialog) {
    CBkDialogKV plain;
    plain.resize(40, 30);
    const QImage shot = Render(plain);
    EXPECT_EQ(Rgb(shot, 20, 15), plain.palette().color(QPalette::Window).rgb());
    EXPECT_FALSE(plain.HasBackground());
}

TEST(BkDialog, MissingResourceRemovesThePictureAndStillSucceeds) {
    CBkDialogKV dialog;
    dialog.SetBackgroundPixmap(Coordinates(10, 10));
    EXPECT_EQ(dialog.SetBackgroundBitmap(9999, 40, 30), 0);
    EXPECT_FALSE(dialog.HasBackground());
    EXPECT_EQ(dialog.BitmapWidth(), 0);
}

}  // namespace
}  // namespace tamblor
