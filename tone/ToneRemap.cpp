// The remap curve, its table, and the literal remapping pass on a scratch plane.
#include "tone/ToneRemap.h"

#include "picture/VectorClones.h"
#include "tone/RemapLanes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

RemapCurve MakeRemapCurve(double threshold, double noise, double slope, const float* table) {
  RemapCurve c;
  // Each product in double, converted to float, then finished in float: this
  // order is part of the output.
  c.threshold = static_cast<float>(threshold * 255.0) + 0.0001f;
  c.thresholdStep = c.threshold / 1000.0f;
  c.noise = static_cast<float>(noise * 5.0) * 2.55f;
  c.slope = static_cast<float>(slope * 2.0);
  c.table = table;
  return c;
}

std::vector<float> BuildRemapTable(double power) {
  std::vector<float> table(kRemapTableSize);
  const float p = static_cast<float>(power);
  for (int i = 0; i < kRemapTableSize; ++i)
    table[static_cast<size_t>(i)] = powf(static_cast<float>(i) / 1000.0f, p);
  return table;
}

// Built for AVX2 and for the baseline; the lanes compute the same values on both.
MELVARO_VECTOR_CLONES void RemapRow(float* dst, const float* src, int count, float reference,
                                    const RemapCurve& curve) {
  const RemapCurve c = curve;  // a local copy lets the compiler keep it in registers
  const FloatLanes m = FloatLanes{} + reference;
  for (int i = 0; i < count; i += kFloatLanes) {
    // Whole groups load and store in place; a short last group goes through a
    // buffer padded with the reference (which maps to itself).
    const size_t lanes = static_cast<size_t>(std::min(kFloatLanes, count - i));
    const float* from = src + i;
    float* to = dst + i;
    float padIn[kFloatLanes], padOut[kFloatLanes];
    if (lanes < kFloatLanes) {
      for (float& p : padIn)
        p = reference;
      std::memcpy(padIn, from, sizeof(float) * lanes);
      from = padIn;
      to = padOut;
    }
    FloatLanes v;
    std::memcpy(&v, from, sizeof v);
    const FloatLanes out = RemapLanes(v, m, c);
    std::memcpy(to, &out, sizeof out);
    if (lanes < kFloatLanes) std::memcpy(dst + i, padOut, sizeof(float) * lanes);
  }
}

RemapLevel RemapLevelGeometry(int s) {
  RemapLevel g;
  g.scratchLevel = std::max(s - 3, 0);
  g.shift = s - g.scratchLevel;
  g.window = 3 * (4 << g.shift) - 3;
  g.step = static_cast<int>(ceilf(static_cast<float>(g.window) / static_cast<float>(1 << g.shift)));
  return g;
}

void RemapBlocksParallel(float* scratch, int a, const float* reference, int s, int width,
                         int height, int window, int step, int ox, int oy,
                         const RemapCurve& curve) {
  const int d = s - a;
  const int ws = width >> s, hs = height >> s;
  const int wa = width >> a, ha = height >> a;
  if (ws <= ox || hs <= oy) return;
  // Every grid point, including those less than a step from the right or bottom
  // edge: their windows are clipped there as they are at the left and top.
  const int nx = (ws - ox + step - 1) / step, ny = (hs - oy + step - 1) / step;
  const int blocks = nx * ny;
#pragma omp parallel for schedule(static)
  for (int i = 0; i < blocks; ++i) {
    const int x = (i % nx) * step + ox, y = (i / nx) * step + oy;
    const float m = reference[static_cast<size_t>(y) * static_cast<size_t>(ws) + x];
    const int x0 = (x << d) - window / 2, y0 = (y << d) - window / 2;
    const int cx0 = std::max(x0, 0), cx1 = std::min(x0 + window, wa);
    const int cy0 = std::max(y0, 0), cy1 = std::min(y0 + window, ha);
    for (int yy = cy0; yy < cy1; ++yy) {
      float* row = scratch + static_cast<size_t>(yy) * static_cast<size_t>(wa) + cx0;
      RemapRow(row, row, cx1 - cx0, m, curve);
    }
  }
}
