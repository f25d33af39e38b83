// The tone mapper's reduce and expand. Each output is computed by one of the
// small tap functions below, applied first down the columns, then along the row,
// so that the interior loops run over contiguous floats and vectorise; the few
// outputs whose taps cross a border go through the mirrored-index path.
#include "tone/TonePyramid.h"
#include "picture/VectorClones.h"

#include <algorithm>
#include <memory>
#include <vector>

// The tap helpers below return lane vectors by value but are always inlined into
// each build: no call ever passes a vector between the AVX2 and the baseline
// builds, which is what GCC's warning on their differing conventions is about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr float kReduceScale = 1.0f / 256.0f;
constexpr float kExpandScale = 1.0f / 64.0f;

template <class T>
[[gnu::always_inline]] inline T Taps5(const T& m2, const T& m1, const T& c, const T& p1,
                                      const T& p2) {
  return ((m2 + p2) + (m1 + p1) * 4.0f) + c * 6.0f;
}
// A grid sample and its two grid neighbours (the odd taps fall on zeros).
template <class T>
[[gnu::always_inline]] inline T Taps3(const T& m1, const T& c, const T& p1) {
  return (m1 + p1) + c * 6.0f;
}
// Between two grid samples.
template <class T>
[[gnu::always_inline]] inline T Taps2(const T& c, const T& p1) {
  return (c + p1) * 4.0f;
}

// The passes below are inlined into each build of ReduceArea and ExpandArea.

// The source rows a vertical pass reads, element i of row k being rows(k, i):
// rows 2y - 2 .. 2y + 2 of destination row y, 2y .. 2y + 4 of row y + 1 and so on
// (mirrored at the borders).
template <class T>
struct PlainRows {
  const T* row[2 * kReduceRowsAtOnce + 3];
  PlainRows(const PyramidArea<T>& src, int cl, int y, int outputs, int srcHeight) {
    for (int k = 0; k < 2 * outputs + 3; ++k)
      row[k] = src.At(cl, Reflect101(2 * y - 2 + k, srcHeight));
  }
  const T& operator()(int k, int i) const { return row[k][i]; }
};
struct LookedUpRows {
  const uint16_t* row[2 * kReduceRowsAtOnce + 3];
  const FloatLanes* table;
  int offset;
  LookedUpRows(const LookedUpArea& src, int cl, int y, int outputs, int srcHeight)
      : table(src.table), offset(src.offset) {
    for (int k = 0; k < 2 * outputs + 3; ++k)
      row[k] = src.index + (Reflect101(2 * y - 2 + k, srcHeight) - src.top) * src.stride +
               (cl - src.left);
  }
  const FloatLanes& operator()(int k, int i) const { return table[row[k][i] - offset]; }
};
template <class Source>
struct RowsOf;
template <class T>
struct RowsOf<PyramidArea<T>> {
  using Type = PlainRows<T>;
};
template <>
struct RowsOf<LookedUpArea> {
  using Type = LookedUpRows;
};

// The vertical pass of reduce for destination rows y .. y + Outputs - 1, each
// into temp + its number times pitch: count columns from cl. The rows are read
// once each, not once per destination row that needs them.
template <int Outputs, class T, class Rows>
[[gnu::always_inline]] inline void ReduceColumns(T* __restrict temp, size_t pitch, const Rows& rows,
                                                 int count) {
  for (int i = 0; i < count; ++i) {
    T r[2 * Outputs + 3];
    for (int k = 0; k < 2 * Outputs + 3; ++k)
      r[k] = rows(k, i);
    for (int o = 0; o < Outputs; ++o)
      temp[o * pitch + i] = Taps5(r[2 * o], r[2 * o + 1], r[2 * o + 2], r[2 * o + 3], r[2 * o + 4]);
  }
}

