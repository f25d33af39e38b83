// The eight weight routines against a plain pixel-by-pixel evaluation of the
// weight formulas, bit for bit: odd sizes, border pixels, both bit depths, the
// whole-sample lookup tables, any split of a level and the guard below 5.
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "fusion/AmplitudeKernels.h"
#include "tests/fusion/TestPictures.h"

namespace {

using Plane = std::vector<float>;
constexpr float kTiny = 0.00001f;
constexpr float kPower = 0.16f;

struct Sums {
  Plane weight, value[3];
  explicit Sums(size_t n)
      : weight(n, 0.5f), value{Plane(n, -0.5f), Plane(n, 1.0f), Plane(n, 2.0f)} {}
};

// |Laplacian| of the 3 x 3 window around (x, y), the window moved inside at
// the borders: left and top taps summed in single precision, the rest in double.
float AbsLaplacian(const Plane& p, int w, int h, int x, int y) {
  const int cx = std::clamp(x, 1, w - 2), cy = std::clamp(y, 1, h - 2);
  auto at = [&](int i, int j) { return p[static_cast<size_t>(cy + j) * w + (cx + i)]; };
  const float leftTop = at(-1, 0) + at(0, -1);
  return std::fabs(static_cast<float>(static_cast<double>(leftTop) - 4.0 * at(0, 0) +
                                      static_cast<double>(at(1, 0)) + at(0, 1)));
}

// The formulas, one pixel at a time. `top`: the coarsest level, whose values
// accumulated are its Gaussian planes `g`.
void Reference(Sums* s, const Plane* g, const Plane* value, int comps, int w, int h, uint32_t bits,
               float mid, bool top) {
  if (w < 5 || h < 5) return;
  const float q = std::ldexp(1.0f, static_cast<int>(bits) - 2);
  const float sigma2 = bits == 8 ? 7200.0f : static_cast<float>(static_cast<double>(q * q) * 1.41);
  Plane taps = g[0];
  for (size_t i = 0; comps == 3 && i < taps.size(); ++i)
    taps[i] = (g[1][i] + g[0][i]) + g[2][i];
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      const float lap = AbsLaplacian(taps, w, h, x, y), sum = taps[i];
      const float d = (comps == 3 ? sum / 3.0f : sum) - mid;
      // The exposure of the coarsest level: exponential and division in double.
      auto expDouble = [d](double divisor) {
        return static_cast<float>(std::exp(static_cast<double>(-(d * d)) / divisor));
      };
      float weight = 0.0f;
      if (comps == 1) {
        const float e = !top        ? expf(-((d * d) / sigma2)) + kTiny
                        : bits == 8 ? expDouble(7200.0)
                                    : expDouble(static_cast<double>(sigma2) * 10.0);
        weight = (top ? sqrtf(lap) : sqrtf(lap + kTiny)) * e * e;
      } else {
        const float mean = static_cast<float>(static_cast<double>(sum) / 3.0);
        const float d0 = mean - g[0][i], d1 = mean - g[1][i], d2 = mean - g[2][i];
        const float sd =
            static_cast<float>(std::sqrt(static_cast<double>((d0 * d0 + d1 * d1) + d2 * d2) / 3.0));
        const float lap3 = static_cast<float>(static_cast<double>(lap) / 3.0);
        float e = powf(expf(-((d * d) / sigma2)) + kTiny, kPower);
        float c = sqrtf(powf(lap3 + kTiny, kPower)), sat = powf(sd + kTiny, kPower);
        if (top && bits == 8) {
          e = powf(expDouble(7200.0), kPower), c = sqrtf(powf(lap3, kPower)),
          sat = powf(sd, kPower);
        } else if (top) {
          e = expf(-((d * d) / (sigma2 * 10.0f))), c = sqrtf(lap3), sat = sd;
        }
        weight = ((c * sat) * e) * e;
      }
      weight = static_cast<float>(static_cast<double>(weight) + 0.00001);
      s->weight[i] += weight;
      for (int k = 0; k < comps; ++k)
        s->value[k][i] += weight * (top ? g[k][i] : value[k][i]);
    }
  }
}

