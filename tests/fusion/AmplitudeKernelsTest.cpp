// The weight kernels against a plain pixel-by-pixel evaluation of the weight
// formulas, bit for bit, on odd sizes, border pixels and both bit depths.
#include <gtest/gtest.h>

#include <math.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "fusion/AmplitudeKernels.h"

namespace {

using Plane = std::vector<float>;

Plane RandomPlane(int w, int h, float maxValue, bool whole, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-0.25f * maxValue, maxValue);
  Plane p(static_cast<size_t>(w) * h);
  for (float& v : p)
    v = whole ? std::floor(std::fabs(dist(rng))) : dist(rng);
  return p;
}

// Window origin of pixel i in a level of size n.
int Origin(int i, int n) {
  int o = i > 0 ? i - 1 : i;
  if (i >= n - 1) o -= 1;
  return o;
}

float RefAbsLap(const Plane& p, int w, int h, int x, int y) {
  const int ox = Origin(x, w), oy = Origin(y, h);
  auto P = [&](int i, int j) { return p[static_cast<size_t>(oy + j) * w + (ox + i)]; };
  const float leftTop = P(0, 1) + P(1, 0);
  const double lap = static_cast<double>(leftTop) - 4.0 * static_cast<double>(P(1, 1)) +
                     static_cast<double>(P(2, 1)) + static_cast<double>(P(1, 2));
  return std::fabs(static_cast<float>(lap));
}

float RefWeightFinish(float w) {
  return static_cast<float>(static_cast<double>(w) + 0.00001);
}

struct Sums {
  Plane weight, value0, value1, value2;
  explicit Sums(size_t n, float start = 0.5f)
      : weight(n, start), value0(n, start), value1(n, -start), value2(n, 2 * start) {}
};

void RefOrdinary1(Sums* s, const Plane& value, const Plane& g, int w, int h, float mid,
                  float sigma2) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      const float v = g[i];
      const float e = expf(-(((v - mid) * (v - mid)) / sigma2)) + 0.00001f;
      const float c = sqrtf(RefAbsLap(g, w, h, x, y) + 0.00001f);
      const float wt = RefWeightFinish(c * e * e);
      s->weight[i] += wt;
      s->value0[i] += wt * value[i];
    }
  }
}

void RefOrdinary3(Sums* s, const Plane* value, const Plane* g, int w, int h, float mid,
                  float sigma2, bool top8, bool top16) {
  Plane taps(g[0].size());
  for (size_t i = 0; i < taps.size(); ++i)
    taps[i] = (g[1][i] + g[0][i]) + g[2][i];
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      const float S = taps[i];
      const float m = S / 3.0f;
      const float mean = static_cast<float>(static_cast<double>(S) / 3.0);
      const float d0 = mean - g[0][i], d1 = mean - g[1][i], d2 = mean - g[2][i];
      const double sq = static_cast<double>((d0 * d0 + d1 * d1) + d2 * d2);
      const float sd = static_cast<float>(std::sqrt(sq / 3.0));
      const float lap = RefAbsLap(taps, w, h, x, y);
      const float lap3 = static_cast<float>(static_cast<double>(lap) / 3.0);
      float e, c, sat;
      if (top8) {
        const float negSq = -((m - mid) * (m - mid));
        e = powf(static_cast<float>(std::exp(static_cast<double>(negSq) / 7200.0)), 0.16f);
        c = sqrtf(powf(lap3, 0.16f));
        sat = powf(sd, 0.16f);
      } else if (top16) {
        e = expf(-(((m - mid) * (m - mid)) / (sigma2 * 10.0f)));
        c = sqrtf(lap3);
        sat = sd;
      } else {
        e = powf(expf(-(((m - mid) * (m - mid)) / sigma2)) + 0.00001f, 0.16f);
        c = sqrtf(powf(lap3 + 0.00001f, 0.16f));
        sat = powf(sd + 0.00001f, 0.16f);
      }
      const float wt = RefWeightFinish(((c * sat) * e) * e);
      s->weight[i] += wt;
      const bool top = top8 || top16;
      s->value0[i] += wt * (top ? g[0][i] : value[0][i]);
      s->value1[i] += wt * (top ? g[1][i] : value[1][i]);
      s->value2[i] += wt * (top ? g[2][i] : value[2][i]);
    }
  }
}

