// Sliders: a sunken channel whose part between the minimum and the thumb is
// filled with the accent colour, and a raised thumb in the button face.
#include <algorithm>

#include <QPainter>
#include <QPolygon>
#include <QStyleOptionSlider>

#include "skin/SkinColours.h"
#include "skin/SkinControls.h"
#include "skin/SkinEdges.h"

namespace {

using I = SkinColourIndex;
using M = SkinMetrics;

bool Horizontal(const QStyleOptionSlider& o) {
  return o.orientation == Qt::Horizontal;
}

// The band across the slider that the thumb occupies: the whole thickness
// less the room given to tick marks on either side.
QRect ThumbBand(const QStyleOptionSlider& o) {
  const int before = o.tickPosition & QSlider::TicksAbove ? M::kSliderTickSpace : 0;
  const int after = o.tickPosition & QSlider::TicksBelow ? M::kSliderTickSpace : 0;
  return Horizontal(o) ? o.rect.adjusted(0, before, 0, -after)
                       : o.rect.adjusted(before, 0, -after, 0);
}

// Ticks on exactly one side give the thumb a point towards them.
int PointSide(const QStyleOptionSlider& o) {
  if (o.tickPosition == QSlider::TicksAbove) return -1;
  if (o.tickPosition == QSlider::TicksBelow) return 1;
  return 0;
}

QRect Centred(const QRect& band, bool horizontal, int thickness) {
  if (horizontal) {
    const int t = std::min(thickness, band.height());
    return QRect(band.x(), band.y() + (band.height() - t) / 2, band.width(), t);
  }
  const int t = std::min(thickness, band.width());
  return QRect(band.x() + (band.width() - t) / 2, band.y(), t, band.height());
}

void PaintThumb(QPainter* painter, const QRect& thumb, bool horizontal, int pointSide) {
  const QColor face = SkinColour(I::kButtonFace);
  if (pointSide == 0 || !horizontal) {
    painter->fillRect(thumb, face);
    DrawSkinEdge(painter, thumb, SkinEdge::kRaisedBox);
    return;
  }
  // Body plus a tip as high as half the thumb's width.
  const int tip = thumb.width() / 2;
  const QRect body = pointSide > 0 ? thumb.adjusted(0, 0, 0, -tip) : thumb.adjusted(0, tip, 0, 0);
  painter->fillRect(body, face);
  const unsigned open = pointSide > 0 ? SkinEdge::kBottom : SkinEdge::kTop;
  DrawSkinEdge(painter, body, SkinEdge::kRaisedBox, SkinEdge::kAllSides & ~open);

  const int cx = thumb.x() + tip;
  const int baseY = pointSide > 0 ? body.bottom() + 1 : body.top() - 1;
  const int apexY = pointSide > 0 ? thumb.bottom() : thumb.top();
  QPolygon triangle({QPoint(thumb.left(), baseY), QPoint(thumb.right(), baseY), QPoint(cx, apexY)});
  painter->save();
  painter->setPen(Qt::NoPen);
  painter->setBrush(face);
  painter->drawPolygon(triangle);
  // The slanted sides in the colours of a raised box: light on the left,
  // shadow on the right, inner lines one pixel inside.
  const int dir = pointSide;
  const QColor outerL = SkinColour(I::kLight3D);
  const QColor outerR = SkinColour(I::kDarkShadow3D);
  const QColor innerL = SkinColour(I::kButtonHighlight);
  const QColor innerR = SkinColour(I::kButtonShadow);
  painter->setPen(outerL);
  painter->drawLine(thumb.left(), baseY, cx, apexY);
  painter->setPen(outerR);
  painter->drawLine(thumb.right(), baseY, cx, apexY);
  painter->setPen(innerL);
  painter->drawLine(thumb.left() + 1, baseY, cx, apexY - dir);
  painter->setPen(innerR);
  painter->drawLine(thumb.right() - 1, baseY, cx, apexY - dir);
  painter->restore();
}

void PaintTick(QPainter* painter, const QStyleOptionSlider& o, int value) {
  const bool horizontal = Horizontal(o);
  const int span = (horizontal ? o.rect.width() : o.rect.height()) - M::kSliderThumbLength;
  const int at = (horizontal ? o.rect.x() : o.rect.y()) + M::kSliderThumbLength / 2 +
                 QStyle::sliderPositionFromValue(o.minimum, o.maximum, value, span, o.upsideDown);
  const int len = M::kSliderTickLength;
  const QRect r = o.rect;
  if (o.tickPosition & QSlider::TicksAbove) {
    if (horizontal) {
      painter->drawLine(at, r.top() + 1, at, r.top() + len);
    } else {
      painter->drawLine(r.left() + 1, at, r.left() + len, at);
    }
  }
  if (o.tickPosition & QSlider::TicksBelow) {
    if (horizontal) {
      painter->drawLine(at, r.bottom() - len, at, r.bottom() - 1);
    } else {
      painter->drawLine(r.right() - len, at, r.right() - 1, at);
    }
  }
}

// One tick every interval from the minimum, and one at the maximum.
void PaintTicks(QPainter* painter, const QStyleOptionSlider& o) {
  if (o.tickPosition == QSlider::NoTicks || o.maximum <= o.minimum) return;
  const long long interval = std::max(1, o.tickInterval > 0 ? o.tickInterval : o.pageStep);
  painter->save();
  painter->setPen(SkinColour(I::kGreyText));
  for (long long v = o.minimum; v < o.maximum; v += interval) {
    PaintTick(painter, o, static_cast<int>(v));
  }
  PaintTick(painter, o, o.maximum);
  painter->restore();
}

}  // namespace

