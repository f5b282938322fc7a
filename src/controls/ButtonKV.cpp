#include "ButtonKV.h"

#include <QMouseEvent>
#include <QPainter>

#include "IconEmboss.h"
#include "ImageResources.h"
#include "SkinQt.h"

namespace tamblor {

namespace {

constexpr int kCaptionFlags = Qt::TextWordWrap | Qt::AlignHCenter;

}  // namespace

CButtonKV::CButtonKV(QWidget* parent) : CButtonKV(QString(), parent) {}

CButtonKV::CButtonKV(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setMouseTracking(true);
    setAutoFillBackground(false);
    ResetColors();
    // A clicked button takes the focus, also when the click came from the keyboard.
    connect(this, &QAbstractButton::clicked, this, [this] { setFocus(Qt::OtherFocusReason); });
}

int CButtonKV::AssignIcons(int hotId, int hotWidth, int hotHeight, int idleId, int idleWidth,
                           int idleHeight) {
    const QPixmap hot = LoadIconResource(hotId, QSize(hotWidth, hotHeight));
    const QPixmap idle =
        idleId != 0 ? LoadIconResource(idleId, QSize(idleWidth, idleHeight)) : QPixmap();
    return AssignIconHandles(hot, idle);
}

int CButtonKV::AssignIconHandles(const QPixmap& hot, const QPixmap& idle) {
    // The dialog assigns the same icons on every paint of its own; repainting then would make
    // the dialog paint again, forever.
    const bool same = hot.cacheKey() == m_hotIcon.cacheKey() &&
                      (hot.isNull() || idle.cacheKey() == m_idleIcon.cacheKey());
    if (same) return 0;
    ReleaseImages();
    if (!hot.isNull()) {
        m_hotIcon = hot;
        m_idleIcon = idle;
    }
    update();
    return 0;
}

void CButtonKV::ReleaseImages() {
    m_hotIcon = QPixmap();
    m_idleIcon = QPixmap();
}

void CButtonKV::AssignTooltip(const QString& text, bool activate) {
    if (text.isNull()) return;
    setToolTip(activate ? text : QString());
}

void CButtonKV::UseParentBackground(bool repaint) {
    // The face is left unpainted from now on, and the toolkit composes the parent's pixels
    // under it at every paint, so there is no copy to keep or discard.
    m_parentBackground = true;
    if (repaint) update();
}

void CButtonKV::ResetColors() {
    const QColor face = palette().color(QPalette::Button);
    const QColor text = palette().color(QPalette::ButtonText);
    m_colors = {face, text, face, text, face, text};
}

bool CButtonKV::event(QEvent* event) {
    // A disabled button hears nothing of the pointer, so its tooltip never learns it is there.
    if (event->type() == QEvent::ToolTip && !isEnabled()) {
        event->ignore();
        return true;
    }
    return QPushButton::event(event);
}

void CButtonKV::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_pressed = isDown();
    m_focused = hasFocus();
    m_disabled = !isEnabled();
    const QRect item = rect();

    if (!m_parentBackground) PaintFace(painter, item);
    PaintFrame(painter, item);
    const QString caption = text();
    QRect captionRect = item;
    if (!m_hotIcon.isNull()) {
        PaintIcon(painter, !caption.isEmpty(), item, captionRect, m_pressed, m_disabled);
    }
    if (!caption.isEmpty()) {
        PaintCaption(painter, caption, item, captionRect, m_pressed, m_disabled);
    }
}

int CButtonKV::PaintFace(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, m_colors[skin::FaceSlot(m_hover, m_pressed, m_focused)]);
    return 0;
}

QColor CButtonKV::FrameColor(skin::FrameColor color) const {
    return palette().color(color == skin::FrameColor::Highlight ? QPalette::Light : QPalette::Dark);
}

