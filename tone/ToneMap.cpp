// The local Laplacian engine on one float plane.
#include "tone/ToneMap.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <new>
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
    for (int k = 1; k <= l; ++k) {
      gaussStore[static_cast<size_t>(k)].resize(Count(k));
      gauss[static_cast<size_t>(k)] = gaussStore[static_cast<size_t>(k)].data();
    }
    for (int k = 0; k < l; ++k)
      laplace[static_cast<size_t>(k)].resize(Count(k));
  }
};

void Decompose(PlanePyramid& p, JobProgress* progress) {
  for (int k = 0; k < p.levels; ++k) {
    Advance(progress, 1);
    const auto uk = static_cast<size_t>(k);
    ToneReduce(p.gauss[uk + 1], p.gauss[uk], p.W(k), p.H(k));
    ToneExpand(p.laplace[uk].data(), p.W(k), p.H(k), p.gauss[uk + 1], p.W(k + 1), p.H(k + 1));
    FloatPlaneSubtract(p.laplace[uk].data(), p.gauss[uk], p.laplace[uk].data(), p.W(k), p.H(k));
  }
}

// Replaces every coefficient of every Laplacian level, pass by pass; false when
// the cancel flag stopped it.
bool RemapLevels(PlanePyramid& p, const RemapCurve& curve, JobProgress* progress) {
  std::vector<std::vector<float>> workspaces(
      static_cast<size_t>(std::max(omp_get_max_threads(), 1)));
  std::vector<ValueGrid> grids(static_cast<size_t>(p.levels));
  for (int s = 0; s < p.levels; ++s) {
    const int a = RemapLevelGeometry(s).scratchLevel;
    // The scratch levels are looked at once each, when first needed.
    if (s == 0 || a != RemapLevelGeometry(s - 1).scratchLevel)
      grids[static_cast<size_t>(a)] = FindValueGrid(p.gauss[static_cast<size_t>(a)], p.Count(a));
    for (auto& w : workspaces)
      w.resize(CoefficientWorkspaceSize(s));
    Advance(progress, 2);
    if (!RemapLevelCoefficients(p.laplace[static_cast<size_t>(s)].data(), p.gauss.data(), s,
                                p.width, p.height, curve, grids[static_cast<size_t>(a)], workspaces,
                                progress))
      return false;
  }
  return true;
}

void Collapse(PlanePyramid& p) {
  for (int k = p.levels - 1; k >= 0; --k) {
    const auto uk = static_cast<size_t>(k);
    ToneExpand(p.gauss[uk], p.W(k), p.H(k), p.gauss[uk + 1], p.W(k + 1), p.H(k + 1));
    FloatPlaneAdd(p.gauss[uk], p.gauss[uk], p.laplace[uk].data(), p.W(k), p.H(k));
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
