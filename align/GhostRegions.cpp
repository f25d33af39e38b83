#include "align/GhostRegions.h"

#include <algorithm>
#include <cstdint>

namespace {

using Mask = std::vector<uint8_t>;

// How many of the 3 x 3 blocks around (c, r), itself included, are set.
int Around(const Mask& mask, int columns, int rows, int c, int r) {
  int n = 0;
  for (int y = std::max(r - 1, 0); y <= std::min(r + 1, rows - 1); ++y)
    for (int x = std::max(c - 1, 0); x <= std::min(c + 1, columns - 1); ++x)
      n += mask[static_cast<size_t>(y) * columns + x];
  return n;
}

Mask Grow(const Mask& mask, int columns, int rows) {
  Mask grown(mask.size(), 0);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      grown[static_cast<size_t>(r) * columns + c] = Around(mask, columns, rows, c, r) > 0;
  return grown;
}

// The binomial (1 4 6 4 1) / 16 along rows or columns, edges repeated.
std::vector<float> Smooth(const std::vector<float>& plane, int columns, int rows, bool alongRows) {
  static constexpr float kTaps[5] = {1.0f / 16, 4.0f / 16, 6.0f / 16, 4.0f / 16, 1.0f / 16};
  std::vector<float> out(plane.size());
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      float sum = 0.0f;
      for (int t = -2; t <= 2; ++t) {
        const int x = alongRows ? std::clamp(c + t, 0, columns - 1) : c;
        const int y = alongRows ? r : std::clamp(r + t, 0, rows - 1);
        sum += kTaps[t + 2] * plane[static_cast<size_t>(y) * columns + x];
      }
      out[static_cast<size_t>(r) * columns + c] = sum;
    }
  return out;
}

}  // namespace

void RegionWeights(const std::vector<float>& scores, int columns, int rows, GhostWeights* weights) {
  Mask raw(scores.size(), 0);
  for (size_t b = 0; b < scores.size(); ++b)
    raw[b] = scores[b] > 1.0f;
  // Speckle: a disagreeing block needs two disagreeing neighbours.
  Mask kept(raw.size(), 0);
  size_t rejected = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const size_t b = static_cast<size_t>(r) * columns + c;
      kept[b] = raw[b] && Around(raw, columns, rows, c, r) >= 3;
      rejected += kept[b];
    }
  weights->values.clear();
  weights->rejected = 0.0f;
  if (rejected == 0) return;
  Mask grown = kept;
  for (int i = 0; i < kGhostMargin; ++i)
    grown = Grow(grown, columns, rows);
  std::vector<float> plane(grown.size());
  for (size_t b = 0; b < grown.size(); ++b)
    plane[b] = grown[b] ? 0.0f : 1.0f;
  plane = Smooth(Smooth(plane, columns, rows, true), columns, rows, false);
  // The disagreeing blocks themselves stay out entirely.
  for (size_t b = 0; b < plane.size(); ++b)
    if (kept[b]) plane[b] = 0.0f;
  weights->values = std::move(plane);
  weights->rejected = static_cast<float>(rejected) / static_cast<float>(scores.size());
}
