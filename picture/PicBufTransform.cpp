// Resampling of 8-bit pictures through the view's coordinate map.
//
// The view repaints through these on every zoom and pan step, so they are
// built for speed. The map is axis-aligned: where a destination column reads
// in the source depends on the column alone, and likewise for rows. Source
// indices and weights are therefore worked out once per column and once per
// row, and the pixel loops only gather and blend. For the filtered kinds,
// zoomed in, each source row is resampled across once into a small cache of
// float rows that neighbouring destination rows share; zoomed out, the source
// rows are blended down first and the columns gathered from that one line.
//
// Footprint: pixel centres lie at integer coordinates, so a source point s is
// on the picture when -0.5 <= s < size - 0.5 (inside the square of some pixel).
// All three kinds cover exactly that footprint, so switching the interpolation
// never moves the picture's edges; between the outer pixel centres and the
// footprint's edge, bilinear and bicubic repeat the edge pixels.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "picture/CBxPicBufAPI.h"

namespace {

// The value of each kind is its number of taps per axis.
enum class Kernel { kNearest = 1, kBilinear = 2, kBicubic = 4 };

// For each destination index in [first, end): the source indices it reads
// (clamped into the picture, multiplied by `unit`) and their weights,
// `taps` of each per destination index.
struct AxisTaps {
  int first = 0;
  int end = 0;
  std::vector<int> index;
  std::vector<float> weight;

  int Count() const { return end - first; }
};

// Catmull-Rom weights of the four pixels around a point a fraction t past the
// second of them.
void CubicWeights(double t, float* w) {
  const double t2 = t * t, t3 = t2 * t;
  w[0] = static_cast<float>(0.5 * (-t3 + 2.0 * t2 - t));
  w[1] = static_cast<float>(0.5 * (3.0 * t3 - 5.0 * t2 + 2.0));
  w[2] = static_cast<float>(0.5 * (-3.0 * t3 + 4.0 * t2 + t));
  w[3] = static_cast<float>(0.5 * (t3 - t2));
}

// Taps of one source coordinate s, which lies on the footprint.
void KernelTaps(Kernel kernel, double s, int size, int* index, float* weight) {
  const auto clampIndex = [size](int i) { return std::clamp(i, 0, size - 1); };
  if (kernel == Kernel::kNearest) {
    index[0] = clampIndex(static_cast<int>(std::floor(s + 0.5)));
    weight[0] = 1.0f;
    return;
  }
  const double base = std::floor(s);
  const double t = s - base;
  const int i0 = static_cast<int>(base);
  if (kernel == Kernel::kBilinear) {
    index[0] = clampIndex(i0);
    index[1] = clampIndex(i0 + 1);
    weight[0] = static_cast<float>(1.0 - t);
    weight[1] = static_cast<float>(t);
  } else {
    for (int k = 0; k < 4; ++k)
      index[k] = clampIndex(i0 - 1 + k);
    CubicWeights(t, weight);
  }
}

// `sourceAt(d)` is the source coordinate of destination index d. An affine map
// is monotonic, so the indices on the footprint form one run.
template <typename SourceAt>
AxisTaps BuildAxis(Kernel kernel, int dstSize, int srcSize, int unit, SourceAt sourceAt) {
  const int taps = static_cast<int>(kernel);
  AxisTaps axis;
  axis.index.reserve(static_cast<size_t>(dstSize) * taps);
  axis.weight.reserve(static_cast<size_t>(dstSize) * taps);
  int index[4];
  float weight[4];
  for (int d = 0; d < dstSize; ++d) {
    const double s = sourceAt(d);
    if (!(s >= -0.5 && s < srcSize - 0.5)) {  // NaN too
      if (axis.Count() > 0) break;
      continue;
    }
    if (axis.Count() == 0) axis.first = d;
    axis.end = d + 1;
    KernelTaps(kernel, s, srcSize, index, weight);
    for (int k = 0; k < taps; ++k) {
      axis.index.push_back(index[k] * unit);
      axis.weight.push_back(weight[k]);
    }
  }
  return axis;
}

// Rounds to nearest within 0..255; the half is added before clamping because
// that form compiles to vector code.
inline uint8_t RoundToByte(float v) {
  v += 0.5f;
  v = v > 0.5f ? v : 0.5f;
  v = v < 255.5f ? v : 255.5f;
  return static_cast<uint8_t>(static_cast<int>(v));
}

template <int N>
void ResampleNearest(const SBxPicBuf& dst, const SBxPicBuf& src, const AxisTaps& cols,
                     const AxisTaps& rows) {
  const size_t count = static_cast<size_t>(cols.Count());
  const int* offset = cols.index.data();
  const uint8_t* previousSource = nullptr;
  const uint8_t* previous = nullptr;
  for (int r = 0; r < rows.Count(); ++r) {
    uint8_t* d = RowPtr(dst, rows.first + r) + cols.first * N;
    const uint8_t* s = RowPtr(src, rows.index[r]);
    if (s == previousSource) {  // zoomed in: the row above shows the same source row
      std::memcpy(d, previous, count * N);
    } else {
      for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < N; ++c)
          d[i * N + c] = s[offset[i] + c];
      }
      previousSource = s;
    }
    previous = d;
  }
}

