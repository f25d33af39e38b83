// The fusion panels' decisions without widgets: the rectangle, its region, when to re-fuse,
// the slider's steps.
#include <gtest/gtest.h>

#include <tuple>

#include "app/panels/PreviewModel.h"

namespace {

// The view shows the picture at `zoom` with picture point (cx, cy) at the centre of a
// 1000 x 800 view.
CBxPicMap Map(double cx, double cy, double zoom = 1.0) {
  CBxPicMap map;
  map.Compute(500, 400, cx, cy, 0.0, zoom);
  return map;
}

auto Edges(const CBxRect& r) {
  return std::tuple(r.left, r.top, r.right, r.bottom);
}

TEST(PreviewModel, PlacementRoundsThePointAndKeepsTheRectangleOnThePicture) {
  // Lower-right corner 150 beyond the (rounded) centre point; pushed back
  // inside at the far edge, starting at 0 at the near one; a smaller picture
  // covered whole.
  auto edges = [](const PreviewRect& r) { return std::tuple(r.left, r.top, r.right, r.bottom); };
  EXPECT_EQ(edges(PlacePreviewRect(1000.4, 800.6, 3000, 2000, 500, 150)),
            std::tuple(650.0, 451.0, 1150.0, 951.0));
  EXPECT_EQ(edges(PlacePreviewRect(2990.0, 20.0, 3000, 2000, 500, 150)),
            std::tuple(2500.0, 0.0, 3000.0, 500.0));
  EXPECT_EQ(edges(PlacePreviewRect(150.0, 100.0, 300, 200, 500, 150)),
            std::tuple(0.0, 0.0, 300.0, 200.0));
  EXPECT_EQ(Edges(IntegerPreviewRect(PreviewRect{0.4, -3.2, 640.7, 480.49}, 640, 480)),
            std::tuple(0, 0, 640, 480));
  EXPECT_EQ(Edges(IntegerPreviewRect(PreviewRect{0.6, 1.5, 3.0, 4.4}, 640, 480)),
            std::tuple(1, 2, 3, 4));
}

TEST(PreviewModel, RectangleIsPlacedAboutTheViewCentreAndItsRegionClippedToThePicture) {
  const struct {
    FusionPanelKind kind;
    int width, height;
    double cx, cy;
    std::tuple<int, int, int, int> rect, region;
  } cases[] = {
      // Multi Image: 500 x 500, its lower-right corner 150 pixels beyond the centre point.
      {kMultiImagePanel, 3000, 2000, 1500, 1000, {1150, 650, 1650, 1150}, {894, 394, 1906, 1406}},
      // Near the top-left corner the rectangle is pushed inside and the margin shrinks.
      {kMultiImagePanel, 3000, 2000, 100, 50, {0, 0, 500, 500}, {0, 0, 756, 756}},
      // A picture smaller than the rectangle is covered whole.
      {kMultiImagePanel, 300, 200, 150, 100, {0, 0, 300, 200}, {0, 0, 300, 200}},
      // Daylight: 400 x 400 centred.
      {kDaylightPanel, 3000, 2000, 1500, 1000, {1300, 800, 1700, 1200}, {1044, 544, 1956, 1456}},
      {kDaylightPanel, 3000, 2000, 2990, 1990, {2600, 1600, 3000, 2000}, {2344, 1344, 3000, 2000}},
  };
  for (const auto& c : cases) {
    const PreviewModel model(c.kind, c.width, c.height, Map(c.cx, c.cy), 1000, 800);
    EXPECT_EQ(Edges(model.IntegerRect()), c.rect) << c.cx << "," << c.cy;
    EXPECT_EQ(Edges(model.Region()), c.region) << c.cx << "," << c.cy;
  }
}

TEST(PreviewModel, DraggingMovesByTheZoomedDeltaStopsAtTheEdgesAndRefusesOnlyNewRegions) {
  PreviewModel model(kDaylightPanel, 3000, 2000, Map(1500, 1000, 0.5), 1000, 800);
  EXPECT_TRUE(model.NeedsPreview(false));
  model.PreviewDone();
  EXPECT_FALSE(model.NeedsPreview(false));  // a release without a move does not re-fuse
  EXPECT_TRUE(model.NeedsPreview(true));

  // The rectangle's centre is shown at the view's centre; a point inside it is inside.
  EXPECT_TRUE(model.Contains(Map(1500, 1000, 0.5), 500, 400));
  EXPECT_FALSE(model.Contains(Map(1500, 1000, 0.5), 500 + 101, 400));

  model.MoveBy(11, -3, 0.5);  // 22 and -6 picture pixels
  EXPECT_EQ(Edges(model.IntegerRect()), std::make_tuple(1322, 794, 1722, 1194));
  EXPECT_TRUE(model.NeedsPreview(false));

  model.MoveBy(5000, 5000, 1.0);  // far past the lower-right corner: stops there
  EXPECT_EQ(Edges(model.IntegerRect()), std::make_tuple(2600, 1600, 3000, 2000));
  model.MoveBy(-9000, -9000, 1.0);
  EXPECT_EQ(Edges(model.IntegerRect()), std::make_tuple(0, 0, 400, 400));
}

TEST(PreviewModel, SliderStepsTwoPerLineOnePerPageAndForcesOnlyChangedOrReleasedValues) {
  const ParameterRange& range = parameter::kExposure;  // 48..160
  const struct {
    SliderScroll scroll;
    int position, previous;
    int value;
    bool force;
  } cases[] = {
      {SliderScroll::kLineUp, 101, 100, 102, true},  // the slider moved one, the panel one more
      {SliderScroll::kLineDown, 99, 100, 98, true},
      {SliderScroll::kPageUp, 100, 100, 101, true},  // a page moves the slider by nothing
      {SliderScroll::kPageDown, 100, 100, 99, true},
      {SliderScroll::kLineUp, 160, 160, 160, false},  // held at the end: nothing changed
      {SliderScroll::kPageDown, 48, 48, 48, false},
      {SliderScroll::kThumbTrack, 130, 100, 130, false},    // dragging only shows the value
      {SliderScroll::kThumbPosition, 100, 100, 100, true},  // the release always re-fuses
  };
  for (const auto& c : cases) {
    const SliderStep step = StepSlider(range, c.scroll, c.position, c.previous);
    EXPECT_EQ(step.value, c.value) << static_cast<int>(c.scroll) << " at " << c.position;
    EXPECT_EQ(step.force, c.force) << static_cast<int>(c.scroll) << " at " << c.position;
  }
}

}  // namespace