void RefTop1(Sums* s, const Plane& g, int w, int h, float mid, double divisor) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      const float v = g[i];
      const float negSq = -((v - mid) * (v - mid));
      const float e = static_cast<float>(std::exp(static_cast<double>(negSq) / divisor));
      const float wt = RefWeightFinish(sqrtf(RefAbsLap(g, w, h, x, y)) * e * e);
      s->weight[i] += wt;
      s->value0[i] += wt * v;
    }
  }
}

void ExpectBitsEqual(const Plane& a, const Plane& b, const char* what) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
      FAIL() << what << " differs at " << i << ": " << a[i] << " vs " << b[i];
    }
  }
}

struct Size {
  int w, h;
};
// Odd sizes, the 5 x 5 minimum, a row longer than one inner pass, a tall strip.
const Size kSizes[] = {{5, 5}, {7, 13}, {300, 9}, {6, 41}, {529, 6}};

}  // namespace

TEST(AmplitudeKernels, OneComponentLevelsMatchPlainEvaluation) {
  // The deeper pictures' spread: q * q in single, * 1.41 in double.
  EXPECT_EQ(FusionSigma2(16), 378493984.0f);
  for (uint32_t bits : {8u, 16u}) {
    const float maxValue = bits == 8 ? 255.0f : 65535.0f;
    const uint32_t mid = bits == 8 ? 100 : 100 * 256;
    for (const Size& sz : kSizes) {
      SCOPED_TRACE(testing::Message() << bits << " bits, " << sz.w << "x" << sz.h);
      const size_t n = static_cast<size_t>(sz.w) * sz.h;
      const Plane g = RandomPlane(sz.w, sz.h, maxValue, false, 11);
      const Plane lap = RandomPlane(sz.w, sz.h, maxValue / 4, false, 12);
      Sums got(n), want(n);
      if (bits == 8) {
        UpdateAmplitude_x8(got.value0.data(), got.weight.data(), lap.data(), g.data(),
                           static_cast<uint32_t>(sz.w), static_cast<uint32_t>(sz.h), mid);
      } else {
        UpdateAmplitude_x16(got.value0.data(), got.weight.data(), lap.data(), g.data(),
                            static_cast<uint32_t>(sz.w), static_cast<uint32_t>(sz.h), mid, bits);
      }
      RefOrdinary1(&want, lap, g, sz.w, sz.h, static_cast<float>(mid), FusionSigma2(bits));
      ExpectBitsEqual(got.weight, want.weight, "weight");
      ExpectBitsEqual(got.value0, want.value0, "value");

      Sums top(n), topWant(n);
      if (bits == 8) {
        UpdateAmplitudeTop_x8(top.value0.data(), top.weight.data(), g.data(),
                              static_cast<uint32_t>(sz.w), static_cast<uint32_t>(sz.h), mid);
      } else {
        UpdateAmplitudeTop_x16(top.value0.data(), top.weight.data(), g.data(),
                               static_cast<uint32_t>(sz.w), static_cast<uint32_t>(sz.h), mid, bits);
      }
      const double divisor = bits == 8 ? 7200.0 : static_cast<double>(FusionSigma2(bits)) * 10.0;
      RefTop1(&topWant, g, sz.w, sz.h, static_cast<float>(mid), divisor);
      ExpectBitsEqual(top.weight, topWant.weight, "top weight");
      ExpectBitsEqual(top.value0, topWant.value0, "top value");
    }
  }
}

