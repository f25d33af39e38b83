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
