#pragma once

// Deterministic test pictures for the fusion tests.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "picture/CBxPicBufAPI.h"
#include "tests/support/TestFiles.h"  // SampleAt

// A scene with smooth shading and fine texture, scaled by `gain` (an exposure)
// and clipped to the sample range; components differ so colour has saturation.
inline void FillScene(SBxPicBuf* pic, double gain, uint32_t seed = 7) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-12.0, 12.0);
  const double maxValue = pic->bitsPerComponent == 8 ? 255.0 : 65535.0;
  const double scale = maxValue / 255.0;
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (int x = 0; x < pic->width; ++x) {
      for (uint32_t c = 0; c < pic->components; ++c) {
        const double base = 110.0 + 70.0 * std::sin(x / (17.0 + 5.0 * c)) * std::cos(y / 11.0) +
                            noise(rng) + 15.0 * c;
        const double v = std::clamp(base * gain * scale, 0.0, maxValue);
        const size_t i = static_cast<size_t>(x) * pic->components + c;
        if (pic->bitsPerComponent == 8) {
          row[i] = static_cast<uint8_t>(v);
        } else {
          reinterpret_cast<uint16_t*>(row)[i] = static_cast<uint16_t>(v);
        }
      }
    }
  }
}

inline double MeanSample(const SBxPicBuf& pic) {
  double sum = 0.0;
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x)
      for (uint32_t c = 0; c < pic.components; ++c)
        sum += SampleAt(pic, x, y, c);
  return sum / (static_cast<double>(pic.width) * pic.height * pic.components);
}

// The largest difference of two pictures of one geometry.
inline double MaxDifference(const SBxPicBuf& a, const SBxPicBuf& b) {
  double worst = 0.0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      for (uint32_t c = 0; c < a.components; ++c)
        worst = std::max(worst, std::fabs(static_cast<double>(SampleAt(a, x, y, c)) -
                                          static_cast<double>(SampleAt(b, x, y, c))));
  return worst;
}