TEST(AmplitudeKernels, ColourLevelsMatchPlainEvaluation) {
  for (uint32_t bits : {8u, 16u}) {
    const float maxValue = bits == 8 ? 255.0f : 65535.0f;
    const uint32_t mid = bits == 8 ? 128 : 128 * 256;
    for (const Size& sz : kSizes) {
      SCOPED_TRACE(testing::Message() << bits << " bits, " << sz.w << "x" << sz.h);
      const size_t n = static_cast<size_t>(sz.w) * sz.h;
      const uint32_t w = static_cast<uint32_t>(sz.w), h = static_cast<uint32_t>(sz.h);
      Plane g[3], v[3];
      for (uint32_t k = 0; k < 3; ++k) {
        g[k] = RandomPlane(sz.w, sz.h, maxValue, false, 20 + k);
        v[k] = RandomPlane(sz.w, sz.h, maxValue / 4, false, 30 + k);
      }
      Sums got(n), want(n);
      UpdateAmplitude_3(got.weight.data(), got.value0.data(), got.value1.data(), got.value2.data(),
                        v[0].data(), g[0].data(), v[1].data(), g[1].data(), v[2].data(),
                        g[2].data(), w, h, bits, mid);
      RefOrdinary3(&want, v, g, sz.w, sz.h, static_cast<float>(mid), FusionSigma2(bits), false,
                   false);
      ExpectBitsEqual(got.weight, want.weight, "weight");
      ExpectBitsEqual(got.value0, want.value0, "value 0");
      ExpectBitsEqual(got.value1, want.value1, "value 1");
      ExpectBitsEqual(got.value2, want.value2, "value 2");

      Sums top(n), topWant(n);
      if (bits == 8) {
        UpdateAmplitudeTop_3x8(top.weight.data(), top.value0.data(), top.value1.data(),
                               top.value2.data(), g[0].data(), g[1].data(), g[2].data(), w, h, mid);
      } else {
        UpdateAmplitudeTop_3x16(top.weight.data(), top.value0.data(), top.value1.data(),
                                top.value2.data(), g[0].data(), g[1].data(), g[2].data(), w, h, mid,
                                bits);
      }
      RefOrdinary3(&topWant, nullptr, g, sz.w, sz.h, static_cast<float>(mid), FusionSigma2(bits),
                   bits == 8, bits != 8);
      ExpectBitsEqual(top.weight, topWant.weight, "top weight");
      ExpectBitsEqual(top.value0, topWant.value0, "top value 0");
      ExpectBitsEqual(top.value2, topWant.value2, "top value 2");
    }
  }
}

// The finest level holds whole sample values; its lookup tables must give the
// very same sums as evaluating the functions.
TEST(AmplitudeKernels, WholeSampleTablesGiveTheSameBits) {
  for (uint32_t bits : {8u, 16u}) {
    const float maxValue = bits == 8 ? 255.0f : 65535.0f;
    const uint32_t mid = bits == 8 ? 160 : 48 * 256;
    const uint32_t w = 263, h = 17;
    const size_t n = static_cast<size_t>(w) * h;
    Plane g[3], v[3];
    for (uint32_t k = 0; k < 3; ++k) {
      g[k] = RandomPlane(w, h, maxValue + 1, true, 40 + k);
      v[k] = RandomPlane(w, h, maxValue / 4, false, 50 + k);
    }
    // Extreme whole values reach the ends of the tables.
    g[0][0] = g[1][0] = g[2][0] = maxValue;
    g[0][w + 1] = g[1][w + 1] = g[2][w + 1] = 0;
    cAmplitudeTables one, three;
    BuildAmplitudeTables(&one, 1, bits, mid);
    BuildAmplitudeTables(&three, 3, bits, mid);

    Sums plain1(n), table1(n);
    UpdateAmplitude_x16(plain1.value0.data(), plain1.weight.data(), v[0].data(), g[0].data(), w, h,
                        mid, bits);
    UpdateAmplitude_x16(table1.value0.data(), table1.weight.data(), v[0].data(), g[0].data(), w, h,
                        mid, bits, &one);
    if (bits == 8) {  // the 8-bit variant is the one with its own spread
      plain1 = Sums(n), table1 = Sums(n);
      UpdateAmplitude_x8(plain1.value0.data(), plain1.weight.data(), v[0].data(), g[0].data(), w, h,
                         mid);
      UpdateAmplitude_x8(table1.value0.data(), table1.weight.data(), v[0].data(), g[0].data(), w, h,
                         mid, &one);
    }
    ExpectBitsEqual(table1.weight, plain1.weight, "one-component weight");
    ExpectBitsEqual(table1.value0, plain1.value0, "one-component value");

    Sums plain3(n), table3(n);
    for (Sums* s : {&plain3, &table3}) {
      UpdateAmplitude_3(s->weight.data(), s->value0.data(), s->value1.data(), s->value2.data(),
                        v[0].data(), g[0].data(), v[1].data(), g[1].data(), v[2].data(),
                        g[2].data(), w, h, bits, mid, s == &table3 ? &three : nullptr);
    }
    ExpectBitsEqual(table3.weight, plain3.weight, "colour weight");
    ExpectBitsEqual(table3.value1, plain3.value1, "colour value");
  }
}

