#include "single/Exposure.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/single/TestHelpers.h"

namespace {

using Values = std::vector<uint32_t>;

// Runs op on a one-row picture of the given samples and returns the result.
template <typename T, typename Op>
Values Apply(const Values& samples, Op op) {
  ScopedPicBuf src(static_cast<int>(samples.size()), 1, 1, sizeof(T) * 8), dst;
  Fill(src.get(), [&](int x, int, int) { return samples[static_cast<size_t>(x)]; });
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  op(dst.get(), src.get());
  return Samples(*dst);
}

Values Levels8(const Values& s, uint32_t low, uint32_t high) {
  return Apply<uint8_t>(s, [&](auto* d, auto* r) { LevelsWindow_x8(d, r, low, high); });
}

TEST(LevelsWindow, ClipsAtHighFirstThenBelowLowTruncatesBetweenAndKeepsToItsDepth) {
  EXPECT_EQ(Levels8({0, 120, 239, 240, 255}, 0, 240), (Values{0, 127, 253, 255, 255}));
  EXPECT_EQ(Levels8({0, 199, 200, 254, 255}, 200, 255), (Values{0, 0, 0, 250, 255}));
  // An empty or reversed window never divides: s >= high is tested first.
  EXPECT_EQ(Levels8({0, 99, 100, 101}, 100, 100), (Values{0, 0, 255, 255}));
  EXPECT_EQ(Levels8({0, 99, 100}, 200, 50), (Values{0, 255, 255}));
  // The 16-bit form: see SeriesJobs.SixteenBitSourcesUseBoundsTimes256.
  // A destination of another depth is left alone rather than half filled.
  ScopedPicBuf src(3, 2, 3, 8), wide(3, 2, 3, 16);
  CBxPicBufAPI::SetConst(src.get(), 200);
  CBxPicBufAPI::SetConst(wide.get(), 0);
  LevelsWindow_x8(wide.get(), src.get(), 0, 255);
  EXPECT_EQ(Samples(*wide), Values(18, 0));
}

TEST(GammaCurve, UnitGammaKeepsEverySampleEndpointsStayAndValuesRound) {
  // Unit gamma at 8 bits: file_000_000.tif of the daylight family equals its source.
  EXPECT_EQ(Apply<uint16_t>({1, 12345, 65534}, [](auto* d, auto* s) { GammaCurve_x16(d, s, 1.0); }),
            (Values{1, 12345, 65534}));
  // sqrt(64 / 255) * 255 + 0.5 = 128.25; (1000 / 65535)^1.12 * 65535 + 0.5 = 605.9
  EXPECT_EQ(Apply<uint8_t>({0, 64, 255}, [](auto* d, auto* s) { GammaCurve_x8(d, s, 2.0); }),
            (Values{0, 128, 255}));
  EXPECT_EQ(
      Apply<uint16_t>({0, 1000, 65535}, [](auto* d, auto* s) { GammaCurve_x16(d, s, 1 / 1.12); }),
      (Values{0, 605, 65535}));
}

TEST(EstimateNoise, FlatAndShortPicturesHaveNoneAndOneBrightPixelCountsSixteenTimes) {
  ScopedPicBuf flat(20, 20, 1, 8), threeRows(20, 3, 1, 8), twoColumns(2, 20, 1, 8),
      pic(10, 12, 1, 8);
  CBxPicBufAPI::SetConst(flat.get(), 77);
  FillNoisy(threeRows.get(), 1, 60);
  FillNoisy(twoColumns.get(), 2, 60);
  for (ScopedPicBuf* none : {&flat, &threeRows, &twoColumns})
    EXPECT_EQ(EstimateNoise(none->get()), 0.0);
  // All nine mask positions around (5, 5) are interior: S = 16 * 200, N = 8 * 10.
  Fill(pic.get(), [](int x, int y, int) { return x == 5 && y == 5 ? 200u : 0u; });
  EXPECT_DOUBLE_EQ(EstimateNoise(pic.get()),
                   std::sqrt(16.0 * 200 / (12.0 * 8 * 10) * 3.14159265359));
}

}  // namespace