template <typename Out>
inline Out Finish(float v) {
  if constexpr (std::is_same_v<Out, uint8_t>) {
    return RoundToByte(v);
  } else {
    return v;
  }
}

// Resamples one row across: output pixel i is the weighted sum of the T
// pixels at offset[i * T + k] in `in`.
template <int N, int T, typename In, typename Out>
void GatherColumns(Out* __restrict out, const In* __restrict in, const int* offset,
                   const float* weight, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    float sum[N] = {};
    for (int k = 0; k < T; ++k) {
      const In* p = in + offset[i * T + k];
      for (int c = 0; c < N; ++c)
        sum[c] += weight[i * T + k] * static_cast<float>(p[c]);
    }
    for (int c = 0; c < N; ++c)
      out[i * N + c] = Finish<Out>(sum[c]);
  }
}

// Blends T rows sample by sample: contiguous, so it runs as vector code.
template <int T, typename In, typename Out>
void BlendRows(Out* __restrict out, const In* const* rows, const float* weight, size_t count) {
  const In* r[T];
  float w[T];
  for (int k = 0; k < T; ++k)
    r[k] = rows[k], w[k] = weight[k];
  for (size_t i = 0; i < count; ++i) {
    float sum = 0.0f;
    for (int k = 0; k < T; ++k)
      sum += w[k] * static_cast<float>(r[k][i]);
    out[i] = Finish<Out>(sum);
  }
}

// Source rows resampled across, T of them kept, keyed by source row.
template <int N, int T>
class RowCache {
 public:
  RowCache(const SBxPicBuf& src, const AxisTaps& cols)
      : src_(src), cols_(cols), count_(static_cast<size_t>(cols.Count())) {
    for (int k = 0; k < T; ++k) {
      rows_[k].resize(count_ * N);
      keys_[k] = -1;
    }
  }

  // Points rows[k] at resampled source row index[k], for the T indices.
  void Fetch(const int* index, const float** rows) {
    for (int k = 0; k < T; ++k) {
      int slot = Find(index[k]);
      if (slot < 0) {
        slot = UnneededSlot(index);
        GatherColumns<N, T>(rows_[slot].data(), RowPtr(src_, index[k]), cols_.index.data(),
                            cols_.weight.data(), count_);
        keys_[slot] = index[k];
      }
      rows[k] = rows_[slot].data();
    }
  }

 private:
  int Find(int key) const {
    for (int k = 0; k < T; ++k) {
      if (keys_[k] == key) return k;
    }
    return -1;
  }

  // A slot holding none of the rows wanted now; one exists since T rows are
  // wanted and T slots kept.
  int UnneededSlot(const int* wanted) const {
    for (int k = 0; k < T; ++k) {
      if (std::find(wanted, wanted + T, keys_[k]) == wanted + T) return k;
    }
    return 0;
  }

  const SBxPicBuf& src_;
  const AxisTaps& cols_;
  size_t count_;
  std::vector<float> rows_[T];
  int keys_[T];
};

// Zoomed in (or 1:1), neighbouring destination rows share source rows: resample
// each source row across once, then blend the cached rows down.
template <int N, int T>
void ResampleAcrossFirst(const SBxPicBuf& dst, const SBxPicBuf& src, const AxisTaps& cols,
                         const AxisTaps& rows) {
  RowCache<N, T> cache(src, cols);
  const size_t samples = static_cast<size_t>(cols.Count()) * N;
  const float* lines[T];
  for (int r = 0; r < rows.Count(); ++r) {
    cache.Fetch(&rows.index[static_cast<size_t>(r) * T], lines);
    BlendRows<T>(RowPtr(dst, rows.first + r) + cols.first * N, lines,
                 &rows.weight[static_cast<size_t>(r) * T], samples);
  }
}

