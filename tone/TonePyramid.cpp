// The tone mapper's reduce and expand. Each output is computed by one of the
// small tap functions below, applied first down the columns, then along the row,
// so that the interior loops run over contiguous floats and vectorise; the few
// outputs whose taps cross a border go through the mirrored-index path.
#include "tone/TonePyramid.h"
#include "picture/VectorClones.h"

#include <algorithm>
#include <vector>

namespace {

constexpr float kReduceScale = 1.0f / 256.0f;
constexpr float kExpandScale = 1.0f / 64.0f;

[[gnu::always_inline]] inline float Taps5(float m2, float m1, float c, float p1, float p2) {
  return ((m2 + p2) + (m1 + p1) * 4.0f) + c * 6.0f;
}
// A grid sample and its two grid neighbours (the odd taps fall on zeros).
[[gnu::always_inline]] inline float Taps3(float m1, float c, float p1) {
  return (m1 + p1) + c * 6.0f;
}
// Between two grid samples.
[[gnu::always_inline]] inline float Taps2(float c, float p1) {
  return (c + p1) * 4.0f;
}

// The passes below are inlined into each build of ReduceArea and ExpandArea.

// The vertical pass of reduce for one destination row: count columns from cl.
[[gnu::always_inline]] inline void ReduceColumns(float* __restrict temp, const LevelArea& src,
                                                 int cl, int count, int y, int srcHeight) {
  const float* r0 = src.At(cl, Reflect101(2 * y - 2, srcHeight));
  const float* r1 = src.At(cl, Reflect101(2 * y - 1, srcHeight));
  const float* r2 = src.At(cl, Reflect101(2 * y, srcHeight));
  const float* r3 = src.At(cl, Reflect101(2 * y + 1, srcHeight));
  const float* r4 = src.At(cl, Reflect101(2 * y + 2, srcHeight));
  for (int i = 0; i < count; ++i)
    temp[i] = Taps5(r0[i], r1[i], r2[i], r3[i], r4[i]);
}

// The horizontal pass of reduce: temp holds columns from cl of a srcWidth line.
[[gnu::always_inline]] inline void ReduceRow(float* __restrict out, int x0, int x1,
                                             const float* __restrict temp, int cl, int srcWidth) {
  auto tap = [&](int c) { return temp[Reflect101(c, srcWidth) - cl]; };
  auto mirrored = [&](int x) {
    return Taps5(tap(2 * x - 2), tap(2 * x - 1), tap(2 * x), tap(2 * x + 1), tap(2 * x + 2)) *
           kReduceScale;
  };
  // Interior outputs read 2x - 2 .. 2x + 2 without crossing a border.
  const int xa = std::min(std::max(x0, 1), x1);
  const int xb = std::max(std::min(x1, (srcWidth - 1) / 2), xa);
  for (int x = x0; x < xa; ++x)
    out[x - x0] = mirrored(x);
  const float* t = temp + (2 * xa - cl);
  float* o = out + (xa - x0);
  const int count = xb - xa;
  for (int i = 0; i < count; ++i) {
    const float* p = t + 2 * i;
    o[i] = Taps5(p[-2], p[-1], p[0], p[1], p[2]) * kReduceScale;
  }
  for (int x = xb; x < x1; ++x)
    out[x - x0] = mirrored(x);
}

// The vertical pass of expand for destination row y: source columns jl .. jl+count-1.
[[gnu::always_inline]] inline void ExpandColumns(float* __restrict temp, const LevelArea& src,
                                                 int jl, int count, int y, int dstHeight) {
  if (y % 2 == 0) {
    const float* above = src.At(jl, Reflect101(y - 2, dstHeight) / 2);
    const float* centre = src.At(jl, y / 2);
    const float* below = src.At(jl, Reflect101(y + 2, dstHeight) / 2);
    for (int i = 0; i < count; ++i)
      temp[i] = Taps3(above[i], centre[i], below[i]);
  } else {
    const float* centre = src.At(jl, y / 2);
    const float* below = src.At(jl, Reflect101(y + 1, dstHeight) / 2);
    for (int i = 0; i < count; ++i)
      temp[i] = Taps2(centre[i], below[i]);
  }
}

// The horizontal pass of expand: temp holds source columns from jl.
[[gnu::always_inline]] inline void ExpandRow(float* __restrict out, int x0, int x1,
                                             const float* __restrict temp, int jl, int dstWidth) {
  auto tap = [&](int p) { return temp[Reflect101(p, dstWidth) / 2 - jl]; };
  auto mirrored = [&](int x) {
    const float v =
        x % 2 == 0 ? Taps3(tap(x - 2), tap(x), tap(x + 2)) : Taps2(tap(x - 1), tap(x + 1));
    return v * kExpandScale;
  };
  // Interior pairs (2j, 2j + 1) read source j - 1 .. j + 1 without crossing a border.
  const int ja = std::max((x0 + 1) / 2, 1);
  const int jb = std::min(x1 / 2, (dstWidth - 1) / 2);
  if (ja >= jb) {
    for (int x = x0; x < x1; ++x)
      out[x - x0] = mirrored(x);
    return;
  }
  for (int x = x0; x < 2 * ja; ++x)
    out[x - x0] = mirrored(x);
  const float* t = temp + (ja - jl);
  float* o = out + (2 * ja - x0);
  const int count = jb - ja;
  for (int i = 0; i < count; ++i) {
    o[2 * i] = Taps3(t[i - 1], t[i], t[i + 1]) * kExpandScale;
    o[2 * i + 1] = Taps2(t[i], t[i + 1]) * kExpandScale;
  }
  for (int x = 2 * jb; x < x1; ++x)
    out[x - x0] = mirrored(x);
}

}  // namespace