// The routine for `comps`, `bits` and `top`; with `tile`, the parallel body of
// an ordinary level alone, run over tile x tile pieces of the level as TBB may
// hand them out (border pixels of a piece must still read their own window).
void Update(Sums* s, const Plane* g, const Plane* v, int comps, uint32_t w, uint32_t h,
            uint32_t bits, uint32_t mid, bool top, const cAmplitudeTables* tables, uint32_t tile) {
  float *ws = s->weight.data(), *v0 = s->value[0].data(), *v1 = s->value[1].data(),
        *v2 = s->value[2].data();
  const float *g0 = g[0].data(), *g1 = g[1].data(), *g2 = g[2].data();
  const float m = static_cast<float>(mid), sigma2 = FusionSigma2(bits);
  const cUpdateAplitude_1 one{m, sigma2, v[0].data(), g0, v0, ws, w, h};
  const cUpdateAplitude_3 three{m,  sigma2, v[0].data(), g0, v[1].data(), g1, v[2].data(),
                                g2, v0,     v1,          v2, ws,          w,  h};
  for (uint32_t y = 0; tile > 0 && y < h; y += tile) {
    for (uint32_t x = 0; x < w; x += tile) {
      const tbb::blocked_range2d<int, int> piece(y, std::min(y + tile, h), x,
                                                 std::min(x + tile, w));
      if (comps == 1) one(piece);
      if (comps == 3) three(piece);
    }
  }
  if (tile > 0) return;
  if (comps == 1 && top && bits == 8) UpdateAmplitudeTop_x8(v0, ws, g0, w, h, mid);
  if (comps == 1 && top && bits != 8) UpdateAmplitudeTop_x16(v0, ws, g0, w, h, mid, bits);
  if (comps == 1 && !top && bits == 8)
    UpdateAmplitude_x8(v0, ws, v[0].data(), g0, w, h, mid, tables);
  if (comps == 1 && !top && bits != 8)
    UpdateAmplitude_x16(v0, ws, v[0].data(), g0, w, h, mid, bits, tables);
  if (comps == 3 && top && bits == 8) UpdateAmplitudeTop_3x8(ws, v0, v1, v2, g0, g1, g2, w, h, mid);
  if (comps == 3 && top && bits != 8)
    UpdateAmplitudeTop_3x16(ws, v0, v1, v2, g0, g1, g2, w, h, mid, bits);
  if (comps == 3 && !top)
    UpdateAmplitude_3(ws, v0, v1, v2, v[0].data(), g0, v[1].data(), g1, v[2].data(), g2, w, h, bits,
                      mid, tables);
}

}  // namespace

// Ordinary levels with and without the lookup tables of whole sample values
// (the finest level holds such values), their parallel bodies over pieces of
// one and of three pixels square, and the coarsest level.
TEST(AmplitudeKernels, EveryRoutineMatchesThePlainEvaluation) {
  enum Level { kOrdinary, kWholeSamples, kOnePixelPieces, kThreePixelPieces, kTop };
  const uint32_t pieceSide[] = {0, 0, 1, 3, 0};
  // Odd sizes, the 5 x 5 minimum, rows longer than one inner pass, a tall
  // strip, and levels below 5 that the routines must leave untouched.
  const int sizes[][2] = {{5, 5}, {7, 13}, {300, 9}, {6, 41}, {529, 6}, {4, 9}, {9, 4}};
  for (uint32_t bits : {8u, 16u}) {
    const float maxValue = bits == 8 ? 255.0f : 65535.0f;
    for (int comps : {1, 3}) {
      const uint32_t mid = (comps == 1 ? 100u : 128u) << (bits - 8);
      cAmplitudeTables tables;
      BuildAmplitudeTables(&tables, static_cast<uint32_t>(comps), bits, mid);
      for (Level level : {kOrdinary, kWholeSamples, kOnePixelPieces, kThreePixelPieces, kTop}) {
        for (const auto& [w, h] : sizes) {
          if (pieceSide[level] > 0 && (w < 5 || h < 5)) continue;  // the guard is not the body's
          SCOPED_TRACE(testing::Message() << bits << " bits, " << comps << " components, level "
                                          << level << ", " << w << "x" << h);
          const size_t n = static_cast<size_t>(w) * h;
          Plane g[3], v[3];
          for (uint32_t k = 0; k < 3; ++k) {
            g[k] = RandomPlane(n, -0.25f * maxValue, maxValue, 20 + k);
            v[k] = RandomPlane(n, -maxValue / 16, maxValue / 4, 30 + k);
            if (level != kWholeSamples) continue;
            for (float& sample : g[k])  // the ends of the tables included
              sample = std::floor(std::fabs(sample));
            g[k][0] = maxValue, g[k][w + 1] = 0.0f;
          }
          Sums got(n), want(n);
          Update(&got, g, v, comps, w, h, bits, mid, level == kTop,
                 level == kWholeSamples ? &tables : nullptr, pieceSide[level]);
          Reference(&want, g, v, comps, w, h, bits, static_cast<float>(mid), level == kTop);
          EXPECT_TRUE(SameBits(got.weight, want.weight));
          for (int k = 0; k < comps; ++k)
            EXPECT_TRUE(SameBits(got.value[k], want.value[k])) << "value " << k;
        }
      }
    }
  }
}
