// Fit, zoom steps, wheel zoom limits and the typed zoom.
#include <gtest/gtest.h>

#include <cmath>

#include "app/ViewGeometry.h"

namespace {

TEST(TypedZoomTest, ParsesPercentagesAndLimitsThem) {
  struct Case {
    const char* text;
    double percent;
  };
  for (const Case& c :
       {Case{"150", 150.0}, Case{"7", 10.0}, Case{"2000", 800.0}, Case{"12,5", 12.5},
        Case{"12.5", 12.5}, Case{"150.0 %", 150.0}, Case{"37.5%", 37.5}, Case{"", 10.0},
        Case{"10", 10.0}, Case{"0000000015000", 15.0}, Case{"50 x", 50.0}}) {
    double percent = -1.0;
    ASSERT_TRUE(ParseTypedZoom(c.text, &percent)) << c.text;
    EXPECT_DOUBLE_EQ(percent, c.percent) << c.text;
  }
}

TEST(TypedZoomTest, RefusesOtherCharacters) {
  for (const char* text : {"1x0", "abc", "-50", "1.2.5"}) {
    double percent = -1.0;
    EXPECT_FALSE(ParseTypedZoom(text, &percent)) << text;
    EXPECT_EQ(percent, -1.0) << text;
  }
}

TEST(FitViewTest, ScalesToTheTighterSideAndCentres) {
  ViewContext view;
  FitView(&view, 1200, 800, 600, 500);
  EXPECT_DOUBLE_EQ(view.zoom, 0.5);
  EXPECT_DOUBLE_EQ(view.srcCx, 600.0);
  EXPECT_DOUBLE_EQ(view.srcCy, 400.0);
  EXPECT_DOUBLE_EQ(view.dstCx, 300.0);
  EXPECT_DOUBLE_EQ(view.dstCy, 250.0);

  CentreAtFullSize(&view, 1200, 800, 600, 500);
  EXPECT_DOUBLE_EQ(view.zoom, 1.0);
  EXPECT_DOUBLE_EQ(view.srcCx, 600.0);
}

TEST(FitViewTest, AViewOfNoSizeKeepsAUsableZoom) {
  ViewContext view;
  FitView(&view, 1200, 800, 0, 0);
  EXPECT_GT(view.zoom, 0.0);
}

TEST(WheelZoomTest, KeepsThePointUnderTheCursor) {
  ViewContext view;
  FitView(&view, 1000, 500, 500, 500);  // zoom 0.5, picture rows 125..375 on screen
  double beforeX = 0, beforeY = 0;
  ViewMap(view).MapPointDstToSrc(&beforeX, &beforeY, 100, 200);
  WheelZoom(&view, 100, 200, 120, 1000, 500);
  EXPECT_DOUBLE_EQ(view.zoom, 0.5 * kZoomInFactor);
  double afterX = 0, afterY = 0;
  ViewMap(view).MapPointDstToSrc(&afterX, &afterY, 100, 200);
  EXPECT_NEAR(afterX, beforeX, 1e-9);
  EXPECT_NEAR(afterY, beforeY, 1e-9);
}

TEST(WheelZoomTest, ACursorOffThePictureZoomsAboutItsNearestEdge) {
  ViewContext view;
  FitView(&view, 1000, 500, 500, 500);  // the picture covers rows 125..375
  WheelZoom(&view, 250, 10, 120, 1000, 500);
  EXPECT_DOUBLE_EQ(view.dstCy, 125.0);
  EXPECT_NEAR(view.srcCy, 0.0, 1e-9);
}

TEST(WheelZoomTest, LowerBoundWinsForTinyPictures) {
  ViewContext view;
  FitView(&view, 10, 5, 500, 500);
  WheelZoom(&view, 250, 250, 120, 10, 5);
  EXPECT_DOUBLE_EQ(view.zoom, 10.0);  // above 800 %: a 10-pixel picture is shown 100 wide
}

}  // namespace
