// Resampling of moved pictures: exact copies for whole-pixel shifts, the
// coverage plane, depths and components kept, regions equal to the whole, and
// the vector runs against a plain per-pixel evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "align/Warp.h"
#include "tests/align/AlignScenes.h"

namespace {

ScopedPicBuf* MakeScene(ScopedPicBuf* pic, int w, int h, uint32_t components, uint32_t bits) {
  CBxPicBufAPI::ReinitHeap(pic->get(), w, h, components, bits);
  RenderScene(Scene(3), Homography{}, 0.0, pic->get());
  return pic;
}

Homography Shift(double dx, double dy) {
  Homography h;
  h.m[2] = dx, h.m[5] = dy;
  return h;
}

TEST(Warp, WholePixelShiftIsAnExactCopy) {
  for (uint32_t bits : {8u, 16u})
    for (uint32_t components : {1u, 3u}) {
      ScopedPicBuf src, out, cov;
      MakeScene(&src, 67, 45, components, bits);
      ASSERT_FALSE(WarpPicture(*src, Shift(3, -2), out.get(), cov.get()));
      ASSERT_EQ(out->bitsPerComponent, bits);
      ASSERT_EQ(out->components, components);
      for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 67; ++x) {
          const bool inside = x + 3 < 67 && y - 2 >= 0;
          ASSERT_EQ(RowPtr(*cov, y)[x], inside ? 255 : 0) << x << "," << y;
          const int sx = std::min(x + 3, 66), sy = std::max(y - 2, 0);  // the edge repeated
          for (uint32_t c = 0; c < components; ++c)
            ASSERT_EQ(Sample(*out, x, y, c), Sample(*src, sx, sy, c)) << x << "," << y;
        }
    }
}

TEST(Warp, BicubicAtWholePixelsGivesTheSamples) {
  // A map that is a whole-pixel shift written with another scale factor still
  // lands on pixel centres: the bicubic weights are then exactly 0, 1, 0, 0.
  ScopedPicBuf src, out, expected;
  MakeScene(&src, 50, 40, 3, 8);
  Homography h = Shift(-4, 5);
  h.m[6] = 1e-300;  // not a plain shift any more, but the same points
  ASSERT_FALSE(WarpPicture(*src, h, out.get()));
  ASSERT_FALSE(WarpPicture(*src, Shift(-4, 5), expected.get()));
  for (int y = 0; y < 40; ++y)
    ASSERT_EQ(0, std::memcmp(RowPtr(*out, y), RowPtr(*expected, y), 50 * 3)) << y;
}

TEST(Warp, UncoveredBorderHasNoCoverage) {
  ScopedPicBuf src, out, cov;
  MakeScene(&src, 60, 30, 3, 8);
  ASSERT_FALSE(WarpPicture(*src, Shift(10.25, 0.0), out.get(), cov.get()));
  for (int y = 0; y < 30; ++y) {
    // Source column x + 10.25: inside up to 59, the ramp to 60, nothing beyond.
    for (int x = 0; x <= 48; ++x)
      ASSERT_EQ(RowPtr(*cov, y)[x], 255) << x;
    EXPECT_EQ(RowPtr(*cov, y)[49], static_cast<int>(0.75 * 255 + 0.5));  // a quarter pixel out
    for (int x = 50; x < 60; ++x)
      ASSERT_EQ(RowPtr(*cov, y)[x], 0) << x;
  }
}