int CButtonKV::PaintFrame(QPainter& painter, const QRect& rect) {
    const skin::ButtonFrame frame = skin::FrameFor(m_hover, m_pressed);
    if (!frame.drawn) return 0;
    for (const skin::FrameStrip& strip : skin::FrameStrips(ToSkinRect(rect))) {
        painter.fillRect(ToQRect(strip.rect),
                         FrameColor(strip.topLeft ? frame.topLeft : frame.bottomRight));
    }
    return 0;
}

void CButtonKV::PaintIcon(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption,
                          bool pressed, bool disabled) {
    const bool hot = skin::ShowsHotIcon(m_hover, pressed, !m_idleIcon.isNull());
    const QPixmap& icon = hot ? m_hotIcon : m_idleIcon;
    skin::SkinRect captionArea = ToSkinRect(caption);
    const skin::SkinRect place = skin::PlaceIcon(ToSkinRect(item), hasCaption, pressed,
                                                 icon.width(), icon.height(), captionArea);
    caption = ToQRect(captionArea);
    const QPoint origin(place.x, place.y);
    if (disabled) {
        painter.drawPixmap(origin, EmbossedIcon(icon, FrameColor(skin::FrameColor::Highlight),
                                                FrameColor(skin::FrameColor::Shadow)));
    } else {
        painter.drawPixmap(origin, icon);
    }
}

void CButtonKV::PaintCaption(QPainter& painter, const QString& text, const QRect&, QRect& caption,
                             bool pressed, bool disabled) {
    if (pressed) caption.translate(ToQPoint(skin::kPressedShift));
    const QRect size = painter.boundingRect(caption, kCaptionFlags, text);
    const QRect measured =
        ToQRect(skin::CentreCaption(ToSkinRect(caption), size.width(), size.height()));
    if (disabled) {
        painter.setPen(FrameColor(skin::FrameColor::Highlight));
        painter.drawText(measured.translated(ToQPoint(skin::kEmbossShift)), kCaptionFlags, text);
        painter.setPen(FrameColor(skin::FrameColor::Shadow));
        painter.drawText(measured, kCaptionFlags, text);
        return;
    }
    painter.setPen(m_colors[skin::TextSlot(m_hover, pressed, m_focused)]);
    painter.drawText(measured, kCaptionFlags, text);
}

bool CButtonKV::IsUnderPointer(const QPoint& point) const {
    if (!rect().contains(point)) return false;
    const QWidget* top = window();
    if (top == this) return true;
    return top->childAt(mapTo(top, point)) == this;
}

void CButtonKV::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    // A press that began elsewhere and dragged onto the button does not light it up.
    if ((event->buttons() & Qt::LeftButton) && !m_hover) return;
    if (IsUnderPointer(event->position().toPoint())) {
        if (!m_hover) {
            m_hover = true;
            update();
        }
    } else {
        EndHover();
    }
}

void CButtonKV::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double-click is an ordinary click.
    mousePressEvent(event);
}

void CButtonKV::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    EndHover();
}

void CButtonKV::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    EndHover();
}

void CButtonKV::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    switch (event->type()) {
        case QEvent::ActivationChange:
            if (!isActiveWindow()) EndHover();
            break;
        case QEvent::EnabledChange:
            if (!isEnabled()) {
                HandFocusToNextTabStop();
                EndHover();
            }
            break;
        case QEvent::PaletteChange:
            ResetColors();
            update();
            break;
        default:
            break;
    }
}

void CButtonKV::EndHover() {
    if (!m_hover) return;
    m_hover = false;
    update();
}

void CButtonKV::HandFocusToNextTabStop() {
    QWidget* parent = parentWidget();
    if (parent == nullptr) return;
    for (QWidget* w = nextInFocusChain(); w != nullptr && w != this; w = w->nextInFocusChain()) {
        const bool tabStop = (w->focusPolicy() & Qt::TabFocus) && w->focusProxy() == nullptr;
        if (tabStop && parent->isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(parent)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    parent->setFocus(Qt::OtherFocusReason);
}

}  // namespace tamblor
