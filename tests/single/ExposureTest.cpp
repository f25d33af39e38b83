#include "single/Exposure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/single/TestPictures.h"

namespace {

// A one-row picture holding the given samples.
template <typename T>
void Row(ScopedPicBuf* pic, std::initializer_list<uint32_t> samples, uint32_t bits) {
  CBxPicBufAPI::ReinitHeap(pic->get(), static_cast<int>(samples.size()), 1, 1, bits);
  int x = 0;
  for (uint32_t s : samples)
    Sample<T>(**pic, x++, 0) = static_cast<T>(s);
}

template <typename T>
std::vector<uint32_t> Values(const SBxPicBuf& pic) {
  std::vector<uint32_t> v;
  for (int x = 0; x < pic.width; ++x)
    v.push_back(Sample<T>(pic, x, 0));
  return v;
}

TEST(LevelsWindow, BrighteningWindowClipsAtHighAndTruncates) {
  ScopedPicBuf src, dst;
  Row<uint8_t>(&src, {0, 120, 239, 240, 255}, 8);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  LevelsWindow_x8(dst.get(), src.get(), 0, 240);
  EXPECT_EQ(Values<uint8_t>(*dst), (std::vector<uint32_t>{0, 127, 253, 255, 255}));
}

TEST(LevelsWindow, DarkeningWindowClipsBelowLow) {
  ScopedPicBuf src, dst;
  Row<uint8_t>(&src, {0, 199, 200, 254, 255}, 8);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  LevelsWindow_x8(dst.get(), src.get(), 200, 255);
  EXPECT_EQ(Values<uint8_t>(*dst), (std::vector<uint32_t>{0, 0, 0, 250, 255}));
}

TEST(LevelsWindow, EmptyWindowGivesOnlyExtremesWithoutDividing) {
  ScopedPicBuf src, dst;
  Row<uint8_t>(&src, {0, 99, 100, 101, 255}, 8);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  LevelsWindow_x8(dst.get(), src.get(), 100, 100);
  // s >= high is tested first, so s == low == high is the maximum.
  EXPECT_EQ(Values<uint8_t>(*dst), (std::vector<uint32_t>{0, 0, 255, 255, 255}));
  LevelsWindow_x8(dst.get(), src.get(), 200, 50);
  EXPECT_EQ(Values<uint8_t>(*dst), (std::vector<uint32_t>{0, 255, 255, 255, 255}));
}

TEST(LevelsWindow, SixteenBitUsesTheDestinationMaximum) {
  ScopedPicBuf src, dst;
  Row<uint16_t>(&src, {0, 30720, 61439, 61440, 65535}, 16);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  LevelsWindow_x16(dst.get(), src.get(), 0, 61440);
  EXPECT_EQ(Values<uint16_t>(*dst), (std::vector<uint32_t>{0, 32767, 65533, 65535, 65535}));
}

TEST(LevelsWindow, StepsRowsByStrideOnPaddedRows) {
  // 3 x 2 colour rows are 9 bytes long but 64 apart: padding must stay unread.
  ScopedPicBuf src(3, 2, 3, 8), dst(3, 2, 3, 8);
  Fill(src.get(), [](int x, int y, int c) { return static_cast<uint32_t>(x * 40 + y * 100 + c); });
  std::memset(RowPtr(*src, 0) + 9, 7, src->stride - 9);
  LevelsWindow_x8(dst.get(), src.get(), 0, 255);
  EXPECT_TRUE(SamePixels(*dst, *src));
}

TEST(GammaCurve, UnitGammaKeepsEverySample) {
  ScopedPicBuf src(256, 1, 1, 8), dst(256, 1, 1, 8);
  Fill(src.get(), [](int x, int, int) { return static_cast<uint32_t>(x); });
  GammaCurve_x8(dst.get(), src.get(), 1.0);
  EXPECT_TRUE(SamePixels(*dst, *src));
  ScopedPicBuf src16(1000, 1, 1, 16), dst16(1000, 1, 1, 16);
  Fill(src16.get(), [](int x, int, int) { return static_cast<uint32_t>(x * 65); });
  GammaCurve_x16(dst16.get(), src16.get(), 1.0);
  EXPECT_TRUE(SamePixels(*dst16, *src16));
}

TEST(GammaCurve, EndpointsStayAndTheCurveFollowsThePowerFormula) {
  ScopedPicBuf src, dst;
  Row<uint8_t>(&src, {0, 64, 128, 255}, 8);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  GammaCurve_x8(dst.get(), src.get(), 2.0);
  auto curve = [](uint32_t v, double gamma, double m) {
    const double r = std::pow(v / m, 1.0 / gamma) * m + 0.5;
    return r >= m ? static_cast<uint32_t>(m) : static_cast<uint32_t>(r);
  };
  EXPECT_EQ(Values<uint8_t>(*dst),
            (std::vector<uint32_t>{0, curve(64, 2.0, 255), curve(128, 2.0, 255), 255}));
  EXPECT_EQ(Values<uint8_t>(*dst).front(), 0u);
  EXPECT_EQ(Values<uint8_t>(*dst).back(), 255u);

  Row<uint16_t>(&src, {0, 1000, 65535}, 16);
  CBxPicBufAPI::ReinitHeap(dst.get(), src.get());
  GammaCurve_x16(dst.get(), src.get(), 1.0 / 1.12);
  const auto v = Values<uint16_t>(*dst);
  EXPECT_EQ(v[0], 0u);
  EXPECT_EQ(v[1], curve(1000, 1.0 / 1.12, 65535));
  EXPECT_EQ(v[2], 65535u);
}

TEST(ChannelMeans, GiveTheMeanOfEachComponentInStorageOrder) {
  ScopedPicBuf pic(5, 3, 3, 8);
  Fill(pic.get(), [](int x, int y, int c) {
    return static_cast<uint32_t>(c == 0 ? 10 : c == 1 ? x * 10 + y : 255);
  });
  double s0 = 0, s1 = 0, s2 = 0;
  ChannelMeans_3x8(&s0, &s1, &s2, pic.get());
  EXPECT_DOUBLE_EQ(s0, 10.0);
  EXPECT_DOUBLE_EQ(s1, 21.0);  // mean of x*10 over 0..4 plus mean of y over 0..2
  EXPECT_DOUBLE_EQ(s2, 255.0);

  ScopedPicBuf pic16(2, 2, 3, 16);
  Fill(pic16.get(), [](int x, int, int c) { return static_cast<uint32_t>(x ? 65535 : c); });
  s0 = s1 = s2 = 0;
  ChannelMeans_3x16(&s0, &s1, &s2, pic16.get());
  EXPECT_DOUBLE_EQ(s0, 65535.0 / 2);
  EXPECT_DOUBLE_EQ(s2, (65535.0 + 2) / 2);
}

TEST(EstimateNoise, FlatAndShortPicturesHaveNoNoise) {
  ScopedPicBuf flat(20, 20, 1, 8);
  CBxPicBufAPI::SetConst(flat.get(), 77);
  EXPECT_EQ(EstimateNoise(flat.get()), 0.0);
  ScopedPicBuf threeRows(20, 3, 1, 8);
  FillNoisy(threeRows.get(), 1, 60);
  EXPECT_EQ(EstimateNoise(threeRows.get()), 0.0);
  ScopedPicBuf narrow(2, 20, 1, 8);
  FillNoisy(narrow.get(), 2, 60);
  EXPECT_TRUE(std::isfinite(EstimateNoise(narrow.get())));
}

TEST(EstimateNoise, SingleBrightPixelAddsSixteenTimesItsValue) {
  // All nine mask positions around (5, 5) are interior of a 10 x 12 picture.
  ScopedPicBuf pic(10, 12, 1, 8);
  CBxPicBufAPI::SetConst(pic.get(), 0);
  Sample<uint8_t>(*pic, 5, 5) = 200;
  const double s = 16.0 * 200.0;
  EXPECT_DOUBLE_EQ(EstimateNoise(pic.get()), std::sqrt(s / (12.0 * 8 * 10) * 3.14159265359));
}

TEST(EstimateNoise, EqualsTheMaskSumOnANoisyPicture) {
  ScopedPicBuf pic(37, 23, 1, 8);
  FillNoisy(pic.get(), 3, 40);
  double s = 0;
  for (int y = 1; y < 22; ++y) {
    for (int x = 1; x < 36; ++x) {
      const int k[3][3] = {{1, -2, 1}, {-2, 4, -2}, {1, -2, 1}};
      int v = 0;
      for (int j = -1; j <= 1; ++j) {
        for (int i = -1; i <= 1; ++i)
          v += k[j + 1][i + 1] * Sample<uint8_t>(*pic, x + i, y + j);
      }
      s += std::abs(v);
    }
  }
  EXPECT_DOUBLE_EQ(EstimateNoise(pic.get()), std::sqrt(s / (12 * 35 * 21) * 3.14159265359));
}

}  // namespace