TEST(Warp, LinearRampReproducedUnderRotation) {
  // Catmull-Rom reproduces linear functions: the moved ramp is the ramp at the
  // source point, up to rounding, wherever all taps lie inside. 16 bits stay 16 bits.
  const int w = 131, h = 97;
  ScopedPicBuf src(w, h, 1, 16), out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<uint16_t*>(RowPtr(*src, y))[x] = static_cast<uint16_t>(300 * x + 200 * y);
  const Homography motion = Turn(w, h, 3.0, 1.01, 2.3, -1.7, 1e-5, -2e-5);
  ASSERT_FALSE(WarpPicture(*src, motion, out.get()));
  ASSERT_EQ(out->bitsPerComponent, 16u);
  int checked = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double sx = 0, sy = 0;
      MapPoint(motion, x, y, &sx, &sy);
      if (sx < 1 || sy < 1 || sx > w - 3 || sy > h - 3) continue;
      ASSERT_NEAR(Sample(*out, x, y, 0), 300 * sx + 200 * sy, 0.51) << x << "," << y;
      ++checked;
    }
  EXPECT_GT(checked, w * h / 2);
}

// The plain evaluation: every pixel on its own, with clamped taps, in the
// resampler's arithmetic order.
double PlainBicubic(const SBxPicBuf& src, double sx, double sy, uint32_t c) {
  const double cx = std::clamp(sx, 0.0, src.width - 1.0),
               cy = std::clamp(sy, 0.0, src.height - 1.0);
  const int a = std::max(std::min(static_cast<int>(cx), src.width - 2), 0);
  const int b = std::max(std::min(static_cast<int>(cy), src.height - 2), 0);
  auto weights = [](float t, float* w) {
    const float t2 = t * t, t3 = t2 * t;
    w[0] = 0.5f * (-t3 + 2.0f * t2 - t);
    w[1] = 0.5f * (3.0f * t3 - 5.0f * t2 + 2.0f);
    w[2] = 0.5f * (-3.0f * t3 + 4.0f * t2 + t);
    w[3] = 0.5f * (t3 - t2);
  };
  float wx[4], wy[4];
  weights(static_cast<float>(cx - a), wx);
  weights(static_cast<float>(cy - b), wy);
  float acc = 0.0f;
  for (int j = 0; j < 4; ++j) {
    const int row = std::clamp(b - 1 + j, 0, src.height - 1);
    float t[4];
    for (int k = 0; k < 4; ++k)
      t[k] = static_cast<float>(Sample(src, std::clamp(a - 1 + k, 0, src.width - 1), row, c));
    const float hsum = ((wx[0] * t[0] + wx[1] * t[1]) + wx[2] * t[2]) + wx[3] * t[3];
    acc = j == 0 ? wy[0] * hsum : acc + wy[j] * hsum;
  }
  const double top = src.bitsPerComponent == 8 ? 255.0 : 65535.0;
  return std::floor(std::clamp(static_cast<double>(acc) + 0.5, 0.5, top + 0.5));
}

TEST(Warp, VectorRunsMatchThePlainEvaluation) {
  for (uint32_t components : {1u, 2u, 3u, 4u})
    for (uint32_t bits : {8u, 16u}) {
      const int w = 157, h = 61;
      ScopedPicBuf src(w, h, components, bits), out;
      RenderScene(Scene(9), Homography{}, 0.0, src.get());
      const Homography motion = Turn(w, h, -4.0, 0.99, -3.1, 2.4, -2e-5, 1e-5);
      ASSERT_FALSE(WarpPicture(*src, motion, out.get()));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          double sx = 0, sy = 0;
          MapPoint(motion, x, y, &sx, &sy);
          for (uint32_t c = 0; c < components; ++c)
            ASSERT_EQ(Sample(*out, x, y, c), PlainBicubic(*src, sx, sy, c))
                << components << "x" << bits << " at " << x << "," << y;
        }
    }
}

