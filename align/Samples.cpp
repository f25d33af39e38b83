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

namespace {

// The squared gradient of every pixel of row y that may be a sample (it and
// its four neighbours well exposed), 0 for the others.
void RowStrength(const LumaPlane& plane, int y, float* strength) {
  const float* up = plane.Row(y - 1);
  const float* row = plane.Row(y);
  const float* down = plane.Row(y + 1);
  strength[0] = strength[plane.width - 1] = 0.0f;
  for (int x = 1; x < plane.width - 1; ++x) {
    const bool exposed = Exposed(row[x]) & Exposed(row[x - 1]) & Exposed(row[x + 1]) &
                         Exposed(up[x]) & Exposed(down[x]);
    const float gx = 0.5f * (row[x + 1] - row[x - 1]);
    const float gy = 0.5f * (down[x] - up[x]);
    const float g2 = gx * gx + gy * gy;
    strength[x] = exposed && g2 >= kMinGradient * kMinGradient ? g2 : 0.0f;
  }
}

// The strongest pixels of one cell, strongest first (ties: the earlier pixel).
struct CellBest {
  float strength[kPerCell] = {};
  int index[kPerCell] = {};
  int count = 0;

  void Offer(float g2, int i) {
    if (count == kPerCell && g2 <= strength[kPerCell - 1]) return;
    int k = count < kPerCell ? count++ : kPerCell - 1;
    for (; k > 0 && strength[k - 1] < g2; --k) {
      strength[k] = strength[k - 1];
      index[k] = index[k - 1];
    }
    strength[k] = g2;
    index[k] = i;
  }
};

// Appends the samples of the cells over plane rows [rowBegin, rowEnd) (every
// row with a row above and below it in the plane); the plane's row r is row
// r + rowOffset of the level.
void SelectInRows(const LumaPlane& plane, int rowBegin, int rowEnd, int cell, int rowOffset,
                  LevelSamples* samples) {
  const int cellsAcross = (plane.width - 2 + cell - 1) / cell;
  std::vector<float> strength(static_cast<size_t>(plane.width));
  std::vector<CellBest> cells(static_cast<size_t>(cellsAcross));
  for (int cy = rowBegin; cy < rowEnd; cy += cell) {
    std::fill(cells.begin(), cells.end(), CellBest{});
    for (int y = cy; y < std::min(cy + cell, rowEnd); ++y) {
      RowStrength(plane, y, strength.data());
      for (int x = 1; x < plane.width - 1; ++x)
        if (strength[x] > 0.0f) cells[(x - 1) / cell].Offer(strength[x], y * plane.width + x);
    }
    for (const CellBest& best : cells)
      for (int k = 0; k < best.count; ++k) {
        const int x = best.index[k] % plane.width, y = best.index[k] / plane.width;
        samples->x.push_back(static_cast<float>(x));
        samples->y.push_back(static_cast<float>(y + rowOffset));
        samples->value.push_back(plane.At(x, y));
        samples->gx.push_back(0.5f * (plane.At(x + 1, y) - plane.At(x - 1, y)));
        samples->gy.push_back(0.5f * (plane.At(x, y + 1) - plane.At(x, y - 1)));
      }
  }
}

// Cells holding kPerCell samples each, `target` in all.
int CellSide(int width, int height, int target) {
  const double area = static_cast<double>(width) * height;
  return std::max(3, static_cast<int>(std::sqrt(area * kPerCell / std::max(target, 1))));
}

}  // namespace

void SelectSamples(const LumaPlane& plane, int level, int target, LevelSamples* samples) {
  *samples = LevelSamples{};
  samples->level = level;
  samples->width = plane.width;
  samples->height = plane.height;
  if (plane.width < 3 || plane.height < 3) return;
  SelectInRows(plane, 1, plane.height - 1, CellSide(plane.width, plane.height, target), 0, samples);
}

void SelectPictureSamples(const SBxPicBuf& picture, const LevelSamples& levelOne,
                          LevelSamples* samples) {
  *samples = LevelSamples{};
  samples->width = picture.width;
  samples->height = picture.height;
  // Level-1 pixel u covers picture pixels 2u and 2u + 1: look at 2u - 1 .. 2u + 2,
  // which needs picture rows and columns 2u - 2 .. 2u + 3 for the gradients.
  constexpr int kSide = 4, kKeep = 2;
  LumaPlane band;
  float strength[kSide + 2];
  std::vector<std::pair<int, int>> kept;  // (row, column), to leave out repeats
  for (size_t i = 0; i < levelOne.Count(); ++i) {
    const int x0 = 2 * static_cast<int>(levelOne.x[i]) - 1;
    const int y0 = 2 * static_cast<int>(levelOne.y[i]) - 1;
    if (x0 < 1 || y0 < 1 || x0 + kSide > picture.width - 1 || y0 + kSide > picture.height - 1)
      continue;
    PictureLumaBlock(picture, x0 - 1, y0 - 1, kSide + 2, kSide + 2, &band);
    CellBest best;
    for (int r = 1; r <= kSide; ++r) {
      RowStrength(band, r, strength);
      for (int c = 1; c <= kSide; ++c)
        if (strength[c] > 0.0f) best.Offer(strength[c], r * band.width + c);
    }
    for (int k = 0; k < std::min(best.count, kKeep); ++k) {
      const int c = best.index[k] % band.width, r = best.index[k] / band.width;
      kept.emplace_back(y0 - 1 + r, x0 - 1 + c);
    }
  }
  std::sort(kept.begin(), kept.end());
  kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
  for (const auto& [y, x] : kept) {
    PictureLumaBlock(picture, x - 1, y - 1, 3, 3, &band);
    samples->x.push_back(static_cast<float>(x));
    samples->y.push_back(static_cast<float>(y));
    samples->value.push_back(band.At(1, 1));
    samples->gx.push_back(0.5f * (band.At(2, 1) - band.At(0, 1)));
    samples->gy.push_back(0.5f * (band.At(1, 2) - band.At(1, 0)));
  }
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
