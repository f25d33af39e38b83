#include "single/NlmPlane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "single/Exposure.h"
#include "single/NlmKernels.h"
#include "tests/single/TestPictures.h"

namespace {

int Reflect(int i, int first, int last) {
  while (i < first || i > last)
    i = i < first ? 2 * first - i : 2 * last - i;
  return i;
}

// The filter exactly as defined, with whole planes and one offset after the
// other: difference plane, block sums, block distance, accumulation in doubles.
std::vector<uint32_t> ReferenceNlm(const SBxPicBuf& values, const SBxPicBuf& guide, double strength,
                                   double levelDependence, double sigma) {
  const int w = values.width, h = values.height;
  const bool wide = values.bitsPerComponent == 16;
  const double h0 = strength * sigma * 1.8 * 0.5;
  std::vector<std::vector<uint32_t>> tables(256, std::vector<uint32_t>(9216, 0));
  for (int g = 0; g < 256; ++g) {
    const double hg = ((255 - g) * levelDependence / 192 + 1) * h0;
    for (int d = 0; d < 9216; ++d) {
      tables[g][d] = hg > 0
                         ? static_cast<uint32_t>(std::pow(2.718281828, d / -7.0 / hg) * 10000 + 0.5)
                         : (d == 0 ? 10000 : 0);
    }
  }
  const int m = std::min(2 * (std::min(w, h) / 2) - 1, 71) / 2, pad = m + 3;
  const int wp = w + 2 * pad, hp = h + 2 * pad;
  std::vector<int> g(wp * hp), v(wp * hp);
  for (int y = 0; y < hp; ++y) {
    for (int x = 0; x < wp; ++x) {
      const int sx = Reflect(x, pad, pad + w - 1) - pad, sy = Reflect(y, pad, pad + h - 1) - pad;
      g[y * wp + x] = Sample<uint8_t>(guide, sx, sy);
      v[y * wp + x] = wide ? Sample<uint16_t>(values, sx, sy) : g[y * wp + x];
    }
  }
  std::vector<double> sw(w * h, 0), ws(w * h, 0);
  std::vector<int> diff(wp * hp), dist(wp * hp);
  for (int k = 0; k < 25; ++k) {
    const int dy = k / 7 - 3, dx = k % 7 - 3;
    for (int y = 0; y < hp; ++y) {
      for (int x = 0; x < wp; ++x) {
        const bool inside = x + dx >= 0 && x + dx < wp && y + dy >= 0 && y + dy < hp;
        diff[y * wp + x] =
            inside ? std::abs(g[(y + dy) * wp + x + dx] - g[y * wp + x]) : g[y * wp + x];
      }
    }
    for (int y = 0; y < hp; ++y) {
      for (int x = 0; x < wp; ++x) {
        const int bx = x / 2 * 2, by = y / 2 * 2;
        dist[y * wp + x] = diff[by * wp + bx] + diff[by * wp + bx + 1] + diff[(by + 1) * wp + bx] +
                           diff[(by + 1) * wp + bx + 1];
      }
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int p = (y + pad) * wp + x + pad, d = dy * wp + dx;
        const auto& t = tables[g[p]];
        if (k == 24) {
          sw[y * w + x] += t[dist[p]];
          ws[y * w + x] += t[dist[p]] * static_cast<double>(v[p]);
        } else {
          const double w1 = t[dist[p]], w2 = t[dist[p - d]];
          sw[y * w + x] += w1 + w2;
          ws[y * w + x] += w1 * v[p + d] + w2 * v[p - d];
        }
      }
    }
  }
  std::vector<uint32_t> out(w * h);
  const uint32_t maximum = wide ? 65535 : 255;
  for (int i = 0; i < w * h; ++i)
    out[i] = std::min(static_cast<uint32_t>(ws[i] / sw[i] + 0.5), maximum);
  return out;
}

template <typename T>
std::vector<uint32_t> Samples(const SBxPicBuf& pic) {
  std::vector<uint32_t> out;
  for (int y = 0; y < pic.height; ++y) {
    for (int x = 0; x < pic.width; ++x)
      out.push_back(Sample<T>(pic, x, y));
  }
  return out;
}

