#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "LiteralToneMap.h"
#include "ToneTestUtil.h"
#include "tone/RemapCoefficients.h"
#include "tone/RemapLanes.h"
#include "tone/ToneMap.h"
#include "tone/ToneRemap.h"

namespace {

bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Curve {
  int levels;
  double threshold, noise, power, slope;
};

// Remaps `in` with the engine's passes, checks that the literal passes give the
// same bits, and returns the engine's plane.
std::vector<float> RemapMatchingLiteral(const std::vector<float>& in, int width, int height,
                                        const Curve& c) {
  std::vector<float> literal(in.size()), fast(in.size());
  RemapFloatPlaneLiteral(literal.data(), in.data(), width, height, c.levels, c.threshold, c.noise,
                         c.power, c.slope);
  EXPECT_FALSE(RemapFloatPlane(fast.data(), in.data(), width, height, c.levels, c.threshold,
                               c.noise, c.power, c.slope, nullptr));
  EXPECT_EQ(std::memcmp(literal.data(), fast.data(), in.size() * sizeof(float)), 0);
  return fast;
}

}  // namespace

// The curve where faults hide, on the first value of rows of many lengths as the
// engine runs them (eight lanes and a short tail), whose every value must equal
// the one-value definition bit for bit.
TEST(ToneRemapCurve, ReferenceNoiseDetailsAndEdges) {
  struct Case {
    double noise, power, slope;
    float m, vT, v, wantT, want, tolerance;  // v = m + vT * T + v, want likewise
  } const cases[] = {
      {0.0, 0.5, 0.8, 17.25f, 0, 0, 0, 0, 0},    // delta 0 gives m, also when N = 0 (0 / 0)
      {0.0, 0.5, 0.8, 0.0f, 0, 0, 0, 0, 0},      //
      {0.22, 0.5, 0.8, 255.0f, 0, 0, 0, 0, 0},   //
      {0.04, 0.5, 0.0, 0.0f, 1, 0, 1, 0, 0},     // a difference of exactly T is an edge (as a
      {0.04, 0.5, 0.0, 0.0f, -1, 0, -1, 0, 0},   // detail it would be 0.01 off: table[999])
      {0.05, 0.5, 0.0, 100.0f, 1, 90, 1, 0, 0},  // slope 0: every edge ends at m +- T
      {0.05, 0.5, 0.0, 100.0f, 0, -100, -1, 0, 0},
      {0.22, 0.3, 0.8, 80.0f, 0, 1, 0, 1, 1e-4f},  // below N = 2.805: left as it is
      {0.22, 0.3, 0.8, 80.0f, 0, -2.5f, 0, -2.5f, 1e-4f},
      {0.01, 0.5, 0.8, 50.0f, 0.25f, 0, 0.5f, 0, 0.06f},  // detail T/4 -> T * sqrt(1/4)
      {0.01, 0.5, 0.8, 50.0f, -0.25f, 0, -0.5f, 0, 0.06f},
      {0.01, 0.5, 0.8, 50.0f, 1, 10, 1, 16, 1e-3f},  // edge T + 10 -> T + 10 * 2 * 0.8
  };
  int count = -6;  // rows of 1, 8, 15, ... values
  for (const Case& k : cases) {
    const std::vector<float> table = BuildRemapTable(k.power);
    const RemapCurve c = MakeRemapCurve(0.08, k.noise, k.slope, table.data());  // T = 20.4001
    std::vector<float> src = PhotoLikePlane(count += 7, 1, 5);
    src[0] = (k.m + k.vT * c.threshold) + k.v;
    std::vector<float> row = src;
    RemapRow(row.data(), row.data(), count, k.m, c);
    for (size_t i = 0; i < row.size(); ++i)
      ASSERT_TRUE(SameBits(row[i], RemapSample(src[i], k.m, c))) << src[i] << " about " << k.m;
    EXPECT_NEAR(row[0], (k.m + k.wantT * c.threshold) + k.want, k.tolerance) << src[0];
  }
}

