// Fit, wheel zoom and the typed zoom, without a window.
#include <gtest/gtest.h>

#include <optional>

#include "app/ViewGeometry.h"

namespace {

TEST(TypedZoomTest, ParsesPercentagesLimitsThemAndRefusesOtherCharacters) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"150", 150.0},  {"7", 10.0},    {"2000", 800.0},
      {"12,5", 12.5},  {"12.5", 12.5}, {"150.0 %", 150.0},
      {"37.5%", 37.5}, {"", 10.0},     {"0000000015000", 15.0},
      {"50 x", 50.0},  {"1x0", {}},    {"abc", {}},
      {"-50", {}},     {"1.2.5", {}}};
  for (const auto& [text, expected] : cases) {
    double percent = -1.0;
    EXPECT_EQ(ParseTypedZoom(text, &percent), expected.has_value()) << text;
    EXPECT_DOUBLE_EQ(percent, expected.value_or(-1.0)) << text;  // untouched when refused
  }
}

TEST(WheelZoomTest, KeepsThePointUnderTheCursorOrTheNearestEdge) {
  ViewContext view;
  FitView(&view, 1000, 500, 500, 500);  // zoom 0.5, picture rows 125..375 on screen
  ASSERT_EQ(std::pair(view.zoom, view.dstCy), std::pair(0.5, 250.0));
  double beforeX = 0, beforeY = 0, afterX = 0, afterY = 0;
  ViewMap(view).MapPointDstToSrc(&beforeX, &beforeY, 100, 200);
  WheelZoom(&view, 100, 200, 120, 1000, 500);
  EXPECT_DOUBLE_EQ(view.zoom, 0.5 * kZoomInFactor);
  ViewMap(view).MapPointDstToSrc(&afterX, &afterY, 100, 200);
  EXPECT_NEAR(afterX, beforeX, 1e-9);
  EXPECT_NEAR(afterY, beforeY, 1e-9);

  FitView(&view, 1000, 500, 500, 500);
  WheelZoom(&view, 250, 10, 120, 1000, 500);  // above the picture
  EXPECT_DOUBLE_EQ(view.dstCy, 125.0);
  EXPECT_NEAR(view.srcCy, 0.0, 1e-9);
}

TEST(WheelZoomTest, TinyPicturesAndViewsOfNoSizeKeepAUsableZoom) {
  ViewContext view;
  FitView(&view, 1200, 800, 0, 0);  // a view of no size
  EXPECT_GT(view.zoom, 0.0);
  FitView(&view, 10, 5, 500, 500);
  WheelZoom(&view, 250, 250, 120, 10, 5);
  EXPECT_DOUBLE_EQ(view.zoom, 10.0);  // above 800 %: a 10-pixel picture is shown 100 wide
}

}  // namespace