TEST(Warp, RegionEqualsThatPartOfTheWholePicture) {
  const int w = 120, h = 90;
  ScopedPicBuf src, whole, wholeCov;
  MakeScene(&src, w, h, 3, 16);
  const Homography motion = Turn(w, h, 2.5, 1.0, 6.2, -3.9, 1e-5, 0.0);
  ASSERT_FALSE(WarpPicture(*src, motion, whole.get(), wholeCov.get()));
  for (const CBxRect region :
       {CBxRect{30, 20, 71, 57}, CBxRect{0, 0, 25, 90}, CBxRect{100, 70, 120, 90}}) {
    const CBxRect need = SourceRegionFor(motion, region, CBxSize{w, h});
    ASSERT_GT(need.Width(), 0);
    ScopedPicBuf part(need.Width(), need.Height(), 3, 16), out, cov;
    CBxPicBufAPI::CopyRect(part.get(), src.get(), CBxPoint{0, 0}, CBxPoint{need.left, need.top},
                           CBxSize{need.Width(), need.Height()});
    ASSERT_FALSE(WarpRegion(*part, CBxPoint{need.left, need.top}, CBxSize{w, h}, motion, region,
                            out.get(), cov.get()));
    ASSERT_EQ(out->width, region.Width());
    for (int y = 0; y < region.Height(); ++y)
      for (int x = 0; x < region.Width(); ++x) {
        ASSERT_EQ(RowPtr(*cov, y)[x], RowPtr(*wholeCov, region.top + y)[region.left + x]);
        for (uint32_t c = 0; c < 3; ++c)
          ASSERT_EQ(Sample(*out, x, y, c), Sample(*whole, region.left + x, region.top + y, c))
              << region.left << " " << x << "," << y;
      }
  }
}

TEST(Warp, BadRequestsRefusedAndNothingWritten) {
  ScopedPicBuf src, out(10, 10, 3, 8), cov;
  MakeScene(&src, 40, 30, 3, 8);
  CBxPicBufAPI::SetConst(out.get(), 7);
  EXPECT_TRUE(WarpPicture(*src, Shift(0.5, 0), out.get(), cov.get()));  // output of another size
  EXPECT_EQ(RowPtr(*out, 0)[0], 7);
  EXPECT_TRUE(IsEmpty(*cov));
  ScopedPicBuf fresh;
  EXPECT_TRUE(WarpRegion(*src, CBxPoint{0, 0}, CBxSize{40, 30}, Shift(0.5, 0),
                         CBxRect{30, 20, 41, 30}, fresh.get()));  // region beyond the frame
  EXPECT_TRUE(IsEmpty(*fresh));
  ScopedPicBuf floats(20, 20, 1, 32);
  EXPECT_TRUE(WarpPicture(*floats, Shift(0.5, 0), fresh.get()));
}

TEST(CoveredRectangle, ShiftsAndTurns) {
  const CBxSize size{200, 150};
  const Homography none;
  const CBxRect all = CoveredRectangle(std::span(&none, 1), size);
  EXPECT_EQ(all.left, 0);
  EXPECT_EQ(all.top, 0);
  EXPECT_EQ(all.right, 200);
  EXPECT_EQ(all.bottom, 150);

  const Homography shifts[] = {Homography{}, Shift(5, -3), Shift(-2.5, 4)};
  const CBxRect r = CoveredRectangle(shifts, size);
  EXPECT_EQ(r.left, 3);
  EXPECT_EQ(r.right, 195);
  EXPECT_EQ(r.top, 3);
  EXPECT_EQ(r.bottom, 146);

  // Turned pictures: every pixel of the rectangle is fully covered by each.
  const Homography turns[] = {Turn(200, 150, 2.0, 1.0, 3, 1),
                              Turn(200, 150, -1.5, 1.01, -4, 2, 1e-5, 0)};
  const CBxRect t = CoveredRectangle(turns, size);
  EXPECT_GT(t.Width() * t.Height(), 200 * 150 * 7 / 10);
  for (const Homography& h : turns) {
    ScopedPicBuf src(200, 150, 1, 8), out, cov;
    ASSERT_FALSE(WarpPicture(*src, h, out.get(), cov.get()));
    for (int y = t.top; y < t.bottom; ++y)
      for (int x = t.left; x < t.right; ++x)
        ASSERT_EQ(RowPtr(*cov, y)[x], 255) << x << "," << y;
  }
}

}  // namespace
