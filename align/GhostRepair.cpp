#include "align/GhostRepair.h"

#include <algorithm>
#include <cmath>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

float InverseGhostCurve(const GhostCurve& curve, float value) {
  const auto& p = curve.points;
  if (value <= p.front()) return 0.0f;
  if (value >= p.back()) return 1.0f;
  // The first point at or above the value; a flat stretch gives its start.
  const int i = static_cast<int>(std::lower_bound(p.begin(), p.end(), value) - p.begin());
  const float below = p[i - 1], above = p[i];
  const float t = above > below ? (value - below) / (above - below) : 0.0f;
  return (static_cast<float>(i - 1) + t) / (kGhostCurvePoints - 1);
}

namespace {

template <typename Sample>
void RepairRow(const SBxPicBuf& reference, const std::vector<std::vector<float>>& inverse,
               const GhostWeights& weights, int y, float* rowWeights, SBxPicBuf* picture) {
  const int components = static_cast<int>(picture->components);
  const int compared = static_cast<int>(inverse.size());
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const Sample* ref = reinterpret_cast<const Sample*>(RowPtr(reference, y));
  Sample* out = reinterpret_cast<Sample*>(RowPtr(*picture, y));
  weights.Row(y, 0, picture->width, rowWeights);
  const Sample clipAt = static_cast<Sample>(std::ceil(kClipLevel * full));
  const Sample blackAt = static_cast<Sample>(std::floor(kBlackLevel * full));
  for (int x = 0; x < picture->width; ++x) {
    const float w = rowWeights[x];
    if (w >= 1.0f) continue;
    for (int c = 0; c < compared; ++c) {
      const size_t i = static_cast<size_t>(x) * components + c;
      const float own = static_cast<float>(out[i]);
      // A reference sample that is black tells only that the scene is at most
      // that dark: the picture's own value is held within that bound. A
      // clipped one bounds it from below: the picture's own value is kept.
      const Sample r = ref[i];
      const float mapped = r >= clipAt    ? own
                           : r <= blackAt ? std::min(own, inverse[c][blackAt] * full)
                                          : inverse[c][r] * full;
      const float v = w * own + (1.0f - w) * mapped;
      out[i] = static_cast<Sample>(std::clamp(v + 0.5f, 0.0f, full));
    }
  }
}

}  // namespace

void RepairFromReference(const SBxPicBuf& reference,
                         const std::array<GhostCurve, kGhostMaxComponents>& curves,
                         const std::vector<uint8_t>& referenceBounded, SBxPicBuf* picture,
                         GhostWeights* weights) {
  if (weights->AllOne()) return;
  // The blocks the reference exposes well and the picture is lowered in.
  constexpr uint8_t kMostlyExposed = 255 / 10;
  std::vector<uint8_t> repaired(weights->values.size(), 0);
  bool any = false;
  for (size_t b = 0; b < repaired.size(); ++b) {
    repaired[b] = referenceBounded[b] <= kMostlyExposed && weights->values[b] < 1.0f;
    any = any || repaired[b];
  }
  if (!any) return;
  // Every sample value of the reference, mapped to the picture's brightness.
  const int compared = picture->components >= 3 ? 3 : 1;
  const int levels = reference.bitsPerComponent == 8 ? 256 : 65536;
  std::vector<std::vector<float>> inverse(compared, std::vector<float>(levels));
  for (int c = 0; c < compared; ++c)
    for (int s = 0; s < levels; ++s)
      inverse[c][s] =
          InverseGhostCurve(curves[c], static_cast<float>(s) / static_cast<float>(levels - 1));
  // Rows of weights all 1 keep their pixels: only the few across a lowered region are read.
  const std::vector<uint8_t> ones = weights->OneRows();
  tbb::parallel_for(
      tbb::blocked_range<int>(0, picture->height, 16), [&](const tbb::blocked_range<int>& band) {
        std::vector<float> rowWeights(static_cast<size_t>(picture->width));
        for (int y = band.begin(); y < band.end(); ++y) {
          if (ones[y]) continue;
          if (picture->bitsPerComponent == 8) {
            RepairRow<uint8_t>(reference, inverse, *weights, y, rowWeights.data(), picture);
          } else {
            RepairRow<uint16_t>(reference, inverse, *weights, y, rowWeights.data(), picture);
          }
        }
      });
  bool allOne = true;
  for (size_t b = 0; b < repaired.size(); ++b) {
    if (repaired[b]) weights->values[b] = 1.0f;
    allOne = allOne && weights->values[b] >= 1.0f;
  }
  if (allOne) weights->values.clear();
}
