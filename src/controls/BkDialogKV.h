#pragma once

#include <QDialog>
#include <QPixmap>

namespace tamblor {

// A dialog that shows a picture as its background instead of the plain dialog colour. The
// picture is laid as tiles from the top-left corner, composed off-screen and copied to the
// window in one piece.
class CBkDialogKV : public QDialog {
    Q_OBJECT

  public:
    explicit CBkDialogKV(QWidget* parent = nullptr);

    // Loads bitmap resource `resourceId` scaled to width x height and makes it the background.
    // A missing resource leaves the dialog without a picture; both cases return 0.
    int SetBackgroundBitmap(int resourceId, int width, int height);
    // The same with a picture already loaded; a null pixmap removes the background.
    int SetBackgroundPixmap(const QPixmap& picture);

    bool HasBackground() const { return !m_background.isNull(); }
    int BitmapWidth() const { return m_bitmapWidth; }
    int BitmapHeight() const { return m_bitmapHeight; }

  protected:
    // Runs at the start of every paint, before the background is drawn. Invalidation requested
    // from here is absorbed by the paint that follows.
    virtual void OnPaint() {}
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void EraseBackground(QPainter& painter);

    QPixmap m_background;
    int m_bitmapWidth = 0;
    int m_bitmapHeight = 0;
    bool m_painting = false;
};

}  // namespace tamblor
