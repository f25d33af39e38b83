#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "align/LumaPlanes.h"

// What the estimator keeps of the reference picture at one level: the pixels
// that carry its detail (the strongest gradients of each small cell, well
// exposed with their neighbours), with their values and gradients. A few
// thousand pixels per level stand in for the whole plane.
struct LevelSamples {
  int level = 0;
  int width = 0;  // of the level's plane
  int height = 0;
  std::vector<float> x, y, value, gx, gy;

  size_t Count() const { return x.size(); }
};

// Values below kDark or above kBright carry no detail (noise floor, clipping):
// such pixels take no part in the estimate, in either picture.
constexpr float kDark = 0.02f;
constexpr float kBright = 0.98f;

// About `target` samples of the plane, spread over it.
void SelectSamples(const LumaPlane& plane, int level, int target, LevelSamples* samples);
// Level-0 samples from the picture's own luminance, without a full-size plane:
// around each sample of level 1, the strongest pixels of its block and the
// block's ring of neighbours (detail at level 0 lies where level 1 has it).
void SelectPictureSamples(const SBxPicBuf& picture, const LevelSamples& levelOne,
                          LevelSamples* samples);

// The monotonic map of one picture's values onto another's that makes their
// histograms agree: a brighter or darker exposure of the same scene, whatever
// the camera's tone curve, seen at the reference's brightness.
class ExposureMap {
 public:
  static constexpr int kSlopeSpan = 8;

  // The identity.
  ExposureMap();
  ExposureMap(const LumaHistogram& from, const LumaHistogram& to);

  float Apply(float v) const {
    float t = v * kLumaBins - 0.5f;
    t = t < 0.0f ? 0.0f : (t > kLumaBins - 1.0f ? kLumaBins - 1.0f : t);
    const int i = static_cast<int>(t);
    const int j = i + 1 < kLumaBins ? i + 1 : i;
    const float f = t - static_cast<float>(i);
    return table_[i] + f * (table_[j] - table_[i]);
  }
  // d Apply / d v, over a span of bins wide enough to smooth out the histograms' steps.
  float Slope(float v) const {
    const int i = static_cast<int>(v * kLumaBins);
    const int a = std::clamp(i - kSlopeSpan, 0, kLumaBins - 1);
    const int b = std::clamp(i + kSlopeSpan, 0, kLumaBins - 1);
    return b > a ? (table_[b] - table_[a]) * kLumaBins / static_cast<float>(b - a) : 1.0f;
  }

 private:
  std::array<float, kLumaBins> table_{};
};
