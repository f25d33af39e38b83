#include "single/Exposure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/single/TestPictures.h"

namespace {

using Samples = std::vector<uint32_t>;

// Runs op on a one-row picture of the given samples and returns the result.
template <typename T, typename Op>
Samples Apply(const Samples& samples, uint32_t bits, Op op) {
  ScopedPicBuf src(static_cast<int>(samples.size()), 1, 1, bits), dst;
  for (size_t x = 0; x < samples.size(); ++x)
    Sample<T>(*src, static_cast<int>(x), 0) = static_cast<T>(samples[x]);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  op(dst.get(), src.get());
  Samples out;
  for (int x = 0; x < dst->width; ++x)
    out.push_back(Sample<T>(*dst, x, 0));
  return out;
}

Samples Levels8(const Samples& s, uint32_t low, uint32_t high) {
  return Apply<uint8_t>(s, 8,
                        [&](SBxPicBuf* d, SBxPicBuf* r) { LevelsWindow_x8(d, r, low, high); });
}

TEST(LevelsWindow, ClipsAtHighFirstThenBelowLowAndTruncatesBetween) {
  EXPECT_EQ(Levels8({0, 120, 239, 240, 255}, 0, 240), (Samples{0, 127, 253, 255, 255}));
  EXPECT_EQ(Levels8({0, 199, 200, 254, 255}, 200, 255), (Samples{0, 0, 0, 250, 255}));
  // An empty or reversed window never divides: s >= high is tested first.
  EXPECT_EQ(Levels8({0, 99, 100, 101}, 100, 100), (Samples{0, 0, 255, 255}));
  EXPECT_EQ(Levels8({0, 99, 100}, 200, 50), (Samples{0, 255, 255}));
  const Samples wide = Apply<uint16_t>({0, 30720, 61439, 61440, 65535}, 16,
                                       [](auto* d, auto* r) { LevelsWindow_x16(d, r, 0, 61440); });
  EXPECT_EQ(wide, (Samples{0, 32767, 65533, 65535, 65535}));
}

TEST(LevelsWindow, StepsRowsByStrideAndRefusesAnotherDepth) {
  ScopedPicBuf src(3, 2, 3, 8), dst(3, 2, 3, 8);
  Fill(src.get(), [](int x, int y, int c) { return static_cast<uint32_t>(x * 40 + y * 100 + c); });
  std::memset(RowPtr(*src, 0) + 9, 7, src->stride - 9);
  LevelsWindow_x8(dst.get(), src.get(), 0, 255);
  EXPECT_TRUE(SamePixels(*dst, *src));
  // A destination of another depth is left alone rather than half filled.
  ScopedPicBuf wide(3, 2, 3, 16);
  CBxPicBufAPI::SetConst(wide.get(), 0);
  LevelsWindow_x8(wide.get(), src.get(), 0, 255);
  EXPECT_EQ(Sample<uint16_t>(*wide, 1, 0), 0);
}

TEST(GammaCurve, UnitGammaKeepsEverySampleAndEndpointsStay) {
  Samples all8, all16;
  for (uint32_t v = 0; v < 256; ++v)
    all8.push_back(v);
  for (uint32_t v = 0; v < 65536; v += 97)
    all16.push_back(v);
  all16.push_back(65535);
  EXPECT_EQ(Apply<uint8_t>(all8, 8, [](auto* d, auto* s) { GammaCurve_x8(d, s, 1.0); }), all8);
  EXPECT_EQ(Apply<uint16_t>(all16, 16, [](auto* d, auto* s) { GammaCurve_x16(d, s, 1.0); }), all16);

  auto curve = [](uint32_t v, double gamma, double m) {
    return static_cast<uint32_t>(std::pow(v / m, 1.0 / gamma) * m + 0.5);
  };
  EXPECT_EQ(
      Apply<uint8_t>({0, 64, 128, 255}, 8, [](auto* d, auto* s) { GammaCurve_x8(d, s, 2.0); }),
      (Samples{0, curve(64, 2.0, 255), curve(128, 2.0, 255), 255}));
  const double darker = 1.0 / 1.12;
  EXPECT_EQ(Apply<uint16_t>({0, 1000, 65535}, 16,
                            [&](auto* d, auto* s) { GammaCurve_x16(d, s, darker); }),
            (Samples{0, curve(1000, darker, 65535), 65535}));
}

TEST(ChannelMeans, GiveTheMeanOfEachComponentInStorageOrder) {
  ScopedPicBuf pic(5, 3, 3, 8);
  Fill(pic.get(), [](int x, int y, int c) {
    return static_cast<uint32_t>(c == 0 ? 10 : c == 1 ? x * 10 + y : 255);
  });
  double s0 = 0, s1 = 0, s2 = 0;
  ChannelMeans_3x8(&s0, &s1, &s2, pic.get());
  EXPECT_DOUBLE_EQ(s0, 10.0);
  EXPECT_DOUBLE_EQ(s1, 21.0);  // mean of x * 10 over 0..4 plus mean of y over 0..2
  EXPECT_DOUBLE_EQ(s2, 255.0);
}

TEST(EstimateNoise, FlatAndShortPicturesHaveNoNoise) {
  ScopedPicBuf flat(20, 20, 1, 8), threeRows(20, 3, 1, 8), narrow(2, 20, 1, 8);
  CBxPicBufAPI::SetConst(flat.get(), 77);
  FillNoisy(threeRows.get(), 1, 60);
  FillNoisy(narrow.get(), 2, 60);
  EXPECT_EQ(EstimateNoise(flat.get()), 0.0);
  EXPECT_EQ(EstimateNoise(threeRows.get()), 0.0);
  EXPECT_TRUE(std::isfinite(EstimateNoise(narrow.get())));
}

TEST(EstimateNoise, SingleBrightPixelAddsSixteenTimesItsValueWithTheNormaliserTwelve) {
  // All nine mask positions around (5, 5) are interior of a 10 x 12 picture.
  ScopedPicBuf pic(10, 12, 1, 8);
  CBxPicBufAPI::SetConst(pic.get(), 0);
  Sample<uint8_t>(*pic, 5, 5) = 200;
  EXPECT_DOUBLE_EQ(EstimateNoise(pic.get()),
                   std::sqrt(16.0 * 200 / (12.0 * 8 * 10) * 3.14159265359));
}

}  // namespace
