// Fit, zoom steps, wheel zoom, panning and the typed zoom of the view.
#include "app/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void FitView(ViewContext* view, int pictureWidth, int pictureHeight, int areaWidth,
             int areaHeight) {
  CentreAtFullSize(view, pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (pictureWidth <= 0 || pictureHeight <= 0) return;
  view->zoom = std::min(static_cast<double>(areaWidth) / pictureWidth,
                        static_cast<double>(areaHeight) / pictureHeight);
  // A view squeezed to nothing must not leave a zoom that later steps cannot leave.
  if (!(view->zoom > 0.0)) view->zoom = 1.0;
}

void CentreAtFullSize(ViewContext* view, int pictureWidth, int pictureHeight, int areaWidth,
                      int areaHeight) {
  view->srcCx = pictureWidth / 2;
  view->srcCy = pictureHeight / 2;
  view->dstCx = areaWidth / 2;
  view->dstCy = areaHeight / 2;
  view->zoom = 1.0;
}

void WheelZoom(ViewContext* view, int cursorX, int cursorY, int wheelDelta, int pictureWidth,
               int pictureHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return;
  const CBxPicMap before = ViewMap(*view);
  int left = 0, top = 0, right = 0, bottom = 0;
  before.MapPointSrcToDst(&left, &top, 0.0, 0.0);
  before.MapPointSrcToDst(&right, &bottom, pictureWidth, pictureHeight);
  const int x = std::clamp(cursorX, left, std::max(left, right));
  const int y = std::clamp(cursorY, top, std::max(top, bottom));
  before.MapPointDstToSrc(&view->srcCx, &view->srcCy, x, y);
  view->dstCx = x;
  view->dstCy = y;

  view->zoom *= wheelDelta < 1 ? kZoomOutFactor : kZoomInFactor;
  view->zoom = std::min(view->zoom, kWheelZoomMax);
  view->zoom = std::max(view->zoom, kWheelMinLongSide / std::max(pictureWidth, pictureHeight));
}

void PanView(ViewContext* view, int lastX, int lastY, int x, int y) {
  view->srcCx += (lastX - x) / view->zoom;
  view->srcCy += (lastY - y) / view->zoom;
}

bool ParseTypedZoom(std::string_view text, double* percent) {
  constexpr size_t kMaxCharacters = 10;
  text = text.substr(0, std::min(text.size(), kMaxCharacters));
  double value = 0.0;
  int decimals = 0;
  bool inDecimals = false;
  for (char c : text) {
    if (c == '\0' || c == ' ' || c == '%') break;
    if (c >= '0' && c <= '9') {
      value = value * 10.0 + (c - '0');
      if (inDecimals) ++decimals;
    } else if ((c == '.' || c == ',') && !inDecimals) {
      inDecimals = true;
    } else {
      return false;
    }
  }
  value *= std::pow(10.0, -decimals);
  *percent = value > 10.0 ? std::min(value, 800.0) : 10.0;
  return true;
}

std::string ZoomText(double zoom) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f %%", zoom * 100.0);
  return text;
}
