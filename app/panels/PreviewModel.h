#pragma once

#include "jobs/PreviewFusion.h"
#include "picture/CBxPicMap.h"
#include "picture/SBxPicBuf.h"
#include "settings/Parameters.h"

// What the panels with a preview rectangle decide, free of widgets: where the rectangle
// lies and how it moves, which region a preview computes, when a preview must run again,
// and how the sliders step.

// The preview rectangle in source-picture pixels, kept as doubles so that
// dragging by fractions of a pixel at low zoom adds up.
struct PreviewRect {
  double left = 0.0;
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;
};

// Multi Image: 500 x 500, its lower-right corner 150 pixels right of and below
// the point shown at the centre of the window. Daylight: 400 x 400 centred.
constexpr int kMultiImagePreviewSide = 500;
constexpr int kMultiImagePreviewReach = 150;
constexpr int kDaylightPreviewSide = 400;
constexpr int kDaylightPreviewReach = 200;

// Places the rectangle for the source point (centreX, centreY) shown at the
// centre of the window: both coordinates rounded; the far edge `reach` pixels
// beyond the point but inside the picture; the rectangle `side` pixels long
// where the picture allows, pushed back inside at the edges.
PreviewRect PlacePreviewRect(double centreX, double centreY, int width, int height, int side,
                             int reach);

// The rectangle in whole pixels: each edge + 0.5, truncated, limited to the
// picture; an edge below 1 becomes 0.
CBxRect IntegerPreviewRect(const PreviewRect& rect, int width, int height);

// The two fusion panels differ only in these.
struct FusionPanelKind {
  ParameterRange slider;  // exposure or Power
  int previewSide;
  int previewReach;
  bool multiImage;  // Multi Image: Set Default, browsing; Daylight: the fixed exposure
};
inline constexpr FusionPanelKind kMultiImagePanel{parameter::kExposure, kMultiImagePreviewSide,
                                                  kMultiImagePreviewReach, true};
inline constexpr FusionPanelKind kDaylightPanel{parameter::kDaylightPower, kDaylightPreviewSide,
                                                kDaylightPreviewReach, false};

// The Tone Mapping preview: at most 512 x 512, centred, cut off by the picture's edges.
constexpr int kTonePreviewHalf = 256;

// The picture point shown at the centre of a view of viewWidth x viewHeight.
void ViewCentrePoint(const CBxPicMap& map, int viewWidth, int viewHeight, double* x, double* y);
// The fusion panels' rectangle about that point.
PreviewRect FusionPreviewPlacement(const FusionPanelKind& kind, int width, int height, double x,
                                   double y);
// The Tone Mapping rectangle about that point: 256 pixels each way from the rounded point,
// limited to the picture (an edge below 1 becomes 0).
PreviewRect TonePreviewPlacement(int width, int height, double x, double y);

class PreviewModel {
 public:
  // A rectangle on a picture of width x height whose preview computes the rectangle
  // widened by `margin` pixels on every side (limited to the picture).
  PreviewModel(const PreviewRect& rect, int width, int height, int margin);
  // The fusion panels' rectangle for a picture shown with `map` in a view of viewWidth x
  // viewHeight, with the fusion's 256-pixel margin.
  PreviewModel(const FusionPanelKind& kind, int width, int height, const CBxPicMap& map,
               int viewWidth, int viewHeight);

  // The rectangle in whole pixels, and the region a preview computes for it.
  const CBxRect& IntegerRect() const { return integerRect_; }
  CBxRect Region() const;

  // Whether a view point lies inside the rectangle as shown with `map`.
  bool Contains(const CBxPicMap& map, int viewX, int viewY) const;
  // Moves the rectangle by a mouse move of (dx, dy) view pixels at `zoom`, no further than
  // the picture's edges.
  void MoveBy(int dx, int dy, double zoom);

  // True when a preview must run: forced, or the region differs from the last one fused.
  bool NeedsPreview(bool force) const;
  void PreviewDone() { lastRegion_ = Region(); }

 private:
  int width_;
  int height_;
  int margin_;
  PreviewRect rect_;
  CBxRect integerRect_;
  CBxRect lastRegion_{};
};

// How the panels' sliders step, whatever the toolkit calls its scroll codes.
enum class SliderScroll {
  kLineDown,  // arrow keys: the slider moves one step, the panel one more
  kLineUp,
  kPageDown,  // clicks beside the thumb, Page keys: the slider does not move, the panel one step
  kPageUp,
  kThumbTrack,     // the thumb is being dragged
  kThumbPosition,  // the thumb was released, or a wheel or key set it directly
};

struct SliderStep {
  int value;   // the new value, within the range
  bool force;  // run a preview even if the region did not change
};

// `position` is the slider's position after the toolkit applied the scroll; `previous` the
// panel's value before it.
SliderStep StepSlider(const ParameterRange& range, SliderScroll scroll, int position, int previous);
