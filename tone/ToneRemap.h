#pragma once

#include <cmath>
#include <vector>

// The point-wise curve of the local Laplacian tone mapper and the window
// geometry of its remapping passes. Values are on a 0..255 scale.

// Entries of the detail curve's table. The index is a' / Tstep with a' at most T,
// and T / (T / 1000) comes to at most 1000 in single precision for every T the
// parameters allow (0.0001 to 255000.0001, each float of that range tried), so
// entries past 1000 are never read; the last ones are a margin.
constexpr int kRemapTableSize = 1024;

// The run's constants, in single precision, derived from the parameters in a
// fixed order (see MakeRemapCurve) because they define the output.
struct RemapCurve {
  float threshold = 0.0f;      // T: differences below it are details, above it edges
  float thresholdStep = 0.0f;  // T / 1000: the table's index step
  float noise = 0.0f;          // N: differences below it are left as they are
  float slope = 0.0f;          // S: gain of the part of an edge above T
  const float* table = nullptr;
};

RemapCurve MakeRemapCurve(double threshold, double noise, double slope, const float* table);
// Entry i = powf(i / 1000, power): the detail curve sampled at steps of 0.001 of T.
std::vector<float> BuildRemapTable(double power);

// The remap of v about the reference m. Written without branches so that rows
// vectorise; the table index is bounded for every lane (an edge difference never
// uses it, and a NaN difference reads entry 1000) so no lane reads outside.
inline float RemapSample(float v, float m, const RemapCurve& c) {
  const float delta = v - m;
  const float mag = std::fabs(delta);
  const float t = c.threshold;
  const float n = c.noise;
  // Every candidate is computed, then chosen: selects between finished values
  // vectorise where branches around arithmetic do not.
  const float blend = (mag - n) / n;
  const float w = n > mag ? 0.0f : (mag > n + n ? 1.0f : blend);
  int i = static_cast<int>((mag < t ? mag : t) / c.thresholdStep);
  i = i < kRemapTableSize - 1 ? i : kRemapTableSize - 1;
  const float r = w * c.table[i] + ((1.0f - w) * mag) / t;
  const float tr = t * r;
  const float e = (mag - t) * c.slope;
  const bool detail = t > mag;
  const float detailBelow = m - tr, detailAbove = tr + m;
  const float edgeBelow = (m - e) - t, edgeAbove = (t + m) + e;
  const float below = detail ? detailBelow : edgeBelow;
  const float above = detail ? detailAbove : edgeAbove;
  return delta < 0.0f ? below : (delta > 0.0f ? above : m);
}

// dst[i] = RemapSample(src[i], reference); dst may be src.
void RemapRow(float* dst, const float* src, int count, float reference, const RemapCurve& curve);

// How level s of the output pyramid is remapped: the Gaussian level whose values
// are remapped (s - 3 from level 4 on, else the full-resolution plane), the shift
// between the two, the window (in pixels of that level) that holds every value a
// coefficient of level s depends on, and the grid step (in pixels of level s)
// that keeps the windows of one pass apart.
struct RemapLevel {
  int scratchLevel = 0;
  int shift = 0;
  int window = 0;
  int step = 0;
};
RemapLevel RemapLevelGeometry(int s);

// One pass at level s: every grid point (ox + i * step, oy + j * step) of level s
// remaps the window of scratch (level a, width >> a by height >> a) around it,
// clipped at the level's borders, about reference (Gaussian level s) at the
// point. width and height are the full-resolution plane's. The windows of a pass
// are disjoint, so the blocks run in parallel.
void RemapBlocksParallel(float* scratch, int a, const float* reference, int s, int width,
                         int height, int window, int step, int ox, int oy, const RemapCurve& curve);
