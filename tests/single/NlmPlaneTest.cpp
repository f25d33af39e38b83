#include "single/NlmPlane.h"

#include <gtest/gtest.h>

#include <cmath>

#include "single/Exposure.h"
#include "tests/single/TestHelpers.h"

namespace {

// The filter as defined, one pixel and one offset pair at a time, on the plane
// mirrored about its outer rows and columns (padded coordinates below).
std::vector<uint32_t> ReferenceNlm(const SBxPicBuf& values, const SBxPicBuf& guide, double strength,
                                   double levelDependence, double sigma) {
  const int w = values.width, h = values.height;
  const int pad = std::min(2 * (std::min(w, h) / 2) - 1, 71) / 2 + 3;
  auto mirror = [](int i, int n) {
    while (i < 0 || i >= n)
      i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
  };
  const std::vector<uint32_t> guides = Samples(guide), samples = Samples(values);
  auto at = [&](const std::vector<uint32_t>& p, int x, int y) {
    return static_cast<int>(p[static_cast<size_t>(mirror(y - pad, h) * w + mirror(x - pad, w))]);
  };
  auto g = [&](int x, int y) { return at(guides, x, y); };
  // |guide(q + d) - guide(q)|, or guide(q) where q + d leaves the padded plane.
  auto diff = [&](int x, int y, int dx, int dy) {
    const bool in = x + dx >= 0 && x + dx < w + 2 * pad && y + dy >= 0 && y + dy < h + 2 * pad;
    return in ? std::abs(g(x + dx, y + dy) - g(x, y)) : g(x, y);
  };
  // Sum of the differences over the 2x2 block holding q.
  auto distance = [&](int x, int y, int dx, int dy) {
    x -= x % 2, y -= y % 2;
    return diff(x, y, dx, dy) + diff(x + 1, y, dx, dy) + diff(x, y + 1, dx, dy) +
           diff(x + 1, y + 1, dx, dy);
  };
  const double h0 = strength * sigma * 1.8 * 0.5;
  auto weight = [&](int level, int d) -> double {
    const double hg = ((255 - level) * levelDependence / 192 + 1) * h0;
    if (!(hg > 0)) return d == 0 ? 10000 : 0;
    return static_cast<uint32_t>(std::pow(2.718281828, d / -7.0 / hg) * 10000 + 0.5);
  };
  std::vector<uint32_t> out;
  for (int y = pad; y < h + pad; ++y) {
    for (int x = pad; x < w + pad; ++x) {
      double sw = 0, ws = 0;
      for (int k = 0; k < 25; ++k) {  // offsets (-3, -3) .. (0, 0) and their mirrors
        const int dy = k / 7 - 3, dx = k % 7 - 3;
        const double w1 = weight(g(x, y), distance(x, y, dx, dy));
        sw += w1, ws += w1 * at(samples, x + dx, y + dy);
        if (k == 24) continue;
        const double w2 = weight(g(x, y), distance(x - dx, y - dy, dx, dy));
        sw += w2, ws += w2 * at(samples, x - dx, y - dy);
      }
      const uint32_t maximum = values.bitsPerComponent == 8 ? 255 : 65535;
      out.push_back(std::min(static_cast<uint32_t>(ws / sw + 0.5), maximum));
    }
  }
  return out;
}

// A noisy 16-bit plane, its top bytes as the 8-bit plane and guide, and outputs.
struct TestPlanes {
  ScopedPicBuf guide, wide, out8, out16;
  TestPlanes(int w, int h, uint32_t seed)
      : guide(w, h, 1, 8), wide(w, h, 1, 16), out8(w, h, 1, 8), out16(w, h, 1, 16) {
    FillNoisy(wide.get(), seed, 3000);
    const std::vector<uint32_t> top = Samples(*wide);
    Fill(guide.get(), [&](int x, int y, int) { return top[static_cast<size_t>(y * w + x)] >> 8u; });
  }
  // The plane of this depth filtered by its form; nothing when the form fails.
  std::vector<uint32_t> Filter(int bits, double strength, double levelDependence, int threads,
                               double noise) {
    const char failed =
        bits == 8 ? NlmPlane_x8(out8.get(), guide.get(), guide.get(), strength, levelDependence,
                                threads, noise)
                  : NlmPlane_x16(out16.get(), wide.get(), guide.get(), static_cast<int>(strength),
                                 levelDependence, threads, noise);
    return failed ? std::vector<uint32_t>{} : Samples(bits == 8 ? *out8 : *out16);
  }
  const SBxPicBuf& Source(int bits) { return bits == 8 ? *guide : *wide; }
};

// Both depths and both thread forms against the definition, from the smallest
// even plane up (the search border capped at 35 from 144 pixels), with and
// without level-dependent weights, and with the noise measured (-1). So every
// thread count gives the single-thread output; above 16 threads, 16 run.
TEST(NlmPlane, MatchesTheDefinitionInEveryThreadForm) {
  struct Case {
    int bits, w, h, threads;
    double levelDependence, noise;
  };
  const Case cases[] = {
      {8, 2, 2, 1, 0.0, 9.0},    {8, 4, 30, 1, 0.0, 9.0},   {8, 6, 6, 1, 0.0, 4.0},
      {8, 40, 34, 2, 0.0, 5.0},  {8, 40, 34, 3, 1.6, 5.0},  {8, 100, 74, 2, 0.0, -1},
      {8, 150, 80, 1, 0.8, 3.0}, {8, 64, 40, 1, 0.0, 8.0},  {8, 64, 40, 5, 0.0, 8.0},
      {8, 64, 40, 40, 0.0, 8.0}, {16, 18, 18, 1, 0.0, 5.0}, {16, 34, 22, 4, 1.2, 5.0},
      {16, 8, 8, 2, 0.0, 5.0},   {16, 64, 40, 1, 0.0, 8.0}, {16, 64, 40, 16, 0.0, 8.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits " << c.w << "x" << c.h << " threads "
                                    << c.threads << " level dependence " << c.levelDependence);
    TestPlanes p(c.w, c.h, static_cast<uint32_t>(c.w * 7 + c.h));
    const double sigma = c.noise < 0 ? EstimateNoise(p.guide.get()) : c.noise;
    EXPECT_EQ(p.Filter(c.bits, 6.0, c.levelDependence, c.threads, c.noise),
              ReferenceNlm(p.Source(c.bits), *p.guide, 6.0, c.levelDependence, sigma));
  }
}

TEST(NlmPlane, ReturnsThePlaneUnchangedWhereItMust) {
  TestPlanes p(40, 30, 5), small(40, 16, 6), odd(21, 20, 8);
  for (int bits : {8, 16}) {
    SCOPED_TRACE(bits);
    // No strength, no noise, or a negative strength (which would make the
    // weights grow with the distance), in both thread forms.
    for (int threads : {1, 2}) {
      for (const auto& [strength, noise] : {std::pair{0.0, 9.0}, {9.0, 0.0}, {-5.0, 9.0}})
        EXPECT_EQ(p.Filter(bits, strength, 0.0, threads, noise), Samples(p.Source(bits)));
    }
    // 16 pixels high: kept by the 8-bit multi-thread and 16-bit single-thread forms.
    EXPECT_EQ(small.Filter(bits, 10.0, 0.0, bits == 8 ? 2 : 1, 6.0), Samples(small.Source(bits)));
  }
  CBxPicBufAPI::SetConst(p.guide.get(), 93);  // a constant plane stays constant
  EXPECT_EQ(p.Filter(8, 18.0, 0.0, 2, 7.0), Samples(*p.guide));
  // An odd plane is refused and gets the source.
  CBxPicBufAPI::SetConst(odd.out8.get(), 0);
  EXPECT_NE(NlmPlane_x8(odd.out8.get(), odd.guide.get(), odd.guide.get(), 10.0, 0.0, 1, 6.0), 0);
  EXPECT_TRUE(SamePixels(*odd.out8, *odd.guide));
}

}  // namespace
