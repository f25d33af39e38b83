#include "align/Samples.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Samples kept per cell: a few, so that every part of the picture with detail
// has a say, not only its busiest corner.
constexpr int kPerCell = 4;
// Gradients weaker than this (per pixel, 0..1 scale) are flat areas and noise.
constexpr float kMinGradient = 0.002f;

bool Exposed(float v) {
  return v >= kDark && v <= kBright;
}

}  // namespace

void SelectSamples(const LumaPlane& plane, int level, int target, LevelSamples* samples) {
  *samples = LevelSamples{};
  samples->level = level;
  samples->width = plane.width;
  samples->height = plane.height;
  if (plane.width < 3 || plane.height < 3) return;
  const double area = static_cast<double>(plane.width) * plane.height;
  const int cell = std::max(3, static_cast<int>(std::sqrt(area * kPerCell / std::max(target, 1))));
  std::vector<std::pair<float, int>> candidates;
  for (int cy = 1; cy < plane.height - 1; cy += cell) {
    for (int cx = 1; cx < plane.width - 1; cx += cell) {
      candidates.clear();
      const int yEnd = std::min(cy + cell, plane.height - 1);
      const int xEnd = std::min(cx + cell, plane.width - 1);
      for (int y = cy; y < yEnd; ++y) {
        const float* up = plane.Row(y - 1);
        const float* row = plane.Row(y);
        const float* down = plane.Row(y + 1);
        for (int x = cx; x < xEnd; ++x) {
          if (!Exposed(row[x]) || !Exposed(row[x - 1]) || !Exposed(row[x + 1]) || !Exposed(up[x]) ||
              !Exposed(down[x]))
            continue;
          const float gx = 0.5f * (row[x + 1] - row[x - 1]);
          const float gy = 0.5f * (down[x] - up[x]);
          const float g2 = gx * gx + gy * gy;
          if (g2 >= kMinGradient * kMinGradient) candidates.emplace_back(-g2, y * plane.width + x);
        }
      }
      const size_t keep = std::min<size_t>(kPerCell, candidates.size());
      std::partial_sort(candidates.begin(), candidates.begin() + static_cast<long>(keep),
                        candidates.end());
      for (size_t k = 0; k < keep; ++k) {
        const int i = candidates[k].second;
        const int x = i % plane.width, y = i / plane.width;
        samples->x.push_back(static_cast<float>(x));
        samples->y.push_back(static_cast<float>(y));
        samples->value.push_back(plane.At(x, y));
        samples->gx.push_back(0.5f * (plane.At(x + 1, y) - plane.At(x - 1, y)));
        samples->gy.push_back(0.5f * (plane.At(x, y + 1) - plane.At(x, y - 1)));
      }
    }
  }
}

LumaHistogram HistogramOf(const LumaPlane& plane) {
  LumaHistogram histogram{};
  for (float v : plane.values) {
    const int bin = std::clamp(static_cast<int>(v * kLumaBins), 0, kLumaBins - 1);
    ++histogram[bin];
  }
  return histogram;
}

ExposureMap::ExposureMap() {
  for (int i = 0; i < kLumaBins; ++i)
    table_[i] = (static_cast<float>(i) + 0.5f) / kLumaBins;
}

ExposureMap::ExposureMap(const LumaHistogram& from, const LumaHistogram& to) : ExposureMap() {
  // Cumulative shares at the bins' middles.
  auto middles = [](const LumaHistogram& h, std::array<double, kLumaBins>* c) {
    double total = 0.0;
    for (uint32_t n : h)
      total += n;
    double below = 0.0;
    for (int i = 0; i < kLumaBins; ++i) {
      (*c)[i] = total > 0.0 ? (below + 0.5 * h[i]) / total : 0.0;
      below += h[i];
    }
    return total > 0.0;
  };
  std::array<double, kLumaBins> cf{}, ct{};
  if (!middles(from, &cf) || !middles(to, &ct)) return;
  // Bins of `to` that hold pixels, for the inverse of its cumulative shares.
  std::vector<int> held;
  for (int i = 0; i < kLumaBins; ++i)
    if (to[i] != 0) held.push_back(i);
  int j = 0;
  for (int i = 0; i < kLumaBins; ++i) {
    const double share = cf[i];
    while (j + 1 < static_cast<int>(held.size()) && ct[held[j + 1]] <= share)
      ++j;
    const int a = held[j];
    double value = (a + 0.5) / kLumaBins;
    if (share > ct[a] && j + 1 < static_cast<int>(held.size())) {
      const int b = held[j + 1];
      const double f = (share - ct[a]) / (ct[b] - ct[a]);
      value += f * (b - a) / kLumaBins;
    }
    table_[i] = static_cast<float>(value);
  }
}
