#include "LiteralToneMap.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "tone/ToneMap.h"
#include "tone/TonePyramid.h"
#include "tone/ToneRemap.h"

namespace {

using Plane = std::vector<float>;

// Keeps the coefficients of one pass: every grid point of the level.
void KeepGridCoefficients(Plane& laplace, const Plane& detail, int ws, int hs, int step, int ox,
                          int oy) {
  for (int y = oy; y < hs; y += step) {
    for (int x = ox; x < ws; x += step) {
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(ws) + static_cast<size_t>(x);
      laplace[i] = detail[i];
    }
  }
}

}  // namespace

void RemapFloatPlaneLiteral(float* out, const float* in, int width, int height, int levels,
                            double threshold, double noise, double power, double slope) {
  const auto count = [&](int k) {
    return static_cast<size_t>(width >> k) * static_cast<size_t>(height >> k);
  };
  std::copy(in, in + count(0), out);
  std::vector<float*> gauss(static_cast<size_t>(levels) + 1);
  std::vector<Plane> gaussStore(static_cast<size_t>(levels) + 1), laplace, scratch, detail;
  gauss[0] = out;
  for (int k = 0; k <= levels; ++k) {
    if (k > 0) gaussStore[k].resize(count(k)), gauss[k] = gaussStore[k].data();
    laplace.emplace_back(count(k));
    scratch.emplace_back(count(k));
    detail.emplace_back(count(k));
  }
  for (int k = 0; k < levels; ++k) {
    const int w = width >> k, h = height >> k;
    ToneReduce(gauss[k + 1], gauss[k], w, h);
    ToneExpand(laplace[k].data(), w, h, gauss[k + 1], w / 2, h / 2);
    FloatPlaneSubtract(laplace[k].data(), gauss[k], laplace[k].data(), w, h);
  }
  const std::vector<float> table = BuildRemapTable(power);
  const RemapCurve curve = MakeRemapCurve(threshold, noise, slope, table.data());
  for (int s = 0; s < levels; ++s) {
    const RemapLevel g = RemapLevelGeometry(s);
    const int a = g.scratchLevel, ws = width >> s, hs = height >> s;
    for (int oy = 0; oy < g.step; ++oy) {
      for (int ox = 0; ox < g.step; ++ox) {
        std::copy(gauss[a], gauss[a] + count(a), scratch[a].begin());
        RemapBlocksParallel(scratch[a].data(), a, gauss[s], s, width, height, g.window, g.step, ox,
                            oy, curve);
        for (int k = a; k <= s; ++k)
          ToneReduce(scratch[k + 1].data(), scratch[k].data(), width >> k, height >> k);
        ToneExpand(detail[s].data(), ws, hs, scratch[s + 1].data(), ws / 2, hs / 2);
        FloatPlaneSubtract(detail[s].data(), scratch[s].data(), detail[s].data(), ws, hs);
        KeepGridCoefficients(laplace[s], detail[s], ws, hs, g.step, ox, oy);
      }
    }
  }
  for (int k = levels - 1; k >= 0; --k) {
    const int w = width >> k, h = height >> k;
    ToneExpand(gauss[k], w, h, gauss[k + 1], w / 2, h / 2);
    FloatPlaneAdd(gauss[k], gauss[k], laplace[k].data(), w, h);
  }
}
