// The add step works through each level in row bands; its sums must be the
// very ones a whole-plane evaluation gives (every plane built first, then the
// weights of each level over the whole level), for every band and border.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fusion/AmplitudeKernels.h"
#include "fusion/FusionAccumulator.h"
#include "pyramid/Pyramid.h"
#include "tests/fusion/TestPictures.h"

namespace {

using Plane = std::vector<float>;

struct Sums {
  std::vector<Plane> weight, value;  // [component * levels + level]
};

Plane Component(const SBxPicBuf& pic, uint32_t c) {
  Plane plane(static_cast<size_t>(pic.width) * pic.height);
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x)
      plane[static_cast<size_t>(y) * pic.width + x] = static_cast<float>(SampleAt(pic, x, y, c));
  return plane;
}

// The Gaussian pyramid of one component plane.
std::vector<Plane> Gaussian(Plane level0, const cFusionAccumulator& acc) {
  std::vector<Plane> g{std::move(level0)};
  for (uint32_t l = 0; l < acc.levelCount; ++l) {
    g.emplace_back(static_cast<size_t>(acc.levelWidth[l + 1]) * acc.levelHeight[l + 1]);
    PyrReduce(g[l + 1].data(), g[l].data(), acc.levelWidth[l + 1], acc.levelHeight[l + 1],
              acc.levelWidth[l], acc.levelHeight[l], acc.kernel);
  }
  return g;
}

Plane Laplacian(const std::vector<Plane>& g, const cFusionAccumulator& acc, uint32_t l) {
  Plane lap(g[l].size());
  PyrExpand(lap.data(), g[l + 1].data(), acc.levelWidth[l], acc.levelHeight[l],
            acc.levelWidth[l + 1], acc.levelHeight[l + 1], acc.kernel);
  PlaneSubtract(lap.data(), g[l].data(), lap.data(), acc.levelWidth[l], acc.levelHeight[l]);
  return lap;
}

// One picture added to zero sums, level by level over whole planes.
Sums WholePlaneSums(const SBxPicBuf& pic, const cFusionAccumulator& acc) {
  const uint32_t n = acc.levelCount, bits = acc.bitsPerComponent;
  const uint32_t mid = (1u << (bits - 8)) * acc.exposure;
  const uint32_t comps = pic.components;
  Sums s;
  for (uint32_t c = 0; c < comps; ++c)
    for (uint32_t l = 0; l <= n; ++l) {
      const size_t size = static_cast<size_t>(acc.levelWidth[l]) * acc.levelHeight[l];
      s.weight.emplace_back(size, 0.0f);
      s.value.emplace_back(size, 0.0f);
    }
  auto at = [n](uint32_t c, uint32_t l) { return c * (n + 1) + l; };
  std::vector<std::vector<Plane>> g;
  for (uint32_t c = 0; c < comps; ++c)
    g.push_back(Gaussian(Component(pic, c), acc));
  for (uint32_t l = 0; l <= n; ++l) {
    const uint32_t w = acc.levelWidth[l], h = acc.levelHeight[l];
    if (comps == 3) {
      float* ws = s.weight[at(0, l)].data();
      float* v[3] = {s.value[at(0, l)].data(), s.value[at(1, l)].data(), s.value[at(2, l)].data()};
      if (l == n) {
        if (bits == 8)
          UpdateAmplitudeTop_3x8(ws, v[0], v[1], v[2], g[0][l].data(), g[1][l].data(),
                                 g[2][l].data(), w, h, mid);
        else
          UpdateAmplitudeTop_3x16(ws, v[0], v[1], v[2], g[0][l].data(), g[1][l].data(),
                                  g[2][l].data(), w, h, mid, bits);
        continue;
      }
      const Plane lap[3] = {Laplacian(g[0], acc, l), Laplacian(g[1], acc, l),
                            Laplacian(g[2], acc, l)};
      UpdateAmplitude_3(ws, v[0], v[1], v[2], lap[0].data(), g[0][l].data(), lap[1].data(),
                        g[1][l].data(), lap[2].data(), g[2][l].data(), w, h, bits, mid);
      continue;
    }
    for (uint32_t c = 0; c < comps; ++c) {
      float* ws = s.weight[at(c, l)].data();
      float* v = s.value[at(c, l)].data();
      if (l == n) {
        if (bits == 8)
          UpdateAmplitudeTop_x8(v, ws, g[c][l].data(), w, h, mid);
        else
          UpdateAmplitudeTop_x16(v, ws, g[c][l].data(), w, h, mid, bits);
        continue;
      }
      const Plane lap = Laplacian(g[c], acc, l);
      if (bits == 8)
        UpdateAmplitude_x8(v, ws, lap.data(), g[c][l].data(), w, h, mid);
      else
        UpdateAmplitude_x16(v, ws, lap.data(), g[c][l].data(), w, h, mid, bits);
    }
  }
  return s;
}

bool SameBits(const float* a, const float* b, size_t count) {
  return std::memcmp(a, b, count * sizeof(float)) == 0;
}

}  // namespace

// Sizes with odd level sides and a last band shorter than the others; the
// 8-bit colour picture is large enough for the finest level's lookup tables.
TEST(FusionBands, AddStepEqualsWholePlaneEvaluation) {
  struct Case {
    int width, height;
    uint32_t components, bits;
  };
  const Case cases[] = {{203, 157, 3, 8}, {61, 47, 3, 16}, {97, 131, 1, 8},
                        {40, 33, 2, 8},   {10, 10, 3, 8},  {77, 29, 1, 16}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << "x" << k.height << ", " << k.components
                                    << " components, " << k.bits << " bits");
    ScopedPicBuf pic(k.width, k.height, k.components, k.bits);
    FillScene(pic.get(), 1.3, 11);
    cFusionAccumulator acc;
    ASSERT_EQ(FusionInit(&acc, pic.get(), 110), 0);
    ASSERT_EQ(FusionAddPicture(&acc, pic.get()), 0);
    const Sums want = WholePlaneSums(*pic, acc);
    const uint32_t n = acc.levelCount;
    for (uint32_t c = 0; c < k.components; ++c)
      for (uint32_t l = 0; l <= n; ++l) {
        const size_t size = static_cast<size_t>(acc.levelWidth[l]) * acc.levelHeight[l];
        // Colour pictures keep one weight plane, in record 0.
        const uint32_t wc = k.components == 3 ? 0 : c;
        EXPECT_TRUE(
            SameBits(acc.componentRecords[c].valueSum[l], want.value[c * (n + 1) + l].data(), size))
            << "value sums, component " << c << ", level " << l;
        EXPECT_TRUE(SameBits(acc.componentRecords[c].weightSum[l],
                             want.weight[wc * (n + 1) + l].data(), size))
            << "weight sums, component " << c << ", level " << l;
      }
    FusionFree(&acc);
  }
}
