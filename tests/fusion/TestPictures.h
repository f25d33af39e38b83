#pragma once

// Deterministic pictures and planes shared by the fusion tests.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "tests/support/TestFiles.h"  // SampleAt

// A scene with smooth shading and fine texture, scaled by `gain` (an exposure)
// and clipped to the sample range; components differ so colour has saturation.
inline void FillScene(SBxPicBuf* pic, double gain, uint32_t seed = 7) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-12.0, 12.0);
  const double maxValue = pic->bitsPerComponent == 8 ? 255.0 : 65535.0;
  for (int y = 0; y < pic->height; ++y)
    for (int x = 0; x < pic->width; ++x)
      for (uint32_t c = 0; c < pic->components; ++c) {
        const double base = 110.0 + 70.0 * std::sin(x / (17.0 + 5.0 * c)) * std::cos(y / 11.0) +
                            noise(rng) + 15.0 * c;
        const double v = std::clamp(base * gain * maxValue / 255.0, 0.0, maxValue);
        const size_t i = static_cast<size_t>(x) * pic->components + c;
        if (pic->bitsPerComponent == 8) {
          RowPtr(*pic, y)[i] = static_cast<uint8_t>(v);
        } else {
          reinterpret_cast<uint16_t*>(RowPtr(*pic, y))[i] = static_cast<uint16_t>(v);
        }
      }
}

// The mean sample of a picture, and the largest difference of two of one geometry.
inline double MeanSample(const SBxPicBuf& pic) {
  double sum = 0.0;
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x)
      for (uint32_t c = 0; c < pic.components; ++c)
        sum += SampleAt(pic, x, y, c);
  return sum / (static_cast<double>(pic.width) * pic.height * pic.components);
}
inline double MaxDifference(const SBxPicBuf& a, const SBxPicBuf& b) {
  double worst = 0.0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      for (uint32_t c = 0; c < a.components; ++c)
        worst = std::max(
            worst, std::fabs(SampleAt(a, x, y, c) - static_cast<double>(SampleAt(b, x, y, c))));
  return worst;
}

inline std::vector<float> RandomPlane(size_t count, float lo, float hi, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(lo, hi);
  std::vector<float> plane(count);
  for (float& v : plane)
    v = dist(rng);
  return plane;
}

inline bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}
