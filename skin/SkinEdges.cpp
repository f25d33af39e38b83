#include "skin/SkinEdges.h"

#include <QLinearGradient>
#include <QPainter>

#include "skin/SkinColours.h"

void DrawSkinFrame(QPainter* painter, const QRect& rect, const QColor& topLeft,
                   const QColor& bottomRight, unsigned sides) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  const int x = rect.x();
  const int y = rect.y();
  const int w = rect.width();
  const int h = rect.height();
  // Top and left first, leaving the last pixel of each to the other colour.
  if (sides & SkinEdge::kTop) painter->fillRect(x, y, w - 1, 1, topLeft);
  if (sides & SkinEdge::kLeft) painter->fillRect(x, y, 1, h - 1, topLeft);
  if (sides & SkinEdge::kBottom) painter->fillRect(x, y + h - 1, w, 1, bottomRight);
  if (sides & SkinEdge::kRight) painter->fillRect(x + w - 1, y, 1, h, bottomRight);
}

void DrawSkinEdge(QPainter* painter, const QRect& rect, unsigned edge, unsigned sides) {
  using I = SkinColourIndex;
  QColor outerTl, outerBr, innerTl, innerBr;
  bool outer = true;
  bool inner = true;
  if (edge & SkinEdge::kRaisedOuter) {
    outerTl = SkinColour(I::kLight3D);
    outerBr = SkinColour(I::kDarkShadow3D);
  } else if (edge & SkinEdge::kSunkenOuter) {
    outerTl = SkinColour(I::kButtonShadow);
    outerBr = SkinColour(I::kButtonHighlight);
  } else {
    outer = false;
  }
  if (edge & SkinEdge::kRaisedInner) {
    innerTl = SkinColour(I::kButtonHighlight);
    innerBr = SkinColour(I::kButtonShadow);
  } else if (edge & SkinEdge::kSunkenInner) {
    innerTl = SkinColour(I::kDarkShadow3D);
    innerBr = SkinColour(I::kLight3D);
  } else {
    inner = false;
  }

  QRect r = rect;
  if (outer) {
    DrawSkinFrame(painter, r, outerTl, outerBr, sides);
    r.adjust(sides & SkinEdge::kLeft ? 1 : 0, sides & SkinEdge::kTop ? 1 : 0,
             sides & SkinEdge::kRight ? -1 : 0, sides & SkinEdge::kBottom ? -1 : 0);
  }
  if (inner) DrawSkinFrame(painter, r, innerTl, innerBr, sides);
}

void FillShadedFace(QPainter* painter, const QRect& rect, const QColor& base, bool pressed) {
  QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
  const QColor light = base.lighter(118);
  const QColor dark = base.darker(108);
  gradient.setColorAt(0.0, pressed ? dark : light);
  gradient.setColorAt(1.0, pressed ? light : dark);
  painter->fillRect(rect, gradient);
}
