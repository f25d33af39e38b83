#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/picture/PictureTestSupport.h"

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

uint8_t* Pixel(const SBxPicBuf& pic, int x, int y) {
  return RowPtr(pic, y) + x * pic.components;
}

bool OnPicture(double s, int size) {
  return s >= -0.5 && s < size - 0.5;
}

// The cubic convolution kernel with a = -0.5, and the tent for bilinear.
double Cubic(double x) {
  x = std::fabs(x);
  return x <= 1.0  ? (1.5 * x - 2.5) * x * x + 1.0
         : x < 2.0 ? ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0
                   : 0.0;
}
double Tent(double x) {
  return std::max(0.0, 1.0 - std::fabs(x));
}

// Plain per-pixel resampling with edge pixels repeated, for comparison.
double Reference(const SBxPicBuf& src, double sx, double sy, int c, double (*kernel)(double),
                 int radius) {
  double sum = 0.0;
  const int bx = static_cast<int>(std::floor(sx)), by = static_cast<int>(std::floor(sy));
  for (int y = by - radius + 1; y <= by + radius; ++y) {
    for (int x = bx - radius + 1; x <= bx + radius; ++x) {
      const int cx = std::clamp(x, 0, src.width - 1), cy = std::clamp(y, 0, src.height - 1);
      sum += kernel(sx - x) * kernel(sy - y) * Pixel(src, cx, cy)[c];
    }
  }
  return std::clamp(sum, 0.0, 255.0);
}

}  // namespace

TEST(Transform, IdentityMapReproducesThePicture) {
  for (uint32_t components : {1u, 3u}) {
    ScopedPicBuf src(37, 23, components, 8), dst(37, 23, components, 8);
    FillPattern8(src.get());
    for (TransformFn transform : {kNearest, kBilinear, kBicubic}) {
      for (double centre : {0.0, 10.3}) {
        CBxPicBufAPI::SetConst(dst.get(), 0);
        transform(dst.get(), src.get(), MakeMap(centre, centre, centre, centre, 1.0));
        for (int y = 0; y < 23; ++y)
          ASSERT_EQ(std::memcmp(RowPtr(*dst, y), RowPtr(*src, y), 37 * components), 0) << y;
      }
    }
  }
}

TEST(Transform, NearestAtTwiceTheSizeDuplicatesPixels) {
  ScopedPicBuf src(5, 3, 3, 8), dst(10, 6, 3, 8);
  FillPattern8(src.get());
  kNearest(dst.get(), src.get(), MakeMap(0.5, 0.5, 0.0, 0.0, 2.0));  // pixel corners aligned
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 10; ++x)
      ASSERT_EQ(std::memcmp(Pixel(*dst, x, y), Pixel(*src, x / 2, y / 2), 3), 0) << x << "," << y;
  }
}

TEST(Transform, OnlyTheFootprintChangesAndFlatPicturesStayFlat) {
  // The second map puts points exactly on the footprint's edges, -0.5 and size - 0.5.
  for (const CBxPicMap& map : {MakeMap(20.3, 15.8, 4.5, 3.5, 1.7), MakeMap(2.5, 1.5, 0, 0, 1.0),
                               MakeMap(7.2, 5.9, 4.5, 3.5, 0.6)}) {
    for (uint32_t components : {1u, 3u}) {
      ScopedPicBuf src(9, 7, components, 8), dst(40, 30, components, 8);
      CBxPicBufAPI::SetConst(src.get(), 200);
      for (TransformFn transform : {kNearest, kBilinear, kBicubic}) {
        CBxPicBufAPI::SetConst(dst.get(), 10);
        transform(dst.get(), src.get(), map);
        for (int y = 0; y < 30; ++y) {
          for (int x = 0; x < 40; ++x) {
            double sx, sy;
            map.MapPointDstToSrc(&sx, &sy, x, y);
            const int expected = OnPicture(sx, 9) && OnPicture(sy, 7) ? 200 : 10;
            for (uint32_t c = 0; c < components; ++c)
              ASSERT_EQ(Pixel(*dst, x, y)[c], expected) << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(Transform, FilteredKindsMatchAPlainPerPixelReference) {
  struct Kind {
    TransformFn transform;
    double (*kernel)(double);
    int radius;
  };
  const Kind kinds[] = {{kBilinear, Tent, 1}, {kBicubic, Cubic, 2}};
  const CBxPicMap maps[] = {MakeMap(30.2, 20.7, 50.0, 31.0, 0.37),
                            MakeMap(3.0, -2.5, 4.1, 3.3, 2.0), MakeMap(20.0, 9.0, 25.5, 15.2, 1.3)};
  for (uint32_t components : {1u, 3u}) {
    ScopedPicBuf src(101, 63, components, 8), dst(61, 43, components, 8);
    FillPattern8(src.get());
    for (const Kind& kind : kinds) {
      for (const CBxPicMap& map : maps) {
        CBxPicBufAPI::SetConst(dst.get(), 0);
        kind.transform(dst.get(), src.get(), map);
        for (int y = 0; y < dst->height; ++y) {
          for (int x = 0; x < dst->width; ++x) {
            double sx, sy;
            map.MapPointDstToSrc(&sx, &sy, x, y);
            if (!OnPicture(sx, src->width) || !OnPicture(sy, src->height)) continue;
            for (uint32_t c = 0; c < components; ++c) {
              const double want =
                  Reference(*src, sx, sy, static_cast<int>(c), kind.kernel, kind.radius);
              ASSERT_NEAR(Pixel(*dst, x, y)[c], want, 0.51) << x << "," << y << " c" << c;
            }
          }
        }
      }
    }
  }
}

TEST(Transform, SamplingThePictureItselfReadsTheOriginal) {
  ScopedPicBuf pic(11, 3, 3, 8), original(11, 3, 3, 8);
  FillPattern8(pic.get());
  CBxPicBufAPI::Copy(original.get(), pic.get());
  kBilinear(pic.get(), pic.get(), MakeMap(1.0, 0.0, 0.0, 0.0, 1.0));  // one pixel to the right
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(std::memcmp(Pixel(*pic, 0, y), Pixel(*original, 0, y), 3), 0);  // outside: kept
    EXPECT_EQ(std::memcmp(Pixel(*pic, 1, y), Pixel(*original, 0, y), 30), 0);
  }
}

TEST(Transform, MismatchedPicturesAreLeftAlone) {
  ScopedPicBuf colour(6, 6, 3, 8), grey(6, 6, 1, 8), deep(6, 6, 3, 16);
  FillPattern8(colour.get());
  CBxPicBufAPI::SetConst(grey.get(), 9);
  CBxPicBufAPI::SetConst(deep.get(), 9);
  const CBxPicMap identity = MakeMap(0, 0, 0, 0, 1.0);
  for (TransformFn transform : {kNearest, kBilinear, kBicubic}) {
    transform(grey.get(), colour.get(), identity);
    transform(deep.get(), colour.get(), identity);
  }
  EXPECT_EQ(RowPtr(*grey, 5)[5], 9);
  EXPECT_EQ(RowPtr(*deep, 5)[5], 9);
}
