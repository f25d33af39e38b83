#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "ToneTestUtil.h"
#include "tone/TonePyramid.h"

namespace {

// The definitions written out in two dimensions, in double precision: sample
// (cx, cy) of the (1 4 6 4 1)/16 filter of a gw x gh grid mirrored at its borders.
// The grid is src itself (every = 1: reduce, sampled at even positions) or src
// spread onto every second sample with zeros between (every = 2: expand, times 4).
double Filtered(const std::vector<float>& src, int sw, int gw, int gh, int cx, int cy, int every) {
  constexpr double kTaps[5] = {1, 4, 6, 4, 1};
  double sum = 0.0;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) {
      const int py = Reflect101(cy - 2 + r, gh), px = Reflect101(cx - 2 + c, gw);
      if (py % every == 0 && px % every == 0)
        sum += kTaps[r] * kTaps[c] * src[py / every * sw + px / every];
    }
  return sum * every * every / 256.0;
}

}  // namespace

TEST(TonePyramid, ReduceAndExpandMatchTheDefinitionOnOddAndEvenSizes) {
  // A w x h source reduced to (w + 1) / 2 x (h + 1) / 2 and expanded to dw x dh.
  for (auto [w, h, dw, dh] :
       {std::tuple{13, 9, 26, 17}, std::tuple{16, 10, 31, 20}, std::tuple{5, 7, 9, 14},
        std::tuple{3, 4, 6, 7}, std::tuple{31, 2, 62, 3}, std::tuple{2, 2, 4, 3}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h << " -> " << dw << " x " << dh);
    const std::vector<float> src = PhotoLikePlane(w, h, 7);
    const int rw = (w + 1) / 2, rh = (h + 1) / 2;
    std::vector<float> reduced(rw * rh), expanded(dw * dh);
    ToneReduce(reduced.data(), src.data(), w, h);
    ToneExpand(expanded.data(), dw, dh, src.data(), w, h);
    for (int i = 0; i < rw * rh; ++i)
      ASSERT_NEAR(reduced[i], Filtered(src, w, w, h, 2 * (i % rw), 2 * (i / rw), 1), 1e-4) << i;
    for (int i = 0; i < dw * dh; ++i)
      ASSERT_NEAR(expanded[i], Filtered(src, w, dw, dh, i % dw, i / dw, 2), 1e-4) << i;
  }
}