// An 8-bit plane and a 16-bit plane whose top bytes are the 8-bit one.
struct TestPlanes {
  ScopedPicBuf guide, wide, out8, out16;
  TestPlanes(int w, int h, uint32_t seed) {
    CBxPicBufAPI::ReinitHeap(guide.get(), w, h, 1, 8);
    CBxPicBufAPI::ReinitHeap(wide.get(), w, h, 1, 16);
    CBxPicBufAPI::ReinitHeap(out8.get(), w, h, 1, 8);
    CBxPicBufAPI::ReinitHeap(out16.get(), w, h, 1, 16);
    FillNoisy(wide.get(), seed, 3000);
    Fill(guide.get(), [&](int x, int y, int) { return Sample<uint16_t>(*wide, x, y) >> 8u; });
  }
};

// Both depths and both thread forms against the definition, on sizes from
// the smallest even plane up, with and without level-dependent weights.
TEST(NlmPlane, MatchesTheDefinition) {
  struct Case {
    int bits, w, h, threads;
    double levelDependence, noise;
  };
  const Case cases[] = {
      {8, 6, 6, 1, 0.0, 4.0},    {8, 18, 20, 1, 0.0, 6.0},  {8, 40, 34, 2, 0.0, 5.0},
      {8, 40, 34, 3, 1.6, 5.0},  {8, 100, 74, 2, 0.0, -1},  {8, 150, 80, 1, 0.8, 3.0},
      {8, 2, 2, 1, 0.0, 9.0},    {8, 4, 30, 1, 0.0, 9.0},   {16, 18, 18, 1, 0.0, 5.0},
      {16, 34, 22, 2, 0.0, 5.0}, {16, 34, 22, 4, 1.2, 5.0}, {16, 8, 8, 2, 0.0, 5.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits " << c.w << "x" << c.h << " threads "
                                    << c.threads << " level dependence " << c.levelDependence);
    TestPlanes p(c.w, c.h, static_cast<uint32_t>(c.w * 7 + c.h));
    const double sigma = c.noise < 0 ? EstimateNoise(p.guide.get()) : c.noise;
    if (c.bits == 8) {
      ASSERT_EQ(NlmPlane_x8(p.out8.get(), p.guide.get(), p.guide.get(), 4.0, c.levelDependence,
                            c.threads, c.noise),
                0);
      EXPECT_EQ(Samples<uint8_t>(*p.out8),
                ReferenceNlm(*p.guide, *p.guide, 4.0, c.levelDependence, sigma));
    } else {
      ASSERT_EQ(NlmPlane_x16(p.out16.get(), p.wide.get(), p.guide.get(), 6, c.levelDependence,
                             c.threads, c.noise),
                0);
      EXPECT_EQ(Samples<uint16_t>(*p.out16),
                ReferenceNlm(*p.wide, *p.guide, 6.0, c.levelDependence, sigma));
    }
  }
}

TEST(NlmPlane, EveryThreadCountGivesTheSingleThreadOutput) {
  TestPlanes p(130, 90, 11);
  ScopedPicBuf one8(130, 90, 1, 8), one16(130, 90, 1, 16);
  ASSERT_EQ(NlmPlane_x8(one8.get(), p.guide.get(), p.guide.get(), 8.0, 0.0, 1, 4.0), 0);
  ASSERT_EQ(NlmPlane_x16(one16.get(), p.wide.get(), p.guide.get(), 8, 0.0, 1, 4.0), 0);
  EXPECT_FALSE(SamePixels(*one8, *p.guide));
  for (int threads : {2, 3, 5, 16, 40}) {
    SCOPED_TRACE(threads);
    ASSERT_EQ(NlmPlane_x8(p.out8.get(), p.guide.get(), p.guide.get(), 8.0, 0.0, threads, 4.0), 0);
    EXPECT_TRUE(SamePixels(*p.out8, *one8));
    ASSERT_EQ(NlmPlane_x16(p.out16.get(), p.wide.get(), p.guide.get(), 8, 0.0, threads, 4.0), 0);
    EXPECT_TRUE(SamePixels(*p.out16, *one16));
  }
}

