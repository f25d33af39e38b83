#include "app/panels/FusionPanelModel.h"

#include <algorithm>

FusionPanelModel::FusionPanelModel(const FusionPanelKind& kind, int width, int height,
                                   const CBxPicMap& map, int viewWidth, int viewHeight)
    : width_(width), height_(height) {
  double x = 0.0, y = 0.0;
  map.MapPointDstToSrc(&x, &y, viewWidth / 2, viewHeight / 2);
  rect_ = PlacePreviewRect(x, y, width, height, kind.previewSide, kind.previewReach);
  integerRect_ = IntegerPreviewRect(rect_, width_, height_);
}

CBxRect FusionPanelModel::Region() const {
  return WorkRegion(integerRect_, width_, height_);
}

bool FusionPanelModel::Contains(const CBxPicMap& map, int viewX, int viewY) const {
  int left = 0, top = 0, right = 0, bottom = 0;
  map.MapPointSrcToDst(&left, &top, integerRect_.left, integerRect_.top);
  map.MapPointSrcToDst(&right, &bottom, integerRect_.right, integerRect_.bottom);
  return viewX >= left && viewX < right && viewY >= top && viewY < bottom;
}

void FusionPanelModel::MoveBy(int dx, int dy, double zoom) {
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

bool FusionPanelModel::NeedsPreview(bool force) const {
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
