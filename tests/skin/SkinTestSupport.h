#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include "skin/SkinColours.h"

class QWidget;

// The tests share one application with the dark theme applied (set up by a
// global test environment on the offscreen platform).

// Shows the widget and renders it, at one pixel per point.
QImage RenderWidget(QWidget& widget);

inline QRgb Rgb(SkinColourIndex index) {
  return SkinColour(index).rgb();
}

// How many pixels of `rect` in `image` have exactly the colour `rgb`.
int CountPixels(const QImage& image, const QRect& rect, QRgb rgb);