TEST(NlmPlane, NoStrengthOrNoNoiseReturnsThePlaneUnchanged) {
  TestPlanes p(40, 30, 5);
  for (int threads : {1, 2}) {
    // A negative strength would make the weights grow with the distance.
    for (const auto& [strength, noise] : {std::pair{0.0, 9.0}, {9.0, 0.0}, {-5.0, 9.0}}) {
      ASSERT_EQ(
          NlmPlane_x8(p.out8.get(), p.guide.get(), p.guide.get(), strength, 0.0, threads, noise),
          0);
      EXPECT_TRUE(SamePixels(*p.out8, *p.guide));
      ASSERT_EQ(NlmPlane_x16(p.out16.get(), p.wide.get(), p.guide.get(), static_cast<int>(strength),
                             0.0, threads, noise),
                0);
      EXPECT_TRUE(SamePixels(*p.out16, *p.wide));
    }
  }
  ScopedPicBuf flat(64, 48, 1, 8), out(64, 48, 1, 8);
  CBxPicBufAPI::SetConst(flat.get(), 93);
  ASSERT_EQ(NlmPlane_x8(out.get(), flat.get(), flat.get(), 18.0, 0.0, 2, 7.0), 0);
  EXPECT_TRUE(SamePixels(*out, *flat));  // a constant plane stays constant
}

TEST(NlmPlane, SmallPlanesFollowTheFormTheyRunInAndOddPlanesAreRefused) {
  // 16 pixels high: the 8-bit plane is filtered by one thread only, the 16-bit
  // plane by several threads only.
  TestPlanes p(40, 16, 21);
  ASSERT_EQ(NlmPlane_x8(p.out8.get(), p.guide.get(), p.guide.get(), 10.0, 0.0, 1, 6.0), 0);
  EXPECT_FALSE(SamePixels(*p.out8, *p.guide));
  ASSERT_EQ(NlmPlane_x8(p.out8.get(), p.guide.get(), p.guide.get(), 10.0, 0.0, 2, 6.0), 0);
  EXPECT_TRUE(SamePixels(*p.out8, *p.guide));
  ASSERT_EQ(NlmPlane_x16(p.out16.get(), p.wide.get(), p.guide.get(), 10, 0.0, 1, 6.0), 0);
  EXPECT_TRUE(SamePixels(*p.out16, *p.wide));
  ASSERT_EQ(NlmPlane_x16(p.out16.get(), p.wide.get(), p.guide.get(), 10, 0.0, 2, 6.0), 0);
  EXPECT_FALSE(SamePixels(*p.out16, *p.wide));

  TestPlanes odd(21, 20, 8);
  CBxPicBufAPI::SetConst(odd.out8.get(), 0);
  EXPECT_NE(NlmPlane_x8(odd.out8.get(), odd.guide.get(), odd.guide.get(), 10.0, 0.0, 1, 6.0), 0);
  EXPECT_TRUE(SamePixels(*odd.out8, *odd.guide));
}

TEST(MirrorPad, ReflectsAboutTheOuterRowsAndColumnsWithoutRepeatingThem) {
  // Interior 4 x 3 at (2, 2) of an 8 x 7 plane, samples 10 * row + column.
  ScopedPicBuf plane(8, 7, 1, 8);
  Fill(plane.get(), [](int x, int y, int) { return static_cast<uint32_t>(10 * (y - 2) + x - 2); });
  MirrorPad(plane.get(), 2);
  auto at = [&](int x, int y) { return static_cast<int>(Sample<uint8_t>(*plane, x, y)); };
  EXPECT_EQ(at(1, 2), 1);   // column 1 takes column 3 (interior x = 1)
  EXPECT_EQ(at(0, 2), 2);   // column 0 takes column 4
  EXPECT_EQ(at(7, 3), 11);  // column 7 takes column 3 (last interior column is 5)
  EXPECT_EQ(at(3, 5), 11);  // row 5 takes row 3 (last interior row is 4)
  EXPECT_EQ(at(0, 0), 22);  // corner reflected both ways: row 4, column 4
  EXPECT_EQ(at(7, 6), 1);   // row 6 -> row 2, column 7 -> column 3
}

}  // namespace