// The horizontal pass of reduce: temp holds columns from cl of a srcWidth line.
template <class T>
[[gnu::always_inline]] inline void ReduceRow(T* __restrict out, int x0, int x1,
                                             const T* __restrict temp, int cl, int srcWidth) {
  auto tap = [&](int c) -> const T& { return temp[Reflect101(c, srcWidth) - cl]; };
  auto mirrored = [&](int x) {
    out[x - x0] =
        Taps5(tap(2 * x - 2), tap(2 * x - 1), tap(2 * x), tap(2 * x + 1), tap(2 * x + 2)) *
        kReduceScale;
  };
  // Interior outputs read 2x - 2 .. 2x + 2 without crossing a border.
  const int xa = std::min(std::max(x0, 1), x1);
  const int xb = std::max(std::min(x1, (srcWidth - 1) / 2), xa);
  for (int x = x0; x < xa; ++x)
    mirrored(x);
  const T* t = temp + (2 * xa - cl);
  T* o = out + (xa - x0);
  const int count = xb - xa;
  for (int i = 0; i < count; ++i) {
    const T* p = t + 2 * i;
    o[i] = Taps5(p[-2], p[-1], p[0], p[1], p[2]) * kReduceScale;
  }
  for (int x = xb; x < x1; ++x)
    mirrored(x);
}

// The vertical pass of expand for destination row y: source columns jl .. jl+count-1.
template <class T>
[[gnu::always_inline]] inline void ExpandColumns(T* __restrict temp, const PyramidArea<T>& src,
                                                 int jl, int count, int y, int dstHeight) {
  if (y % 2 == 0) {
    const T* above = src.At(jl, Reflect101(y - 2, dstHeight) / 2);
    const T* centre = src.At(jl, y / 2);
    const T* below = src.At(jl, Reflect101(y + 2, dstHeight) / 2);
    for (int i = 0; i < count; ++i)
      temp[i] = Taps3(above[i], centre[i], below[i]);
  } else {
    const T* centre = src.At(jl, y / 2);
    const T* below = src.At(jl, Reflect101(y + 1, dstHeight) / 2);
    for (int i = 0; i < count; ++i)
      temp[i] = Taps2(centre[i], below[i]);
  }
}

// The horizontal pass of expand: temp holds source columns from jl.
template <class T>
[[gnu::always_inline]] inline void ExpandRow(T* __restrict out, int x0, int x1,
                                             const T* __restrict temp, int jl, int dstWidth) {
  auto tap = [&](int p) -> const T& { return temp[Reflect101(p, dstWidth) / 2 - jl]; };
  auto mirrored = [&](int x) {
    out[x - x0] =
        (x % 2 == 0 ? Taps3(tap(x - 2), tap(x), tap(x + 2)) : Taps2(tap(x - 1), tap(x + 1))) *
        kExpandScale;
  };
  // Interior pairs (2j, 2j + 1) read source j - 1 .. j + 1 without crossing a border.
  const int ja = std::max((x0 + 1) / 2, 1);
  const int jb = std::min(x1 / 2, (dstWidth - 1) / 2);
  if (ja >= jb) {
    for (int x = x0; x < x1; ++x)
      mirrored(x);
    return;
  }
  for (int x = x0; x < 2 * ja; ++x)
    mirrored(x);
  const T* t = temp + (ja - jl);
  T* o = out + (2 * ja - x0);
  const int count = jb - ja;
  for (int i = 0; i < count; ++i) {
    o[2 * i] = Taps3(t[i - 1], t[i], t[i + 1]) * kExpandScale;
    o[2 * i + 1] = Taps2(t[i], t[i + 1]) * kExpandScale;
  }
  for (int x = 2 * jb; x < x1; ++x)
    mirrored(x);
}

