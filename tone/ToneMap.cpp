// The local Laplacian engine on one float plane.
#include "tone/ToneMap.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "tone/RemapCoefficients.h"
#include "tone/TonePlaneRun.h"
#include "tone/TonePyramid.h"
#include "tone/ToneRemap.h"

namespace {

constexpr int kMaxToneLevels = 10;

bool Cancelled(const JobProgress* progress) {
  return progress != nullptr && progress->CancelRequested();
}

void Advance(JobProgress* progress, int steps) {
  if (progress != nullptr) progress->Advance(steps);
}

// The planes of one run: Gaussian levels 0..L (level 0 is the output plane) and
// the output's Laplacian levels 0..L-1.
struct PlanePyramid {
  int width = 0;
  int height = 0;
  int levels = 0;
  std::vector<float*> gauss;
  std::vector<std::vector<float>> gaussStore;
  std::vector<std::vector<float>> laplace;

  int W(int k) const { return width >> k; }
  int H(int k) const { return height >> k; }
  size_t Count(int k) const { return static_cast<size_t>(W(k)) * static_cast<size_t>(H(k)); }

  // Throws std::bad_alloc when memory runs out.
  PlanePyramid(float* output, int w, int h, int l) : width(w), height(h), levels(l) {
    gauss.assign(static_cast<size_t>(l) + 1, nullptr);
    gaussStore.resize(static_cast<size_t>(l) + 1);
    laplace.resize(static_cast<size_t>(l));
    gauss[0] = output;
    // The planes, largest first, are made (and their pages first touched) on all
    // threads: tens of megabytes of fresh memory for a 12-megapixel plane.
    std::vector<std::pair<std::vector<float>*, size_t>> made;
    for (int k = 0; k < l; ++k) {
      made.emplace_back(&laplace[static_cast<size_t>(k)], Count(k));
      made.emplace_back(&gaussStore[static_cast<size_t>(k) + 1], Count(k + 1));
    }
    bool failed = false;
    const int count = static_cast<int>(made.size());
#pragma omp parallel for schedule(dynamic, 1) \
    reduction(||                              \
              : failed) if (Count(0) >= kParallelElements)
    for (int i = 0; i < count; ++i) {
      try {
        made[static_cast<size_t>(i)].first->resize(made[static_cast<size_t>(i)].second);
      } catch (const std::bad_alloc&) {
        failed = true;
      }
    }
    if (failed) throw std::bad_alloc();
    for (int k = 1; k <= l; ++k)
      gauss[static_cast<size_t>(k)] = gaussStore[static_cast<size_t>(k)].data();
  }
};

// Runs body(y0, y1, temp) over bands of rows [0, rows) on all threads (on this
// one for a level of fewer than kParallelElements elements), temp holding
// tempSize floats of the thread's own. Each row of a reduce, expand, sum or
// difference depends only on other levels, so the split changes no value.
template <class Body>
void OverRowBands(int rows, size_t elements, size_t tempSize, Body body) {
  constexpr int kBandRows = 16;
  const int team = std::max(omp_get_max_threads(), 1);
  std::vector<float> temps(static_cast<size_t>(team) * tempSize);  // before the threads: may throw
  const int bands = (rows + kBandRows - 1) / kBandRows;
#pragma omp parallel for schedule(dynamic, 1) num_threads(team) if (elements >= kParallelElements)
  for (int b = 0; b < bands; ++b) {
    body(b * kBandRows, std::min(rows, (b + 1) * kBandRows),
         temps.data() + static_cast<size_t>(omp_get_thread_num()) * tempSize);
  }
}

void Decompose(PlanePyramid& p, JobProgress* progress) {
  for (int k = 0; k < p.levels; ++k) {
    Advance(progress, 1);
    const auto uk = static_cast<size_t>(k);
    const int w = p.W(k), h = p.H(k), cw = p.W(k + 1);
    const LevelArea fine{p.gauss[uk], w, 0, 0}, coarse{p.gauss[uk + 1], cw, 0, 0};
    const LevelArea detail{p.laplace[uk].data(), w, 0, 0};
    // As ToneReduce, then ToneExpand and FloatPlaneSubtract, band by band.
    OverRowBands(
        p.H(k + 1), p.Count(k), static_cast<size_t>(kReduceRowsAtOnce * (2 * cw + 3)),
        [&](int y0, int y1, float* temp) { ReduceArea(coarse, 0, y0, cw, y1, fine, w, h, temp); });
    OverRowBands(h, p.Count(k), static_cast<size_t>(w / 2 + 3), [&](int y0, int y1, float* temp) {
      ExpandArea(detail, 0, y0, w, y1, coarse, w, h, temp);
      FloatPlaneSubtract(detail.At(0, y0), fine.At(0, y0), detail.At(0, y0), w, y1 - y0);
    });
  }
}

// Replaces every coefficient of every Laplacian level; false when the cancel
// flag stopped it.
bool RemapLevels(PlanePyramid& p, const RemapCurve& curve, JobProgress* progress) {
  std::vector<float*> laplace;
  for (std::vector<float>& level : p.laplace)
    laplace.push_back(level.data());
  RemapPyramid pyramid;
  pyramid.gauss = p.gauss.data(), pyramid.laplace = laplace.data();
  pyramid.width = p.width, pyramid.height = p.height, pyramid.levels = p.levels;
  return RemapCoefficients(pyramid, curve, progress);
}

void Collapse(PlanePyramid& p) {
  for (int k = p.levels - 1; k >= 0; --k) {
    const auto uk = static_cast<size_t>(k);
    const int w = p.W(k), h = p.H(k);
    const LevelArea fine{p.gauss[uk], w, 0, 0}, coarse{p.gauss[uk + 1], p.W(k + 1), 0, 0};
    // As ToneExpand, then FloatPlaneAdd, band by band.
    OverRowBands(h, p.Count(k), static_cast<size_t>(w / 2 + 3), [&](int y0, int y1, float* temp) {
      ExpandArea(fine, 0, y0, w, y1, coarse, w, h, temp);
      const LevelArea detail{p.laplace[uk].data(), w, 0, 0};
      FloatPlaneAdd(fine.At(0, y0), fine.At(0, y0), detail.At(0, y0), w, y1 - y0);
    });
  }
}

}  // namespace

