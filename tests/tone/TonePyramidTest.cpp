#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ToneTestUtil.h"
#include "tone/TonePyramid.h"

namespace {

constexpr double kTaps[5] = {1.0 / 16, 4.0 / 16, 6.0 / 16, 4.0 / 16, 1.0 / 16};

// The definitions written out in two dimensions, in double precision.
std::vector<double> NaiveReduce(const std::vector<float>& src, int w, int h) {
  const int dw = (w + 1) / 2, dh = (h + 1) / 2;
  std::vector<double> dst(static_cast<size_t>(dw * dh));
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      double sum = 0.0;
      for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
          sum += kTaps[r] * kTaps[c] *
                 src[Reflect101(2 * y - 2 + r, h) * w + Reflect101(2 * x - 2 + c, w)];
      dst[y * dw + x] = sum;
    }
  return dst;
}

std::vector<double> NaiveExpand(const std::vector<float>& src, int sw, int dw, int dh) {
  std::vector<double> dst(static_cast<size_t>(dw * dh));
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      double sum = 0.0;
      for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) {
          const int py = Reflect101(y - 2 + r, dh), px = Reflect101(x - 2 + c, dw);
          if (py % 2 == 0 && px % 2 == 0) sum += kTaps[r] * kTaps[c] * src[(py / 2) * sw + px / 2];
        }
      dst[y * dw + x] = 4.0 * sum;
    }
  return dst;
}

void ExpectClose(const std::vector<float>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_NEAR(got[i], want[i], 1e-4) << "element " << i;
}

}  // namespace

TEST(TonePyramid, ReflectionMirrorsWithoutRepeatingTheEndSample) {
  EXPECT_EQ(Reflect101(-1, 6), 1);
  EXPECT_EQ(Reflect101(-2, 6), 2);
  EXPECT_EQ(Reflect101(6, 6), 4);
  EXPECT_EQ(Reflect101(7, 6), 3);
  EXPECT_EQ(Reflect101(-2, 2), 0);  // folds again on a very short line
  EXPECT_EQ(Reflect101(3, 1), 0);
}

TEST(TonePyramid, ReduceMatchesTheTwoDimensionalDefinitionOnOddAndEvenSizes) {
  for (auto [w, h] :
       {std::pair{13, 9}, std::pair{16, 10}, std::pair{5, 7}, std::pair{3, 4}, std::pair{31, 2}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    const std::vector<float> src = PhotoLikePlane(w, h, 7);
    std::vector<float> dst(static_cast<size_t>(((w + 1) / 2) * ((h + 1) / 2)));
    ToneReduce(dst.data(), src.data(), w, h);
    ExpectClose(dst, NaiveReduce(src, w, h));
  }
}

TEST(TonePyramid, ExpandMatchesTheTwoDimensionalDefinitionOnOddAndEvenSizes) {
  for (auto [sw, sh, dw, dh] : {std::tuple{7, 5, 14, 10}, std::tuple{7, 5, 13, 9},
                                std::tuple{8, 3, 15, 6}, std::tuple{2, 2, 4, 3}}) {
    SCOPED_TRACE(testing::Message() << sw << " x " << sh << " -> " << dw << " x " << dh);
    const std::vector<float> src = PhotoLikePlane(sw, sh, 11);
    std::vector<float> dst(static_cast<size_t>(dw * dh));
    ToneExpand(dst.data(), dw, dh, src.data(), sw, sh);
    ExpectClose(dst, NaiveExpand(src, sw, dw, dh));
  }
}

TEST(TonePyramid, ConstantPlaneStaysExactlyConstant) {
  const std::vector<float> flat(24 * 18, 93.0f);
  std::vector<float> half(12 * 9), back(24 * 18);
  ToneReduce(half.data(), flat.data(), 24, 18);
  ToneExpand(back.data(), 24, 18, half.data(), 12, 9);
  for (float v : half)
    ASSERT_EQ(v, 93.0f);
  for (float v : back)
    ASSERT_EQ(v, 93.0f);
}

// Any rectangle computed on its own, from a buffer holding only what it reads,
// equals the same rectangle of the whole level bit for bit: the remapping passes
// depend on it.
TEST(TonePyramid, AreaComputedAloneEqualsTheWholeLevel) {
  const int w = 40, h = 24;
  const std::vector<float> src = PhotoLikePlane(w, h, 3);
  std::vector<float> reduced(20 * 12), expanded(static_cast<size_t>(w * h));
  ToneReduce(reduced.data(), src.data(), w, h);
  ToneExpand(expanded.data(), w, h, reduced.data(), 20, 12);
  std::vector<float> temp(128);
  for (auto [x0, y0, x1, y1] : {std::tuple{0, 0, 3, 2}, std::tuple{7, 5, 13, 12},
                                std::tuple{17, 9, 20, 12}, std::tuple{19, 0, 20, 1}}) {
    SCOPED_TRACE(testing::Message() << x0 << "," << y0 << " - " << x1 << "," << y1);
    // Copy into a private buffer only the source elements the rectangle reads.
    const int sl = std::max(2 * x0 - 2, 0), st = std::max(2 * y0 - 2, 0);
    const int sr = std::min(2 * x1 + 1, w), sb = std::min(2 * y1 + 1, h);
    std::vector<float> part(static_cast<size_t>((sr - sl) * (sb - st)));
    for (int y = st; y < sb; ++y)
      for (int x = sl; x < sr; ++x)
        part[(y - st) * (sr - sl) + (x - sl)] = src[y * w + x];
    std::vector<float> out(static_cast<size_t>((x1 - x0) * (y1 - y0)));
    ReduceArea(LevelArea{out.data(), x1 - x0, x0, y0}, x0, y0, x1, y1,
               LevelArea{part.data(), sr - sl, sl, st}, w, h, temp.data());
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        ASSERT_EQ(out[(y - y0) * (x1 - x0) + (x - x0)], reduced[y * 20 + x]) << x << "," << y;
    // The expand of the same rectangle (scaled to the finer level) from the whole coarse level.
    const int ex0 = 2 * x0 + 1, ey0 = 2 * y0, ex1 = std::min(2 * x1 + 1, w), ey1 = 2 * y1;
    std::vector<float> eout(static_cast<size_t>((ex1 - ex0) * (ey1 - ey0)));
    ExpandArea(LevelArea{eout.data(), ex1 - ex0, ex0, ey0}, ex0, ey0, ex1, ey1,
               LevelArea{reduced.data(), 20, 0, 0}, w, h, temp.data());
    for (int y = ey0; y < ey1; ++y)
      for (int x = ex0; x < ex1; ++x)
        ASSERT_EQ(eout[(y - ey0) * (ex1 - ex0) + (x - ex0)], expanded[y * w + x]) << x << "," << y;
  }
}