template <class T, class Source>
[[gnu::always_inline]] inline void ReduceAreaOf(const PyramidArea<T>& dst, int x0, int y0, int x1,
                                                int y1, const Source& src, int srcWidth,
                                                int srcHeight, T* temp) {
  if (x0 >= x1 || y0 >= y1) return;
  using Rows = typename RowsOf<Source>::Type;
  const int cl = std::max(0, 2 * x0 - 2);
  const int cr = std::min(srcWidth, 2 * x1 + 1);
  const int count = cr - cl;
  const size_t pitch = static_cast<size_t>(count);
  int y = y0;
  for (; y + kReduceRowsAtOnce <= y1; y += kReduceRowsAtOnce) {
    ReduceColumns<kReduceRowsAtOnce>(temp, pitch, Rows(src, cl, y, kReduceRowsAtOnce, srcHeight),
                                     count);
    for (int o = 0; o < kReduceRowsAtOnce; ++o)
      ReduceRow(dst.At(x0, y + o), x0, x1, temp + o * pitch, cl, srcWidth);
  }
  for (; y < y1; ++y) {
    ReduceColumns<1>(temp, pitch, Rows(src, cl, y, 1, srcHeight), count);
    ReduceRow(dst.At(x0, y), x0, x1, temp, cl, srcWidth);
  }
}

template <class T>
[[gnu::always_inline]] inline void ExpandAreaOf(const PyramidArea<T>& dst, int x0, int y0, int x1,
                                                int y1, const PyramidArea<T>& src, int dstWidth,
                                                int dstHeight, T* temp) {
  if (x0 >= x1 || y0 >= y1) return;
  const int jl = (std::max(x0 - 2, 0) + 1) / 2;
  const int jr = std::min(x1 + 1, dstWidth - 1) / 2 + 1;
  for (int y = y0; y < y1; ++y) {
    ExpandColumns(temp, src, jl, jr - jl, y, dstHeight);
    ExpandRow(dst.At(x0, y), x0, x1, temp, jl, dstWidth);
  }
}

}  // namespace

// Built for AVX2 and for the baseline: the same operations in the same order on
// wider vectors, so the same values.
MELVARO_VECTOR_CLONES void ReduceArea(const LevelArea& dst, int x0, int y0, int x1, int y1,
                                      const LevelArea& src, int srcWidth, int srcHeight,
                                      float* temp) {
  ReduceAreaOf(dst, x0, y0, x1, y1, src, srcWidth, srcHeight, temp);
}

MELVARO_VECTOR_CLONES void ReduceArea(const LaneArea& dst, int x0, int y0, int x1, int y1,
                                      const LaneArea& src, int srcWidth, int srcHeight,
                                      FloatLanes* temp) {
  ReduceAreaOf(dst, x0, y0, x1, y1, src, srcWidth, srcHeight, temp);
}

MELVARO_VECTOR_CLONES void ReduceArea(const LaneArea& dst, int x0, int y0, int x1, int y1,
                                      const LookedUpArea& src, int srcWidth, int srcHeight,
                                      FloatLanes* temp) {
  ReduceAreaOf(dst, x0, y0, x1, y1, src, srcWidth, srcHeight, temp);
}

MELVARO_VECTOR_CLONES void ExpandArea(const LevelArea& dst, int x0, int y0, int x1, int y1,
                                      const LevelArea& src, int dstWidth, int dstHeight,
                                      float* temp) {
  ExpandAreaOf(dst, x0, y0, x1, y1, src, dstWidth, dstHeight, temp);
}

MELVARO_VECTOR_CLONES void ExpandArea(const LaneArea& dst, int x0, int y0, int x1, int y1,
                                      const LaneArea& src, int dstWidth, int dstHeight,
                                      FloatLanes* temp) {
  ExpandAreaOf(dst, x0, y0, x1, y1, src, dstWidth, dstHeight, temp);
}

void LaneStore::Resize(size_t count) {
  store_.resize((count + 1) * kFloatLanes);  // one more to align the start
  void* start = store_.data();
  size_t room = store_.size() * sizeof(float);
  lanes_ = static_cast<FloatLanes*>(
      std::align(sizeof(FloatLanes), count * sizeof(FloatLanes), start, room));
}

void ToneReduce(float* dst, const float* src, int srcWidth, int srcHeight) {
  const int dstWidth = (srcWidth + 1) / 2, dstHeight = (srcHeight + 1) / 2;
  std::vector<float> temp(static_cast<size_t>(kReduceRowsAtOnce * (2 * dstWidth + 3)));
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
