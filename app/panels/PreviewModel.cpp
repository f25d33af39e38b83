#include "app/panels/PreviewModel.h"

#include <algorithm>
#include <cmath>

namespace {

// One axis of the preview rectangle: [low, high) for the rounded point p.
void PlaceSpan(double p, int size, int side, int reach, double* low, double* high) {
  const double extent = static_cast<double>(size);
  double end = std::min(p + reach, extent);
  const double start = end - side > 0.0 ? end - side : 0.0;
  end = start + side < extent ? start + side : extent;
  *low = start;
  *high = end;
}

int WholeEdge(double edge, int limit) {
  const int v = std::min(static_cast<int>(edge + 0.5), limit);
  return v < 1 ? 0 : v;
}

}  // namespace

PreviewRect PlacePreviewRect(double centreX, double centreY, int width, int height, int side,
                             int reach) {
  PreviewRect r;
  PlaceSpan(std::floor(centreX + 0.5), width, side, reach, &r.left, &r.right);
  PlaceSpan(std::floor(centreY + 0.5), height, side, reach, &r.top, &r.bottom);
  return r;
}

CBxRect IntegerPreviewRect(const PreviewRect& rect, int width, int height) {
  return CBxRect{WholeEdge(rect.left, width), WholeEdge(rect.top, height),
                 WholeEdge(rect.right, width), WholeEdge(rect.bottom, height)};
}

void ViewCentrePoint(const CBxPicMap& map, int viewWidth, int viewHeight, double* x, double* y) {
  map.MapPointDstToSrc(x, y, viewWidth / 2, viewHeight / 2);
}

PreviewRect FusionPreviewPlacement(const FusionPanelKind& kind, int width, int height, double x,
                                   double y) {
  return PlacePreviewRect(x, y, width, height, kind.previewSide, kind.previewReach);
}

PreviewRect TonePreviewPlacement(int width, int height, double x, double y) {
  const double cx = std::floor(x + 0.5);
  const double cy = std::floor(y + 0.5);
  auto low = [](double v) { return v < 1.0 ? 0.0 : v; };
  return {low(cx - kTonePreviewHalf), low(cy - kTonePreviewHalf),
          std::min(cx + kTonePreviewHalf, static_cast<double>(width)),
          std::min(cy + kTonePreviewHalf, static_cast<double>(height))};
}

PreviewModel::PreviewModel(const PreviewRect& rect, int width, int height, int margin)
    : width_(width),
      height_(height),
      margin_(margin),
      rect_(rect),
      integerRect_(IntegerPreviewRect(rect, width, height)) {}

namespace {
PreviewRect PlaceForView(const FusionPanelKind& kind, int width, int height, const CBxPicMap& map,
                         int viewWidth, int viewHeight) {
  double x = 0.0, y = 0.0;
  ViewCentrePoint(map, viewWidth, viewHeight, &x, &y);
  return FusionPreviewPlacement(kind, width, height, x, y);
}
}  // namespace

PreviewModel::PreviewModel(const FusionPanelKind& kind, int width, int height, const CBxPicMap& map,
                           int viewWidth, int viewHeight)
    : PreviewModel(PlaceForView(kind, width, height, map, viewWidth, viewHeight), width, height,
                   kWorkRegionMargin) {}

CBxRect PreviewModel::Region() const {
  return WorkRegion(integerRect_, width_, height_, margin_);
}

bool PreviewModel::Contains(const CBxPicMap& map, int viewX, int viewY) const {
  int left = 0, top = 0, right = 0, bottom = 0;
  map.MapPointSrcToDst(&left, &top, integerRect_.left, integerRect_.top);
  map.MapPointSrcToDst(&right, &bottom, integerRect_.right, integerRect_.bottom);
  return viewX >= left && viewX < right && viewY >= top && viewY < bottom;
}

void PreviewModel::MoveBy(int dx, int dy, double zoom) {
  if (zoom <= 0.0) return;
  // The rectangle stays on the picture: dragged past an edge it stops there instead of
  // shrinking out of sight.
  const double x = std::clamp(dx / zoom, -rect_.left, width_ - rect_.right);
  const double y = std::clamp(dy / zoom, -rect_.top, height_ - rect_.bottom);
  rect_.left += x;
  rect_.right += x;
  rect_.top += y;
  rect_.bottom += y;
  integerRect_ = IntegerPreviewRect(rect_, width_, height_);
}

bool PreviewModel::NeedsPreview(bool force) const {
  const CBxRect region = Region();
  const bool same = region.left == lastRegion_.left && region.top == lastRegion_.top &&
                    region.right == lastRegion_.right && region.bottom == lastRegion_.bottom;
  return force || !same;
}

SliderStep StepSlider(const ParameterRange& range, SliderScroll scroll, int position,
                      int previous) {
  int value = position;
  switch (scroll) {
    case SliderScroll::kLineDown:
    case SliderScroll::kPageDown:
      --value;
      break;
    case SliderScroll::kLineUp:
    case SliderScroll::kPageUp:
      ++value;
      break;
    case SliderScroll::kThumbTrack:
    case SliderScroll::kThumbPosition:
      break;
  }
  value = range.Clamp(value);
  const bool force = scroll == SliderScroll::kThumbPosition ||
                     (scroll != SliderScroll::kThumbTrack && value != previous);
  return {value, force};
}
