// The motion record: maps composed and inverted, the numbers reported for a
// homography, and the lines callers print.
#include <gtest/gtest.h>

#include "align/Motion.h"
#include "tests/align/AlignScenes.h"

namespace {

TEST(Homography, InverseAndCompositionRoundTrip) {
  const Homography h = Turn(400, 300, 1.7, 1.02, 5.5, -3.25, 2e-5, -1e-5);
  Homography inverse;
  ASSERT_FALSE(Invert(h, &inverse));
  const Homography identity = Compose(h, inverse);
  EXPECT_LT(CornerError(identity, Homography{}, 400, 300), 1e-9);
  Homography singular;
  singular.m = {1, 2, 3, 2, 4, 6, 0, 0, 1};
  EXPECT_TRUE(Invert(singular, &inverse));
}

TEST(Homography, WholePixelShiftsAreRecognised) {
  int dx = 0, dy = 0;
  Homography h;
  h.m[2] = 4.0, h.m[5] = -7.0;
  EXPECT_TRUE(IsWholePixelShift(h, &dx, &dy));
  EXPECT_EQ(dx, 4);
  EXPECT_EQ(dy, -7);
  h.m[2] = 4.5;
  EXPECT_FALSE(IsWholePixelShift(h, &dx, &dy));
  h.m[2] = 4.0, h.m[0] = 1.0 + 1e-12;
  EXPECT_FALSE(IsWholePixelShift(h, &dx, &dy));
}

TEST(MotionNumbers, ShiftRotationScaleAndCorners) {
  // Reference pixel p -> picture point: the content turned 2 degrees
  // counter-clockwise on screen, scaled by 1/1.01, moved 3 px right and 4 down.
  const Homography toScene = Turn(301, 201, 2.0, 1.01, -3.0, -4.0);
  Homography toSource;
  ASSERT_FALSE(Invert(toScene, &toSource));
  FrameMotion m;
  DescribeHomography(toSource, 301, 201, &m);
  EXPECT_NEAR(m.rotationDegrees, 2.0, 1e-6);
  EXPECT_NEAR(m.scale, 1.0 / 1.01, 1e-6);
  double cx = 0, cy = 0;
  MapPoint(toSource, 150, 100, &cx, &cy);
  EXPECT_NEAR(m.shiftX, cx - 150, 1e-9);
  EXPECT_NEAR(m.shiftY, cy - 100, 1e-9);
  EXPECT_GT(m.cornerMotion, std::hypot(m.shiftX, m.shiftY));
}

TEST(MotionNumbers, LinesForCallers) {
  FrameMotion m;
  m.outcome = AlignOutcome::kStill;
  EXPECT_EQ(DescribeMotion(m), "still");
  m.outcome = AlignOutcome::kLeftAsIs;
  m.reason = AlignReason::kPoorMatch;
  EXPECT_EQ(DescribeMotion(m), "left as it was: it does not match the reference");
  m.outcome = AlignOutcome::kAligned;
  m.model = MotionModel::kRigid;
  m.shiftX = 1.234, m.shiftY = -0.5, m.rotationDegrees = 0.25, m.scale = 1.0;
  EXPECT_EQ(DescribeMotion(m), "shift 1.23, -0.50 px, rotation 0.250 deg, scale 1.0000, rigid");
}

}  // namespace