int ToneMapPaddedSize(int size, int levels) {
  const int block = 1 << levels;
  return static_cast<int>(ceilf(static_cast<float>(size) / static_cast<float>(block) + 1.0f)) *
         block;
}

bool ToneMapParamsValid(const ToneMapParams& p) {
  auto finite = [](double v) { return std::isfinite(v); };
  return p.levels >= 1 && p.levels <= kMaxToneLevels && finite(p.threshold) && p.threshold >= 0.0 &&
         p.threshold <= 1000.0 && finite(p.noise) && finite(p.power) && finite(p.slope);
}

PlaneRunOutcome RemapFloatPlaneRun(float* out, const float* in, int width, int height,
                                   const ToneMapParams& params, JobProgress* progress) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (out != in) std::copy(in, in + count, out);
  const int block = 1 << std::clamp(params.levels, 0, kMaxToneLevels);
  if (!ToneMapParamsValid(params) || width <= 0 || height <= 0 || width % block != 0 ||
      height % block != 0)
    return PlaneRunOutcome::kRefused;
  if (Cancelled(progress)) return PlaneRunOutcome::kCancelled;
  try {
    PlanePyramid pyramid(out, width, height, params.levels);
    Decompose(pyramid, progress);
    if (Cancelled(progress)) return PlaneRunOutcome::kCancelled;
    const std::vector<float> table = BuildRemapTable(params.power);
    const RemapCurve curve =
        MakeRemapCurve(params.threshold, params.noise, params.slope, table.data());
    if (!RemapLevels(pyramid, curve, progress)) return PlaneRunOutcome::kCancelled;
    Collapse(pyramid);
  } catch (const std::bad_alloc&) {
    // Nothing has touched the output plane before the collapse.
    return PlaneRunOutcome::kNoMemory;
  }
  return PlaneRunOutcome::kDone;
}

bool RemapFloatPlane(float* out, const float* in, int width, int height, int levels,
                     double threshold, double noise, double power, double slope,
                     JobProgress* progress) {
  ToneMapParams p;
  p.levels = levels, p.threshold = threshold, p.noise = noise, p.power = power, p.slope = slope;
  return RemapFloatPlaneRun(out, in, width, height, p, progress) != PlaneRunOutcome::kDone;
}

void FloatPlaneSubtract(float* dst, const float* a, const float* b, int width, int height) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i)
    dst[i] = a[i] - b[i];
}

void FloatPlaneAdd(float* dst, const float* a, const float* b, int width, int height) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i)
    dst[i] = a[i] + b[i];
}

void FloatPlaneScale(float* plane, int width, int height, float factor) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i)
    plane[i] *= factor;
}
