#pragma once

#include <QProgressBar>
#include <cstdint>

#include "skin/CylinderSkin.h"

class QPainter;
class QPainterPath;

namespace tamblor {

// The progress bar drawn as a lying, anti-aliased cylinder: a light-grey tube filling from the
// left with a gold (or green) section, a gloss band, shaded end faces, outlines and the
// percentage in the dialog's font. Every pixel the cylinder does not cover shows the parent.
// The native bar underneath still receives the position.
class CCylinderProgressCtrlKV : public QProgressBar {
  public:
    static constexpr std::uint32_t kGold = skin::kCylinderFill;
    static constexpr std::uint32_t kLightGrey = skin::kCylinderEmpty;
    static constexpr std::uint32_t kOutlineGrey = skin::kCylinderOutline;

    explicit CCylinderProgressCtrlKV(QWidget* parent = nullptr);

    // Clamps to the bounds, stores, and hands the clamped value to the native bar.
    void SetPosition(int value);
    void SetFillColor(std::uint32_t argb, bool repaint);

    int Position() const { return m_position; }
    std::uint32_t FillColor() const { return m_fillColor; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The bar leaves its background transparent; derived bars may clear it instead.
    virtual void PaintBackground(QPainter& painter, const QRect& rect);
    virtual void PaintPercentText(QPainter& painter, int percent, const QRect& full);

  private:
    void PaintCylinder(QPainter& painter, const skin::CylinderSection& section,
                       std::uint32_t bodyColor) const;
    static void PaintGloss(QPainter& painter, const QRect& r, const QPainterPath& body);
    QPen OutlinePen() const;

    std::uint32_t m_fillColor = kGold;
    std::uint32_t m_emptyColor = kLightGrey;
    std::uint32_t m_outlineColor = kOutlineGrey;
    std::uint32_t m_textColor;
    int m_lower = 0;
    int m_upper = 100;
    int m_span = 100;
    int m_position = 0;
};

}  // namespace tamblor
