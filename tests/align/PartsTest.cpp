// The estimator's parts: the exposure map, the rank-bitmap shift search, the
// choice of sample pixels, and results that do not depend on the thread count.
#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <cmath>
#include <cstring>
#include <random>

#include "align/Align.h"
#include "align/CoarseShift.h"
#include "align/Samples.h"
#include "tests/align/AlignScenes.h"

namespace {

LumaPlane ScenePlane(int w, int h, double dx, double dy, double power) {
  LumaPlane plane;
  plane.width = w, plane.height = h;
  const Scene scene(21);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double v = 0.0;
      scene.At(x + dx, y + dy, 1, &v);
      plane.values.push_back(static_cast<float>(std::pow(v, power)));
    }
  return plane;
}

TEST(ExposureMap, UndoesAToneCurve) {
  // The same scene through a brighter curve: mapped back onto the reference's values.
  const LumaPlane reference = ScenePlane(200, 150, 0, 0, 1.0);
  const LumaPlane brighter = ScenePlane(200, 150, 0, 0, 0.5);
  const ExposureMap map(HistogramOf(brighter), HistogramOf(reference));
  float previous = -1.0f;
  for (size_t i = 0; i < reference.values.size(); i += 37)
    EXPECT_NEAR(map.Apply(brighter.values[i]), reference.values[i], 0.01) << i;
  for (int i = 0; i <= 100; ++i) {
    const float v = map.Apply(static_cast<float>(i) / 100.0f);
    EXPECT_GE(v, previous);  // monotonic
    previous = v;
  }
  EXPECT_NEAR(map.Slope(0.5f), 2.0 * 0.5, 0.15);  // d(v^2)/dv at 0.5
}

TEST(RankBitmaps, FindTheShiftAcrossExposures) {
  const LumaPlane reference = ScenePlane(120, 90, 0, 0, 1.0);
  const LumaPlane moving = ScenePlane(120, 90, -5, 3, 1.8);  // darker, content moved
  const auto a = RankThresholds(reference), b = RankThresholds(moving);
  RankBitmap ra, rb;
  const uint8_t ranks = UsableRanks(a, b);
  CutAtRanks(reference, a, ranks, &ra);
  CutAtRanks(moving, b, ranks, &rb);
  const ShiftCandidate best = SearchShift(ra, rb, 0, 0, 8);
  EXPECT_EQ(best.dx, 5);
  EXPECT_EQ(best.dy, -3);
  EXPECT_LT(best.disagreement, 0.05);
}

TEST(SampleSelection, DetailedWellExposedPixelsOnly) {
  // Left third flat, middle textured, right third clipped white.
  LumaPlane plane = ScenePlane(300, 100, 0, 0, 1.0);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 300; ++x) {
      float& v = plane.values[static_cast<size_t>(y) * 300 + x];
      if (x < 100) v = 0.4f;
      if (x >= 200) v = 1.0f;
    }
  LevelSamples s;
  SelectSamples(plane, 0, 2000, &s);
  ASSERT_GT(s.Count(), 500u);
  EXPECT_LE(s.Count(), 2400u);
  for (size_t i = 0; i < s.Count(); ++i) {
    ASSERT_GE(s.x[i], 99.0f);
    ASSERT_LE(s.x[i], 199.0f);
    ASSERT_GT(s.gx[i] * s.gx[i] + s.gy[i] * s.gy[i], 0.0f);
  }
}

TEST(AlignThreads, MotionDoesNotDependOnTheThreadCount) {
  // Large enough for every parallel path: the half-size luminance and its
  // histograms, the sample look-ups on the picture itself, the sums; 16-bit
  // grey, where the other large picture is 8-bit colour.
  ScopedPicBuf reference(1500, 1000, 1, 16), moved(1500, 1000, 1, 16);
  const GridScene scene = LargeScene(4, 1500, 1000, 4.0);
  Homography shrink;
  shrink.m[0] = shrink.m[4] = 0.25;
  RenderScene(scene, shrink, 0.0, reference.get());
  RenderScene(scene, Compose(shrink, Turn(1500, 1000, 0.6, 1.0, 9.0, -4.0, 1e-6, 0.0)), 1.0,
              moved.get());
  auto estimate = [&](size_t threads) {
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
    AlignReference prepared;
    EXPECT_FALSE(PrepareAlignReference(*reference, &prepared));
    FrameMotion m;
    EXPECT_FALSE(EstimateMotion(prepared, *moved, AlignModel::kAuto, &m));
    return m;
  };
  const FrameMotion one = estimate(1), two = estimate(2);
  EXPECT_EQ(one.outcome, AlignOutcome::kAligned);
  EXPECT_EQ(0, std::memcmp(one.toSource.m.data(), two.toSource.m.data(), sizeof(one.toSource.m)));
}

}  // namespace
