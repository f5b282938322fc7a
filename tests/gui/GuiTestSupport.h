#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>

namespace tamblor::test {

// A parent that paints one flat colour, so pixels a control leaves alone are easy to spot.
class CBackdrop : public QWidget {
  public:
    static constexpr QRgb kColor = 0xFFFF00FF;

    explicit CBackdrop(QSize size) {
        resize(size);
        QPalette flat = palette();
        flat.setColor(QPalette::Window, QColor::fromRgb(kColor));
        setPalette(flat);
        setAutoFillBackground(true);
    }
};

// What the widget and its children show, as opaque ARGB pixels.
inline QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

inline QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

// Equal but for the faint anti-aliasing a neighbouring edge may leave.
inline bool Near(QRgb a, QRgb b, int tolerance = 8) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Runs the event loop until `done` holds; false if it still does not after `timeout`. The
// timeouts only guard against hangs; nothing here measures speed.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) return false;
        QTest::qWait(2);
    }
    return true;
}

}  // namespace tamblor::test