// Built for AVX2 and for the baseline: the same operations in the same order on
// wider vectors, so the same values.
MELVARO_VECTOR_CLONES void ReduceArea(const LevelArea& dst, int x0, int y0, int x1, int y1,
                                      const LevelArea& src, int srcWidth, int srcHeight,
                                      float* temp) {
  if (x0 >= x1 || y0 >= y1) return;
  const int cl = std::max(0, 2 * x0 - 2);
  const int cr = std::min(srcWidth, 2 * x1 + 1);
  for (int y = y0; y < y1; ++y) {
    ReduceColumns(temp, src, cl, cr - cl, y, srcHeight);
    ReduceRow(dst.At(x0, y), x0, x1, temp, cl, srcWidth);
  }
}

MELVARO_VECTOR_CLONES void ExpandArea(const LevelArea& dst, int x0, int y0, int x1, int y1,
                                      const LevelArea& src, int dstWidth, int dstHeight,
                                      float* temp) {
  if (x0 >= x1 || y0 >= y1) return;
  const int jl = (std::max(x0 - 2, 0) + 1) / 2;
  const int jr = std::min(x1 + 1, dstWidth - 1) / 2 + 1;
  for (int y = y0; y < y1; ++y) {
    ExpandColumns(temp, src, jl, jr - jl, y, dstHeight);
    ExpandRow(dst.At(x0, y), x0, x1, temp, jl, dstWidth);
  }
}

void ToneReduce(float* dst, const float* src, int srcWidth, int srcHeight) {
  const int dstWidth = (srcWidth + 1) / 2, dstHeight = (srcHeight + 1) / 2;
  std::vector<float> temp(static_cast<size_t>(2 * dstWidth + 3));
  const LevelArea s{const_cast<float*>(src), srcWidth, 0, 0};
  const LevelArea d{dst, dstWidth, 0, 0};
  ReduceArea(d, 0, 0, dstWidth, dstHeight, s, srcWidth, srcHeight, temp.data());
}

void ToneExpand(float* dst, int dstWidth, int dstHeight, const float* src, int srcWidth,
                int /*srcHeight*/) {
  std::vector<float> temp(static_cast<size_t>(dstWidth / 2 + 3));
  const LevelArea s{const_cast<float*>(src), srcWidth, 0, 0};
  const LevelArea d{dst, dstWidth, 0, 0};
  ExpandArea(d, 0, 0, dstWidth, dstHeight, s, dstWidth, dstHeight, temp.data());
}