// The detail curve's table holds 1024 entries, not one per step of 0.001 up to 100:
// for thresholds across the whole range the parameters allow, every difference up
// to and past T remaps as with a table of 100,000 entries.
TEST(ToneRemapCurve, TheTableHoldsEveryEntryADifferenceReaches) {
  std::vector<float> full(100000);
  for (size_t i = 0; i < full.size(); ++i)
    full[i] = powf(static_cast<float>(i) / 1000.0f, 0.45f);
  const std::vector<float> table = BuildRemapTable(0.45);
  ASSERT_EQ(std::memcmp(table.data(), full.data(), table.size() * sizeof(float)), 0);
  for (const double threshold : {0.0, 1e-9, 3.7e-5, 0.004, 0.22, 1.02, 37.5, 999.99, 1000.0}) {
    const RemapCurve c = MakeRemapCurve(threshold, 0.0, 0.8, table.data());
    const RemapCurve f = MakeRemapCurve(threshold, 0.0, 0.8, full.data());
    float v = c.threshold * 1.001f;  // down from just past T, through T, in fine steps
    for (int i = 0; i < 3000; ++i, v = i < 40 ? std::nextafter(v, 0.0f) : v * 0.9995f)
      ASSERT_TRUE(SameBits(RemapSample(v, 0.0f, c), RemapSample(v, 0.0f, f)))
          << "threshold " << threshold << ", difference " << v;
  }
}

// Eight references at once: each lane of a row remapped about its own reference
// equals the one-value definition, for details, edges, noise, zero and NaN.
TEST(ToneRemapCurve, LanesWithTheirOwnReferencesEqualTheOneValueDefinition) {
  const std::vector<float> table = BuildRemapTable(0.5);
  const RemapCurve c = MakeRemapCurve(0.22, 0.22, 0.8, table.data());
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float refs[kFloatLanes] = {0.0f, 17.25f, 80.0f, 120.5f, 200.0f, 255.0f, nan, 1e-3f};
  FloatLanes m;
  for (int k = 0; k < kFloatLanes; ++k)
    m[k] = refs[k];
  for (const float v : {0.0f, 1.0f, 17.25f, 19.0f, 79.0f, 82.5f, 121.0f, 140.0f, 255.0f, nan, -0.0f,
                        1e-3f + c.threshold, 80.0f - c.threshold}) {
    const FloatLanes out = RemapLanes(FloatLanes{} + v, m, c);
    for (int k = 0; k < kFloatLanes; ++k)
      ASSERT_TRUE(SameBits(out[k], RemapSample(v, refs[k], c))) << v << " about " << refs[k];
  }
}

// The engine's point-wise passes against the literal pass structure, bit for bit:
// sizes that are not multiples of the step (partial stretches at the right and
// bottom), windows clipped at every border, levels from 2 to 6 (scratch levels
// above full resolution from level 4 on), and curves with strong details, flat
// details, no noise band, flattened and stretched edges.
TEST(ToneRemapPasses, PointWisePassesEqualTheLiteralPassesBitForBit) {
  struct Case {
    int width, height;
    Curve curve;
  } const cases[] = {
      {96, 64, {5, 0.22, 0.22, 0.5, 0.8}},   // the default sliders
      {160, 96, {5, 0.04, 0.02, 0.1, 0.3}},  // low threshold: mostly edges
      {64, 128, {6, 0.6, 0.0, 1.4, 1.0}},    // no noise band, flattened details
      {40, 24, {3, 0.3, 0.5, 0.625, 0.0}},   // zero slope
      {28, 24, {2, 0.1, 0.1, 0.25, 0.5}},    // small: most windows clipped
      {48, 80, {4, 1.02, 1.02, 0.0, 0.98}},  // the sliders at their far ends
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << " x " << k.height << " L=" << k.curve.levels
                                    << " t=" << k.curve.threshold << " p=" << k.curve.power);
    const std::vector<float> in = PhotoLikePlane(k.width, k.height, 42);
    const std::vector<float> fast = RemapMatchingLiteral(in, k.width, k.height, k.curve);
    EXPECT_NE(std::memcmp(in.data(), fast.data(), in.size() * sizeof(float)), 0);
  }
}