// TBB may hand a task any sub-rectangle, down to one pixel; border pixels of
// a tile must still read their interior neighbour's window.
TEST(AmplitudeKernels, AnyTilingGivesTheSameSums) {
  const int w = 7, h = 6;
  const size_t n = static_cast<size_t>(w) * h;
  Plane g[3], v[3];
  for (uint32_t k = 0; k < 3; ++k) {
    g[k] = RandomPlane(w, h, 255, false, 60 + k);
    v[k] = RandomPlane(w, h, 60, false, 70 + k);
  }
  Sums whole(n), tiled(n);
  for (Sums* s : {&whole, &tiled}) {
    cUpdateAplitude_1 one{100.0f,           7200.0f,          v[0].data(), g[0].data(),
                          s->value0.data(), s->weight.data(), w,           h};
    cUpdateAplitude_3 three{100.0f,
                            7200.0f,
                            v[0].data(),
                            g[0].data(),
                            v[1].data(),
                            g[1].data(),
                            v[2].data(),
                            g[2].data(),
                            s->value1.data(),
                            s->value2.data(),
                            s->value2.data(),
                            s->weight.data(),
                            w,
                            h};
    if (s == &whole) {
      one(tbb::blocked_range2d<int, int>(0, h, 0, w));
      three(tbb::blocked_range2d<int, int>(0, h, 0, w));
      continue;
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        one(tbb::blocked_range2d<int, int>(y, y + 1, x, x + 1));
        three(tbb::blocked_range2d<int, int>(y, y + 1, x, x + 1));
      }
    }
  }
  ExpectBitsEqual(tiled.weight, whole.weight, "weight");
  ExpectBitsEqual(tiled.value0, whole.value0, "one-component value");
  ExpectBitsEqual(tiled.value2, whole.value2, "colour value");
}

TEST(AmplitudeKernels, LevelsBelowFiveLeaveTheSumsAlone) {
  for (Size sz : {Size{4, 9}, Size{9, 4}}) {
    const uint32_t w = static_cast<uint32_t>(sz.w), h = static_cast<uint32_t>(sz.h);
    const size_t n = w * h;
    const Plane g = RandomPlane(sz.w, sz.h, 255, false, 3);
    Sums s(n);
    UpdateAmplitude_x8(s.value0.data(), s.weight.data(), g.data(), g.data(), w, h, 100);
    UpdateAmplitude_x16(s.value0.data(), s.weight.data(), g.data(), g.data(), w, h, 100, 16);
    UpdateAmplitude_3(s.weight.data(), s.value0.data(), s.value1.data(), s.value2.data(), g.data(),
                      g.data(), g.data(), g.data(), g.data(), g.data(), w, h, 8, 100);
    UpdateAmplitudeTop_x8(s.value0.data(), s.weight.data(), g.data(), w, h, 100);
    UpdateAmplitudeTop_3x16(s.weight.data(), s.value0.data(), s.value1.data(), s.value2.data(),
                            g.data(), g.data(), g.data(), w, h, 100, 16);
    const Sums untouched(n);
    EXPECT_EQ(s.weight, untouched.weight);
    EXPECT_EQ(s.value0, untouched.value0);
    EXPECT_EQ(s.value1, untouched.value1);
  }
}

TEST(AmplitudeKernels, FlatAndGreyRegionsKeepAPositiveWeight) {
  const uint32_t w = 8, h = 6;
  const size_t n = w * h;
  // A flat 8-bit level at the exposure target: sqrt(1e-5) * 1.00001^2 + 1e-5.
  Plane flat(n, 100.0f);
  Sums s(n, 0.0f);
  UpdateAmplitude_x8(s.value0.data(), s.weight.data(), flat.data(), flat.data(), w, h, 100);
  EXPECT_NEAR(s.weight[20], 0.003172, 1e-6);
  EXPECT_FLOAT_EQ(s.value0[20], s.weight[20] * 100.0f);
  // Far from the target, still at least the 1e-5 floor.
  Plane dark(n, 0.0f);
  Sums d(n, 0.0f);
  UpdateAmplitude_x8(d.value0.data(), d.weight.data(), dark.data(), dark.data(), w, h, 160);
  EXPECT_GE(d.weight[0], 0.00001f);
  // A grey colour pixel has saturation (1e-5)^0.16, about 0.158, not 0.
  Sums grey(n, 0.0f);
  UpdateAmplitude_3x8(grey.weight.data(), grey.value0.data(), grey.value1.data(),
                      grey.value2.data(), flat.data(), flat.data(), flat.data(), flat.data(),
                      flat.data(), flat.data(), w, h, 100);
  const float e = powf(1.0f + 0.00001f, 0.16f);
  const float c = sqrtf(powf(0.00001f, 0.16f));
  EXPECT_NEAR(grey.weight[20], c * powf(0.00001f, 0.16f) * e * e + 0.00001f, 1e-6);
  EXPECT_GT(grey.weight[20], 0.05f);
}
