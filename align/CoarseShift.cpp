#include "align/CoarseShift.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kRanks[kThresholdRanks] = {0.2f, 0.35f, 0.5f, 0.65f, 0.8f};
// A threshold is usable where both pictures hold detail around it: away from
// black and from clipping.
constexpr float kUsableLow = 0.03f, kUsableHigh = 0.97f;
// Values this close to a threshold (absolute, and relative for dark pictures)
// are noise-prone and left out of the comparison.
constexpr float kClearAbsolute = 0.006f, kClearRelative = 0.04f;
// At least this many comparable pixels make a shift count.
constexpr int64_t kMinCompared = 32;

// Set bits of the rank masks (kThresholdRanks bits): a table, since the
// baseline build has no population-count instruction.
constexpr std::array<uint8_t, 1u << kThresholdRanks> kBitCount = [] {
  std::array<uint8_t, 1u << kThresholdRanks> table{};
  for (unsigned v = 0; v < table.size(); ++v)
    table[v] = static_cast<uint8_t>(std::popcount(v));
  return table;
}();

}  // namespace

std::array<float, kThresholdRanks> RankThresholds(const LumaPlane& plane) {
  std::vector<float> sorted = plane.values;
  std::array<float, kThresholdRanks> thresholds{};
  if (sorted.empty()) return thresholds;
  std::sort(sorted.begin(), sorted.end());
  for (int k = 0; k < kThresholdRanks; ++k) {
    const auto i = static_cast<size_t>(kRanks[k] * static_cast<float>(sorted.size() - 1));
    thresholds[k] = sorted[i];
  }
  return thresholds;
}

uint8_t UsableRanks(const std::array<float, kThresholdRanks>& a,
                    const std::array<float, kThresholdRanks>& b) {
  uint8_t ranks = 0;
  for (int k = 0; k < kThresholdRanks; ++k) {
    if (a[k] > kUsableLow && a[k] < kUsableHigh && b[k] > kUsableLow && b[k] < kUsableHigh)
      ranks = static_cast<uint8_t>(ranks | (1u << k));
  }
  return ranks != 0 ? ranks : static_cast<uint8_t>((1u << kThresholdRanks) - 1);
}

void CutAtRanks(const LumaPlane& plane, const std::array<float, kThresholdRanks>& thresholds,
                uint8_t ranks, RankBitmap* bitmap) {
  bitmap->width = plane.width;
  bitmap->height = plane.height;
  bitmap->above.assign(plane.values.size(), 0);
  bitmap->clear.assign(plane.values.size(), 0);
  for (int k = 0; k < kThresholdRanks; ++k) {
    if (!(ranks & (1u << k))) continue;
    const float t = thresholds[k];
    const float margin = std::max(kClearAbsolute, kClearRelative * t);
    const auto bit = static_cast<uint8_t>(1u << k);
    for (size_t i = 0; i < plane.values.size(); ++i) {
      const float v = plane.values[i];
      if (v > t) bitmap->above[i] = static_cast<uint8_t>(bitmap->above[i] | bit);
      if (std::fabs(v - t) > margin)
        bitmap->clear[i] = static_cast<uint8_t>(bitmap->clear[i] | bit);
    }
  }
}

ShiftCandidate SearchShift(const RankBitmap& reference, const RankBitmap& moving, int centreX,
                           int centreY, int radius) {
  ShiftCandidate best;
  bool found = false;
  for (int dy = centreY - radius; dy <= centreY + radius; ++dy) {
    for (int dx = centreX - radius; dx <= centreX + radius; ++dx) {
      // Reference pixels p with p + d inside the moving bitmap.
      const int x0 = std::max(0, -dx), x1 = std::min(reference.width, moving.width - dx);
      const int y0 = std::max(0, -dy), y1 = std::min(reference.height, moving.height - dy);
      int64_t differing = 0, compared = 0;
      for (int y = y0; y < y1; ++y) {
        const size_t r = static_cast<size_t>(y) * static_cast<size_t>(reference.width);
        const size_t m = static_cast<size_t>(y + dy) * static_cast<size_t>(moving.width) +
                         static_cast<size_t>(dx);
        for (int x = x0; x < x1; ++x) {
          const unsigned both = reference.clear[r + x] & moving.clear[m + x];
          differing += kBitCount[(reference.above[r + x] ^ moving.above[m + x]) & both];
          compared += kBitCount[both];
        }
      }
      if (compared < kMinCompared) continue;
      const double disagreement = static_cast<double>(differing) / static_cast<double>(compared);
      const int distance = std::abs(dx - centreX) + std::abs(dy - centreY);
      const int bestDistance = std::abs(best.dx - centreX) + std::abs(best.dy - centreY);
      if (!found || disagreement < best.disagreement ||
          (disagreement == best.disagreement && distance < bestDistance)) {
        best = {dx, dy, disagreement, compared};
        found = true;
      }
    }
  }
  if (!found) best = {centreX, centreY, 1.0, 0};
  return best;
}
