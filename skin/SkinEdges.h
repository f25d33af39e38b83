#pragma once

#include <QColor>
#include <QRect>

class QPainter;

// 3D edges in the theme's colours. The flag bits are the usual ones of edge
// drawing, so a raised box is kRaisedOuter | kRaisedInner and a sunken box
// kSunkenOuter | kSunkenInner; the inner edge sits one pixel inside the outer.
struct SkinEdge {
  static constexpr unsigned kRaisedOuter = 1;  // 3D light top-left, dark shadow bottom-right
  static constexpr unsigned kSunkenOuter = 2;  // button shadow / button highlight
  static constexpr unsigned kRaisedInner = 4;  // button highlight / button shadow
  static constexpr unsigned kSunkenInner = 8;  // dark shadow / 3D light
  static constexpr unsigned kRaisedBox = kRaisedOuter | kRaisedInner;
  static constexpr unsigned kSunkenBox = kSunkenOuter | kSunkenInner;

  static constexpr unsigned kLeft = 1;
  static constexpr unsigned kTop = 2;
  static constexpr unsigned kRight = 4;
  static constexpr unsigned kBottom = 8;
  static constexpr unsigned kAllSides = 15;
};

// Draws the edges named by `edge` on the `sides` of `rect` (both inclusive of
// the rectangle's last row and column). The right column and bottom row take
// the bottom-right colour over their full length.
void DrawSkinEdge(QPainter* painter, const QRect& rect, unsigned edge,
                  unsigned sides = SkinEdge::kAllSides);

// A one-pixel frame: top and left in one colour, bottom and right in another.
void DrawSkinFrame(QPainter* painter, const QRect& rect, const QColor& topLeft,
                   const QColor& bottomRight, unsigned sides = SkinEdge::kAllSides);

// A face shaded from a lighter to a darker tone of `base` (reversed when
// pressed), for combo-box and toolbar buttons.
void FillShadedFace(QPainter* painter, const QRect& rect, const QColor& base, bool pressed);
