#pragma once

#include <QPixmap>
#include <QPushButton>
#include <array>

#include "skin/ButtonSkin.h"

namespace tamblor {

// The window's push button: an icon that lights up while the mouse is over it or it is held
// down, a flat look with a one-pixel 3D frame only on hover and press, no focus rectangle, a
// tooltip, and a face through which the dialog's background shows.
class CButtonKV : public QPushButton {
    Q_OBJECT

  public:
    using ColorSlot = skin::ButtonColorSlot;

    explicit CButtonKV(QWidget* parent = nullptr);
    explicit CButtonKV(const QString& caption, QWidget* parent = nullptr);

    // Icon resources by ID at the given sizes; an idle ID of 0 means no idle icon. 0: success.
    int AssignIcons(int hotId, int hotWidth, int hotHeight, int idleId, int idleWidth,
                    int idleHeight);
    // A null hot icon leaves the button without icons (the idle one is not taken). 0: success.
    int AssignIconHandles(const QPixmap& hot, const QPixmap& idle);
    // A null text does nothing.
    void AssignTooltip(const QString& text, bool activate);
    // From now on the face is the parent's background instead of a colour fill.
    void UseParentBackground(bool repaint);

    bool IsHovered() const { return m_hover; }
    bool UsesParentBackground() const { return m_parentBackground; }
    const QPixmap& HotIcon() const { return m_hotIcon; }
    const QPixmap& IdleIcon() const { return m_idleIcon; }
    QColor SlotColor(ColorSlot slot) const { return m_colors[slot]; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    virtual int PaintFace(QPainter& painter, const QRect& rect);
    virtual int PaintFrame(QPainter& painter, const QRect& rect);
    virtual void PaintIcon(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption,
                           bool pressed, bool disabled);
    virtual void PaintCaption(QPainter& painter, const QString& text, const QRect& item,
                              QRect& caption, bool pressed, bool disabled);

    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QColor FrameColor(skin::FrameColor color) const;
    bool IsUnderPointer(const QPoint& point) const;
    void EndHover();
    void HandFocusToNextTabStop();
    void ResetColors();
    void ReleaseImages();

    bool m_hover = false;
    bool m_parentBackground = false;
    bool m_pressed = false;
    bool m_focused = false;
    bool m_disabled = false;
    std::array<QColor, skin::kButtonSlots> m_colors;
    QPixmap m_hotIcon;
    QPixmap m_idleIcon;
};

}  // namespace tamblor