QRect SliderSubControlRect(const QStyleOptionSlider& o, QStyle::SubControl subControl) {
  const bool horizontal = Horizontal(o);
  const QRect band = ThumbBand(o);
  switch (subControl) {
    case QStyle::SC_SliderGroove:
      // The full travel of the thumb: the slider maps positions through it.
      return Centred(band, horizontal, M::kSliderChannelThickness);
    case QStyle::SC_SliderHandle: {
      const int length = M::kSliderThumbLength;
      const int span = (horizontal ? o.rect.width() : o.rect.height()) - length;
      const int pos = QStyle::sliderPositionFromValue(o.minimum, o.maximum, o.sliderPosition,
                                                      std::max(0, span), o.upsideDown);
      const QRect across = Centred(band, horizontal, M::kSliderThumbThickness);
      return horizontal ? QRect(o.rect.x() + pos, across.y(), length, across.height())
                        : QRect(across.x(), o.rect.y() + pos, across.width(), length);
    }
    case QStyle::SC_SliderTickmarks:
      return o.rect;
    default:
      return QRect();
  }
}

void PaintSlider(QPainter* painter, const QStyleOptionSlider& o) {
  const bool horizontal = Horizontal(o);
  const bool enabled = o.state & QStyle::State_Enabled;
  painter->fillRect(o.rect, SkinColour(I::kButtonFace));

  const QRect groove = SliderSubControlRect(o, QStyle::SC_SliderGroove);
  const QRect thumb = SliderSubControlRect(o, QStyle::SC_SliderHandle);
  const int inset = M::kSliderChannelInset;
  const QRect channel =
      horizontal ? groove.adjusted(inset, 0, -inset, 0) : groove.adjusted(0, inset, 0, -inset);
  if (o.subControls & QStyle::SC_SliderGroove) {
    DrawSkinEdge(painter, channel, SkinEdge::kSunkenBox);
    // The stretch from the minimum end to the thumb shows the value.
    const int edge = M::kEdgeWidth;
    const QRect inner = channel.adjusted(edge, edge, -edge, -edge);
    QRect fill;
    if (horizontal) {
      fill = o.upsideDown ? QRect(QPoint(thumb.right() + 1, inner.top()), inner.bottomRight())
                          : QRect(inner.topLeft(), QPoint(thumb.left() - 1, inner.bottom()));
    } else {
      fill = o.upsideDown ? QRect(QPoint(inner.left(), thumb.bottom() + 1), inner.bottomRight())
                          : QRect(inner.topLeft(), QPoint(inner.right(), thumb.top() - 1));
    }
    fill = fill.intersected(inner);
    if (!fill.isEmpty()) {
      painter->fillRect(fill,
                        enabled ? QColor::fromRgb(kSkinSliderFill) : SkinColour(I::kDarkShadow3D));
    }
  }
  if (o.subControls & QStyle::SC_SliderTickmarks) PaintTicks(painter, o);
  if (o.subControls & QStyle::SC_SliderHandle) PaintThumb(painter, thumb, horizontal, PointSide(o));
  if ((o.state & QStyle::State_HasFocus) && (o.state & QStyle::State_KeyboardFocusChange))
    PaintFocusRect(painter, o.rect);
}