// Planes from 8-bit and 16-bit pictures hold few distinct values, and the engine
// remaps each distinct value of a window once: still the literal result bit for
// bit, with windows that are flat, that span the whole range, and (last case)
// a plane one of whose values is off the grid, which the engine must notice.
TEST(ToneRemapPasses, PlanesOnAValueGridEqualTheLiteralPassesBitForBit) {
  struct Case {
    float scale;
    int width, height;
    Curve curve;
  } const cases[] = {
      {1.0f, 96, 64, {5, 0.22, 0.22, 0.5, 0.8}},    // 8-bit values, default sliders
      {1.0f, 64, 128, {6, 0.04, 0.0, 0.1, 0.3}},    // 8-bit values, mostly edges
      {256.0f, 96, 64, {5, 0.22, 0.22, 0.5, 0.8}},  // 16-bit values
      {256.0f, 40, 24, {3, 0.3, 0.5, 0.625, 0.0}},  //
      {0.0f, 96, 64, {5, 0.22, 0.22, 0.5, 0.8}},    // off the grid by one value
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << k.scale << ", " << k.width << " x " << k.height);
    std::vector<float> in = PhotoLikePlane(k.width, k.height, 5);
    for (size_t i = 0; i < in.size(); ++i) {
      const float scale = k.scale > 0.0f ? k.scale : 1.0f;
      in[i] = std::clamp(std::floor(in[i] * scale) / scale, 0.0f, 255.0f);
      if (i % 7 == 0 && i / k.width < 20) in[i] = 120.0f;  // a flat stretch
    }
    if (k.scale == 0.0f) in[in.size() / 2] += 0.3f;
    RemapMatchingLiteral(in, k.width, k.height, k.curve);
  }
}

// A plane is on a grid only when every value is exactly k / scale with 0 <= k < 65536.
TEST(ToneRemapPasses, ValueGridOfAPlane) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    std::vector<float> plane;
    float scale;
  } cases[] = {
      {{0.0f, 1.0f, 255.0f, 65535.0f}, 1.0f},
      {{0.0f, 0.5f, 255.99609375f}, 256.0f},
      {{3.0f, 0.001953125f}, 0.0f},  // 1 / 512
      {{3.0f, -1.0f}, 0.0f},
      {{3.0f, -0.0f}, 0.0f},
      {{3.0f, 65536.0f}, 0.0f},
      {{3.0f, nan}, 0.0f},
  };
  for (const auto& k : cases)
    EXPECT_EQ(FindValueGrid(k.plane.data(), k.plane.size()).scale, k.scale) << k.plane[1];
}

// Windows look their values up in registers (tables of up to 8, 16 or 32
// consecutive values) or through memory (more): planes of few or many
// consecutive values reach each way, and each must give the literal result.
TEST(ToneRemapPasses, WindowsOfFewAndManyDistinctValuesEqualTheLiteralPasses) {
  for (const int distinct : {2, 7, 13, 29, 31, 90, 256}) {
    SCOPED_TRACE(testing::Message() << distinct << " distinct values");
    const int width = 96, height = 64;
    std::vector<float> in(static_cast<size_t>(width) * height);
    uint32_t seed = 17;
    for (float& v : in)  // consecutive values: the window's table spans them
      v = static_cast<float>(40 + static_cast<int>(Uniform(seed) * static_cast<float>(distinct)));
    RemapMatchingLiteral(in, width, height, {5, 0.22, 0.22, 0.5, 0.8});
  }
}
