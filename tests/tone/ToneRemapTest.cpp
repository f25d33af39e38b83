#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "LiteralToneMap.h"
#include "ToneTestUtil.h"
#include "tone/ToneMap.h"
#include "tone/ToneRemap.h"

namespace {

struct Curve {
  std::vector<float> table;
  RemapCurve curve;
  Curve(double threshold, double noise, double power, double slope)
      : table(BuildRemapTable(power)),
        curve(MakeRemapCurve(threshold, noise, slope, table.data())) {}
};

bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The remap as the engine runs it (eight lanes at a time), checked against the
// one-value definition.
float Remap(float v, float m, const RemapCurve& c) {
  float row[11];
  for (float& x : row)
    x = v;
  RemapRow(row, row, 11, m, c);
  EXPECT_TRUE(SameBits(row[0], RemapSample(v, m, c))) << v << " about " << m;
  EXPECT_TRUE(SameBits(row[10], row[0]));
  return row[0];
}

}  // namespace

// A difference equal to the reference stays exactly the reference, also without a
// noise band (where the blend weight would be 0 / 0).
TEST(ToneRemapCurve, ReferenceValueStaysExactlyEvenWithoutNoiseBand) {
  for (double noise : {0.0, 0.22}) {
    const Curve c(0.22, noise, 0.5, 0.8);
    for (float m : {0.0f, 17.25f, 255.0f})
      EXPECT_TRUE(SameBits(Remap(m, m, c.curve), m));
  }
}

// A difference of exactly T is an edge (maps to m +- T), and with slope 0 every
// edge maps to exactly m +- T.
TEST(ToneRemapCurve, EdgesStartAtTheThresholdAndFlattenWithZeroSlope) {
  const Curve c(0.22, 0.05, 0.5, 0.0);
  const float t = c.curve.threshold, m = 100.0f;
  ASSERT_EQ((m + t) - m, t);  // m +- T are exact here: the differences are exactly T
  ASSERT_EQ(m - (m - t), t);
  for (float v : {m + t, m + t + 0.5f, m + 90.0f, 255.0f})
    EXPECT_EQ(Remap(v, m, c.curve), t + m);
  for (float v : {m - t, m - t - 0.5f, 0.0f})
    EXPECT_EQ(Remap(v, m, c.curve), m - t);
}

TEST(ToneRemapCurve, NoiseStaysDetailsFollowThePowerAndEdgesTheSlope) {
  const Curve noisy(0.22, 0.22, 0.3, 0.8);  // N = 2.805
  for (float d : {0.25f, 1.0f, -2.5f})
    EXPECT_NEAR(Remap(80.0f + d, 80.0f, noisy.curve), 80.0f + d, 1e-4f);
  const Curve c(0.22, 0.01, 0.5, 0.8);
  const float t = c.curve.threshold, m = 50.0f;
  // A detail of T/4 becomes T * sqrt(1/4) = T/2 (table step 0.001).
  EXPECT_NEAR(Remap(m + t / 4, m, c.curve), m + t / 2, t * 1e-3f);
  EXPECT_NEAR(Remap(m - t / 4, m, c.curve), m - t / 2, t * 1e-3f);
  // An edge of T + 10 becomes T + 10 * 2 * 0.8.
  EXPECT_NEAR(Remap(m + t + 10.0f, m, c.curve), m + t + 16.0f, 1e-3f);
}

TEST(ToneRemapCurve, RowsOfAnyLengthEqualTheOneValueDefinition) {
  const Curve c(0.22, 0.22, 0.5, 0.8);
  TestRandom random(5);
  for (int count : {1, 7, 8, 9, 21, 93}) {
    std::vector<float> src(static_cast<size_t>(count)), dst(src.size());
    for (float& v : src)
      v = 255.0f * random.Next();
    const float m = 255.0f * random.Next();
    RemapRow(dst.data(), src.data(), count, m, c.curve);
    for (int i = 0; i < count; ++i)
      ASSERT_TRUE(SameBits(dst[i], RemapSample(src[i], m, c.curve))) << count << ":" << i;
  }
}

// The engine's point-wise passes against the literal pass structure, bit for bit:
// sizes that are not multiples of the step (partial stretches at the right and
// bottom), windows clipped at every border, levels from 2 to 6 (scratch levels
// above full resolution from level 4 on), and curves with strong details, flat
// details, no noise band, flattened and stretched edges.
TEST(ToneRemapPasses, PointWisePassesEqualTheLiteralPassesBitForBit) {
  struct Case {
    int width, height, levels;
    double threshold, noise, power, slope;
  };
  const Case cases[] = {
      {96, 64, 5, 0.22, 0.22, 0.5, 0.8},   // the default sliders
      {160, 96, 5, 0.04, 0.02, 0.1, 0.3},  // low threshold: mostly edges
      {64, 128, 6, 0.6, 0.0, 1.4, 1.0},    // no noise band, flattened details
      {40, 24, 3, 0.3, 0.5, 0.625, 0.0},   // zero slope
      {28, 24, 2, 0.1, 0.1, 0.25, 0.5},    // small: most windows clipped
      {48, 80, 4, 1.02, 1.02, 0.0, 0.98},  // the sliders at their far ends
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << " x " << k.height << " L=" << k.levels
                                    << " t=" << k.threshold << " p=" << k.power);
    const std::vector<float> in = PhotoLikePlane(k.width, k.height, 42);
    std::vector<float> literal(in.size()), fast(in.size());
    RemapFloatPlaneLiteral(literal.data(), in.data(), k.width, k.height, k.levels, k.threshold,
                           k.noise, k.power, k.slope);
    ASSERT_FALSE(RemapFloatPlane(fast.data(), in.data(), k.width, k.height, k.levels, k.threshold,
                                 k.noise, k.power, k.slope, nullptr));
    ASSERT_EQ(std::memcmp(literal.data(), fast.data(), in.size() * sizeof(float)), 0);
    EXPECT_NE(std::memcmp(in.data(), fast.data(), in.size() * sizeof(float)), 0);
  }
}
