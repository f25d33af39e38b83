#include <gtest/gtest.h>

#include <cstdint>
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

// Eight planes side by side in the lanes of one: a rectangle of each level reduced
// or expanded on lanes (also from a looked-up rectangle) equals the same rectangle
// of each plane alone, bit for bit, at the borders and inside, on odd sizes.
TEST(TonePyramid, AreasOnLanesEqualEachPlaneAlone) {
  for (auto [w, h] : {std::tuple{13, 9}, std::tuple{40, 24}, std::tuple{7, 31}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    // Plane k takes its values from a table of 40 entries through positions.
    std::vector<uint16_t> positions(static_cast<size_t>(w * h));
    uint32_t seed = 3;
    for (uint16_t& p : positions)
      p = static_cast<uint16_t>(5 + Uniform(seed) * 40.0f);
    LaneStore table(40), lanes(positions.size());
    std::vector<std::vector<float>> planes(kFloatLanes);
    for (int k = 0; k < kFloatLanes; ++k) {
      for (size_t i = 0; i < 40; ++i)
        table[i][k] = 255.0f * Uniform(seed);
      for (size_t i = 0; i < positions.size(); ++i)
        lanes[i][k] = table[positions[i] - 5][k];
      for (size_t i = 0; i < positions.size(); ++i)
        planes[k].push_back(lanes[i][k]);
    }
    const int rw = (w + 1) / 2, rh = (h + 1) / 2;
    for (auto [x0, y0, x1, y1] :
         {std::tuple{0, 0, rw, rh}, std::tuple{1, 2, rw - 1, rh}, std::tuple{rw - 2, 0, rw, 3}}) {
      LaneStore reduced(rw * rh), looked(rw * rh), expanded(w * h);
      LaneStore temp(kReduceRowsAtOnce * (2 * rw + 3));
      const LaneArea src{lanes.Data(), w, 0, 0}, small{reduced.Data(), rw, 0, 0};
      ReduceArea(small, x0, y0, x1, y1, src, w, h, temp.Data());
      ReduceArea(LaneArea{looked.Data(), rw, 0, 0}, x0, y0, x1, y1,
                 LookedUpArea{positions.data(), w, 0, 0, table.Data(), 5}, w, h, temp.Data());
      ExpandArea(LaneArea{expanded.Data(), w, 0, 0}, 2 * x0, 2 * y0, std::min(2 * x1, w),
                 std::min(2 * y1, h), small, w, h, temp.Data());
      for (int k = 0; k < kFloatLanes; ++k) {
        std::vector<float> one(rw * rh), back(w * h);
        ToneReduce(one.data(), planes[k].data(), w, h);
        ToneExpand(back.data(), w, h, one.data(), rw, rh);
        for (int y = y0; y < y1; ++y)
          for (int x = x0; x < x1; ++x) {
            ASSERT_EQ(reduced[y * rw + x][k], one[y * rw + x]) << k << ": " << x << "," << y;
            ASSERT_EQ(looked[y * rw + x][k], one[y * rw + x]) << k << ": " << x << "," << y;
          }
        // Expanded elements that read only reduced elements of the rectangle.
        for (int y = 2 * y0 + 2; y < std::min(2 * y1, h) - 2; ++y)
          for (int x = 2 * x0 + 2; x < std::min(2 * x1, w) - 2; ++x)
            ASSERT_EQ(expanded[y * w + x][k], back[y * w + x]) << k << ": " << x << "," << y;
      }
    }
  }
}
