#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "picture/CBxPicBufAPI.h"
#include "tests/support/TestFiles.h"

namespace {

using TransformFn = void (*)(SBxPicBuf*, const SBxPicBuf*, const CBxPicMap&);
constexpr TransformFn kNearest = &CBxPicBufAPI::TransformConstantFast;
constexpr TransformFn kBilinear = &CBxPicBufAPI::TransformBilinearFast;
constexpr TransformFn kBicubic = &CBxPicBufAPI::TransformBicubicFast;

CBxPicMap MakeMap(double dstCx, double dstCy, double srcCx, double srcCy, double scale) {
  CBxPicMap map;
  map.Compute(dstCx, dstCy, srcCx, srcCy, 0.0, scale);
  return map;
}

bool OnPicture(double s, int size) {
  return s >= -0.5 && s < size - 0.5;
}

// Nearest takes pixel floor(s + 0.5); the tent is bilinear; the cubic
// convolution kernel with a = -0.5 is bicubic.
double Box(double d) {
  return d >= -0.5 && d < 0.5 ? 1.0 : 0.0;
}
double Tent(double d) {
  return std::max(0.0, 1.0 - std::fabs(d));
}
double Cubic(double d) {
  d = std::fabs(d);
  return d <= 1.0  ? (1.5 * d - 2.5) * d * d + 1.0
         : d < 2.0 ? ((-0.5 * d + 2.5) * d - 4.0) * d + 2.0
                   : 0.0;
}

// Plain per-pixel resampling with edge pixels repeated.
double Reference(const SBxPicBuf& src, double sx, double sy, uint32_t c, double (*kernel)(double),
                 int radius) {
  double sum = 0.0;
  const int bx = static_cast<int>(std::floor(sx)), by = static_cast<int>(std::floor(sy));
  for (int y = by - radius + 1; y <= by + radius; ++y) {
    for (int x = bx - radius + 1; x <= bx + radius; ++x) {
      const int cx = std::clamp(x, 0, src.width - 1), cy = std::clamp(y, 0, src.height - 1);
      sum += kernel(sx - x) * kernel(sy - y) * SampleAt(src, cx, cy, c);
    }
  }
  return std::clamp(sum, 0.0, 255.0);
}

}  // namespace

// Every destination pixel whose source point is on the footprint matches the
// reference; every other one keeps its value. Sampling the picture itself
// gives what sampling a copy of it does.
TEST(Transform, AllKindsMatchAPlainPerPixelReferenceOnTheFootprintOnly) {
  const struct {
    TransformFn transform;
    double (*kernel)(double);
    int radius;
  } kinds[] = {{kNearest, Box, 1}, {kBilinear, Tent, 1}, {kBicubic, Cubic, 2}};
  const CBxPicMap maps[] = {
      MakeMap(0, 0, 0, 0, 1.0),          MakeMap(10.3, 10.3, 10.3, 10.3, 1.0),  // identity
      MakeMap(0.5, 0.5, 0, 0, 2.0),      MakeMap(2.5, 1.5, 0, 0, 1.0),  // on the footprint's edge
      MakeMap(30.2, 20.7, 50, 31, 0.37), MakeMap(3.0, -2.5, 4.1, 3.3, 2.0),
      MakeMap(20, 9, 25.5, 15.2, 1.3),   MakeMap(30, 20, 1, 1, 7.0)};
  for (uint32_t components : {1u, 3u}) {
    ScopedPicBuf src(71, 43, components, 8), dst(71, 43, components, 8), inPlace;
    FillPattern(src.get());
    for (const auto& kind : kinds) {
      for (const CBxPicMap& map : maps) {
        CBxPicBufAPI::SetConst(dst.get(), 77);
        kind.transform(dst.get(), src.get(), map);
        CBxPicBufAPI::ReinitHeap(inPlace.get(), src.get());
        CBxPicBufAPI::Copy(inPlace.get(), src.get());
        kind.transform(inPlace.get(), inPlace.get(), map);
        for (int y = 0; y < dst->height; ++y) {
          for (int x = 0; x < dst->width; ++x) {
            double sx, sy;
            map.MapPointDstToSrc(&sx, &sy, x, y);
            const bool on = OnPicture(sx, src->width) && OnPicture(sy, src->height);
            for (uint32_t c = 0; c < components; ++c) {
              const double want = on ? Reference(*src, sx, sy, c, kind.kernel, kind.radius) : 77;
              ASSERT_NEAR(SampleAt(*dst, x, y, c), want, 0.51) << x << "," << y << " c" << c;
              ASSERT_EQ(SampleAt(*inPlace, x, y, c), SampleAt(on ? *dst : *src, x, y, c));
            }
          }
        }
      }
    }
  }
  int dx = 0, dy = 0;
  maps[4].MapPointSrcToDst(&dx, &dy, 50.0 + 4 / 0.37, 31.0 - 5 / 0.37);
  EXPECT_TRUE(dx == 34 && dy == 16) << dx << "," << dy;
}

TEST(Transform, MismatchedPicturesAreLeftAlone) {
  ScopedPicBuf colour(6, 6, 3, 8), grey(6, 6, 1, 8), deep(6, 6, 3, 16);
  CBxPicBufAPI::SetConst(colour.get(), 50);
  CBxPicBufAPI::SetConst(grey.get(), 9);
  CBxPicBufAPI::SetConst(deep.get(), 9);
  for (TransformFn transform : {kNearest, kBilinear, kBicubic}) {
    transform(grey.get(), colour.get(), MakeMap(0, 0, 0, 0, 1.0));
    transform(deep.get(), colour.get(), MakeMap(0, 0, 0, 0, 1.0));
  }
  EXPECT_TRUE(RowPtr(*grey, 5)[5] == 9 && RowPtr(*deep, 5)[5] == 9);
}
