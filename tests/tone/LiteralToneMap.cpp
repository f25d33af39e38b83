#include "LiteralToneMap.h"

#include <algorithm>
#include <vector>

#include "tone/ToneMap.h"
#include "tone/TonePyramid.h"
#include "tone/ToneRemap.h"

void RemapFloatPlaneLiteral(float* out, const float* in, int width, int height, int levels,
                            double threshold, double noise, double power, double slope) {
  const auto count = [&](int k) { return (width >> k) * (height >> k); };
  std::vector<std::vector<float>> gauss, laplace, scratch;
  for (int k = 0; k <= levels; ++k) {
    gauss.emplace_back(count(k)), laplace.emplace_back(count(k)), scratch.emplace_back(count(k));
  }
  std::copy(in, in + count(0), gauss[0].begin());
  for (int k = 0; k < levels; ++k) {
    const int w = width >> k, h = height >> k;
    ToneReduce(gauss[k + 1].data(), gauss[k].data(), w, h);
    ToneExpand(laplace[k].data(), w, h, gauss[k + 1].data(), w / 2, h / 2);
    FloatPlaneSubtract(laplace[k].data(), gauss[k].data(), laplace[k].data(), w, h);
  }
  const std::vector<float> table = BuildRemapTable(power);
  const RemapCurve curve = MakeRemapCurve(threshold, noise, slope, table.data());
  for (int s = 0; s < levels; ++s) {
    const RemapLevel g = RemapLevelGeometry(s);
    const int a = g.scratchLevel, ws = width >> s, hs = height >> s;
    std::vector<float> detail(count(s));
    for (int oy = 0; oy < g.step; ++oy)
      for (int ox = 0; ox < g.step; ++ox) {
        scratch[a] = gauss[a];
        RemapBlocksParallel(scratch[a].data(), a, gauss[s].data(), s, width, height, g.window,
                            g.step, ox, oy, curve);
        for (int k = a; k <= s; ++k)
          ToneReduce(scratch[k + 1].data(), scratch[k].data(), width >> k, height >> k);
        ToneExpand(detail.data(), ws, hs, scratch[s + 1].data(), ws / 2, hs / 2);
        FloatPlaneSubtract(detail.data(), scratch[s].data(), detail.data(), ws, hs);
        for (int y = oy; y < hs; y += g.step)  // the pass keeps its grid points' coefficients
          for (int x = ox; x < ws; x += g.step)
            laplace[s][y * ws + x] = detail[y * ws + x];
      }
  }
  for (int k = levels - 1; k >= 0; --k) {
    const int w = width >> k, h = height >> k;
    ToneExpand(gauss[k].data(), w, h, gauss[k + 1].data(), w / 2, h / 2);
    FloatPlaneAdd(gauss[k].data(), gauss[k].data(), laplace[k].data(), w, h);
  }
  std::copy(gauss[0].begin(), gauss[0].end(), out);
}