// Zoomed out, hardly any source row serves two destination rows: blend the T
// source rows down first over the span of columns read (vector code), then
// gather the columns from that one line.
template <int N, int T>
void ResampleDownFirst(const SBxPicBuf& dst, const SBxPicBuf& src, const AxisTaps& cols,
                       const AxisTaps& rows) {
  const auto [lowest, highest] = std::minmax_element(cols.index.begin(), cols.index.end());
  const int first = *lowest;
  const size_t span = static_cast<size_t>(*highest + N - first);
  std::vector<int> offset(cols.index.size());
  for (size_t i = 0; i < offset.size(); ++i)
    offset[i] = cols.index[i] - first;
  std::vector<float> line(span);
  const uint8_t* sourceRows[T];
  for (int r = 0; r < rows.Count(); ++r) {
    for (int k = 0; k < T; ++k)
      sourceRows[k] = RowPtr(src, rows.index[static_cast<size_t>(r) * T + k]) + first;
    BlendRows<T>(line.data(), sourceRows, &rows.weight[static_cast<size_t>(r) * T], span);
    GatherColumns<N, T>(RowPtr(dst, rows.first + r) + cols.first * N, line.data(), offset.data(),
                        cols.weight.data(), static_cast<size_t>(cols.Count()));
  }
}

template <int N, int T>
void ResampleFiltered(const SBxPicBuf& dst, const SBxPicBuf& src, const AxisTaps& cols,
                      const AxisTaps& rows, bool zoomedOut) {
  if (zoomedOut) {
    ResampleDownFirst<N, T>(dst, src, cols, rows);
  } else {
    ResampleAcrossFirst<N, T>(dst, src, cols, rows);
  }
}

template <int N>
void Resample(const SBxPicBuf& dst, const SBxPicBuf& src, const AxisTaps& cols,
              const AxisTaps& rows, Kernel kernel, bool zoomedOut) {
  switch (kernel) {
    case Kernel::kNearest:
      ResampleNearest<N>(dst, src, cols, rows);
      break;
    case Kernel::kBilinear:
      ResampleFiltered<N, 2>(dst, src, cols, rows, zoomedOut);
      break;
    case Kernel::kBicubic:
      ResampleFiltered<N, 4>(dst, src, cols, rows, zoomedOut);
      break;
  }
}

void Transform(SBxPicBuf* dst, const SBxPicBuf* src, const CBxPicMap& map, Kernel kernel) {
  if (!dst || !src || !dst->pixels || !src->pixels || dst->bitsPerComponent != 8 ||
      src->bitsPerComponent != 8 || dst->components != src->components ||
      (src->components != 1 && src->components != 3))
    return;
  ScopedPicBuf copy;
  if (dst->pixels == src->pixels) {  // sampling the picture being written: read a copy
    CBxPicBufAPI::ReinitHeap(copy.get(), src);
    if (IsEmpty(*copy)) return;
    CBxPicBufAPI::Copy(copy.get(), src);
    src = copy.get();
  }
  const int n = static_cast<int>(src->components);
  const AxisTaps cols = BuildAxis(kernel, dst->width, src->width, n, [&map](int d) {
    double sx = 0.0, sy = 0.0;
    map.MapPointDstToSrc(&sx, &sy, d, 0);
    return sx;
  });
  const AxisTaps rows = BuildAxis(kernel, dst->height, src->height, 1, [&map](int d) {
    double sx = 0.0, sy = 0.0;
    map.MapPointDstToSrc(&sx, &sy, 0, d);
    return sy;
  });
  if (cols.Count() == 0 || rows.Count() == 0) return;
  const bool zoomedOut = std::fabs(map.Scale()) < 1.0;
  if (n == 1) {
    Resample<1>(*dst, *src, cols, rows, kernel, zoomedOut);
  } else {
    Resample<3>(*dst, *src, cols, rows, kernel, zoomedOut);
  }
}

}  // namespace

void CBxPicBufAPI::TransformConstantFast(SBxPicBuf* dst, const SBxPicBuf* src,
                                         const CBxPicMap& map) {
  Transform(dst, src, map, Kernel::kNearest);
}

void CBxPicBufAPI::TransformBilinearFast(SBxPicBuf* dst, const SBxPicBuf* src,
                                         const CBxPicMap& map) {
  Transform(dst, src, map, Kernel::kBilinear);
}

void CBxPicBufAPI::TransformBicubicFast(SBxPicBuf* dst, const SBxPicBuf* src,
                                        const CBxPicMap& map) {
  Transform(dst, src, map, Kernel::kBicubic);
}
