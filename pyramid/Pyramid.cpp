#include "pyramid/Pyramid.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "picture/VectorClones.h"

namespace {

constexpr uint32_t kTaps = 5;

// First source row/column of the window of reduced pixel i: centred on 2i,
// starting at 0 for the first two, shifted back inside at the far edge.
MELVARO_INLINE uint32_t ReduceWindowStart(uint32_t i, uint32_t srcSize) {
  uint32_t start = i < 2 ? 0 : 2 * i - 2;
  if (start + kTaps > srcSize) start = srcSize - kTaps;
  return start;
}

// Origin of the window of expanded pixel i on the doubled grid.
MELVARO_INLINE uint32_t ExpandWindowStart(uint32_t i, uint32_t dstSize) {
  uint32_t start = i <= 2 ? 0 : i - 2;
  if (start + kTaps > dstSize) start = dstSize - kTaps;
  return start;
}

// One kernel row of a reduced pixel, in tap order.
MELVARO_INLINE float ReduceTapRow(float acc, const float* s, const float* k) {
  for (uint32_t c = 0; c < kTaps; ++c)
    acc += k[c] * s[c];
  return acc;
}

// One kernel row of an expanded pixel with its own (shifted) window: only the
// even positions of the doubled grid carry source samples.
MELVARO_INLINE float ExpandTapRow(float acc, const float* s, const float* k, uint32_t x,
                                  uint32_t dstWidth, uint32_t srcWidth) {
  const uint32_t wx = ExpandWindowStart(x, dstWidth);
  const uint32_t c1 = std::min(wx + kTaps, 2 * srcWidth);
  for (uint32_t c = wx + (wx & 1u); c < c1; c += 2)
    acc += s[c / 2] * k[c - wx];
  return acc;
}

// The interior taps of one kernel row: reduced pixel x reads source samples
// 2x - 2 .. 2x + 2, that is even[x - 1], odd[x - 1], even[x], odd[x] and
// even[x + 1] of the row split into its even and odd samples, which the
// compiler reads as whole vectors.
MELVARO_INLINE void ReduceInterior(float* __restrict d, const float* __restrict even,
                                   const float* __restrict odd, const float* k, uint32_t begin,
                                   uint32_t end) {
  const float k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3], k4 = k[4];
  for (uint32_t x = begin; x < end; ++x) {
    float a = d[x];
    a += k0 * even[x - 1];
    a += k1 * odd[x - 1];
    a += k2 * even[x];
    a += k3 * odd[x];
    a += k4 * even[x + 1];
    d[x] = a;
  }
}

MELVARO_INLINE void SplitEvenOdd(float* __restrict even, float* __restrict odd,
                                 const float* __restrict s, uint32_t width) {
  const uint32_t pairs = width / 2;
  for (uint32_t i = 0; i < pairs; ++i) {
    even[i] = s[2 * i];
    odd[i] = s[2 * i + 1];
  }
  if (width & 1u) even[pairs] = s[width - 1];
}

// Reduced rows [y0, y1) of dst from the source rows held at src, whose first
// is source row srcFirst. Each source row is split into its even and odd
// samples once for all the reduced rows whose windows read it.
MELVARO_VECTOR_CLONES void ReduceRows(float* dst, const float* src, uint32_t srcFirst,
                                      uint32_t dstWidth, uint32_t srcWidth, uint32_t srcHeight,
                                      const float* kernel, uint32_t y0, uint32_t y1) {
  // Columns whose window needs no shifting: sx = 2x - 2 with sx + 5 <= srcWidth.
  const uint32_t interiorEnd = std::min(dstWidth, (srcWidth - 3) / 2 + 1);
  const uint32_t interiorBegin = std::min(1u, interiorEnd);
  const uint32_t first = ReduceWindowStart(y0, srcHeight);
  const uint32_t end = ReduceWindowStart(y1 - 1, srcHeight) + kTaps;
  const size_t half = srcWidth / 2 + 1;
  thread_local std::vector<float> split;
  if (split.size() < 2 * half * (end - first)) split.resize(2 * half * (end - first));
  for (uint32_t r = first; r < end; ++r) {
    float* even = split.data() + 2 * half * (r - first);
    SplitEvenOdd(even, even + half, src + static_cast<size_t>(r - srcFirst) * srcWidth, srcWidth);
  }
  for (uint32_t y = y0; y < y1; ++y) {
    float* d = dst + static_cast<size_t>(y) * dstWidth;
    const uint32_t sy = ReduceWindowStart(y, srcHeight);
    for (uint32_t x = 0; x < dstWidth; ++x)
      d[x] = 0.0f;
    // Accumulating kernel row by kernel row keeps each pixel's order of
    // additions (rows outer, columns inner) while the column loop vectorises.
    for (uint32_t r = 0; r < kTaps; ++r) {
      const float* s = src + static_cast<size_t>(sy + r - srcFirst) * srcWidth;
      const float* even = split.data() + 2 * half * (sy + r - first);
      const float* k = kernel + r * kTaps;
      for (uint32_t x = 0; x < interiorBegin; ++x)
        d[x] = ReduceTapRow(d[x], s + ReduceWindowStart(x, srcWidth), k);
      ReduceInterior(d, even, even + half, k, interiorBegin, interiorEnd);
      for (uint32_t x = interiorEnd; x < dstWidth; ++x)
        d[x] = ReduceTapRow(d[x], s + ReduceWindowStart(x, srcWidth), k);
    }
  }
}

MELVARO_VECTOR_CLONES void ExpandRow(float* d, const float* src, uint32_t dstWidth,
                                     uint32_t srcWidth, uint32_t dstHeight, uint32_t srcHeight,
                                     uint32_t y, const float* kernel) {
  const uint32_t wy = ExpandWindowStart(y, dstHeight);
  const uint32_t r1 = std::min(wy + kTaps, 2 * srcHeight);
  // Columns whose window is unshifted (wx = x - 2) and wholly inside the
  // doubled source: an even x takes taps 0, 2, 4, an odd x taps 1, 3.
  const uint32_t limit = std::min(dstWidth, 2 * srcWidth);
  const uint32_t interiorEnd = limit >= 3 ? limit - 2 : 0;
  const uint32_t interiorBegin = std::min(2u, interiorEnd);
  // The interior is summed in pairs from an even column on: even columns
  // x = 2m read source samples m - 1, m, m + 1, odd columns x = 2m + 1 read m
  // and m + 1. Their sums are kept apart, in two arrays the compiler reads and
  // writes as whole vectors, and interleaved once at the end.
  const uint32_t pairStart = interiorBegin + (interiorBegin & 1u);
  const uint32_t pairs = pairStart < interiorEnd ? (interiorEnd - pairStart) / 2 : 0;
  const uint32_t pairEnd = pairStart + 2 * pairs;
  thread_local std::vector<float> sums;
  if (sums.size() < 2 * size_t{pairs}) sums.resize(2 * size_t{pairs});
  float* __restrict evenSum = sums.data();
  float* __restrict oddSum = evenSum + pairs;
  for (uint32_t i = 0; i < pairs; ++i) {
    evenSum[i] = 0.0f;
    oddSum[i] = 0.0f;
  }
  for (uint32_t x = 0; x < pairStart; ++x)
    d[x] = 0.0f;
  for (uint32_t x = pairEnd; x < dstWidth; ++x)
    d[x] = 0.0f;
  for (uint32_t r = wy + (wy & 1u); r < r1; r += 2) {
    const float* s = src + static_cast<size_t>(r / 2) * srcWidth;
    const float* k = kernel + (r - wy) * kTaps;
    const float k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3], k4 = k[4];
    for (uint32_t x = 0; x < pairStart; ++x)
      d[x] = ExpandTapRow(d[x], s, k, x, dstWidth, srcWidth);
    const float* sm = s + pairStart / 2;
    const float* sPrev = sm - 1;  // pairStart >= 2 whenever there are pairs
    const float* sNext = sm + 1;
    for (uint32_t i = 0; i < pairs; ++i) {
      float a = evenSum[i];
      a += sPrev[i] * k0;
      a += sm[i] * k2;
      a += sNext[i] * k4;
      evenSum[i] = a;
    }
    for (uint32_t i = 0; i < pairs; ++i) {
      float a = oddSum[i];
      a += sm[i] * k1;
      a += sNext[i] * k3;
      oddSum[i] = a;
    }
    for (uint32_t x = pairEnd; x < dstWidth; ++x)
      d[x] = ExpandTapRow(d[x], s, k, x, dstWidth, srcWidth);
  }
  for (uint32_t x = 0; x < pairStart; ++x)
    d[x] *= 4.0f;
  for (uint32_t i = 0; i < pairs; ++i) {
    d[pairStart + 2 * i] = evenSum[i] * 4.0f;
    d[pairStart + 2 * i + 1] = oddSum[i] * 4.0f;
  }
  for (uint32_t x = pairEnd; x < dstWidth; ++x)
    d[x] *= 4.0f;
}

}  // namespace

void MakePyramidKernel(float kernel[kPyramidKernelSize]) {
  const float k[kTaps] = {0.05f, 0.25f, 0.4f, 0.25f, 0.05f};
  for (uint32_t r = 0; r < kTaps; ++r)
    for (uint32_t c = 0; c < kTaps; ++c)
      kernel[r * kTaps + c] = k[r] * k[c];
}

void PictureToFloat(float* plane, const SBxPicBuf* picture) {
  const auto width = static_cast<size_t>(picture->width);
  for (int y = 0; y < picture->height; ++y) {
    float* d = plane + width * static_cast<size_t>(y);
    if (picture->bitsPerComponent == 8) {
      const uint8_t* s = RowPtr(*picture, y);
      for (size_t x = 0; x < width; ++x)
        d[x] = static_cast<float>(s[x]);
    } else {
      const auto* s = reinterpret_cast<const uint16_t*>(RowPtr(*picture, y));
      for (size_t x = 0; x < width; ++x)
        d[x] = static_cast<float>(s[x]);
    }
  }
}

void FloatToPicture(SBxPicBuf* picture, const float* plane) {
  const auto width = static_cast<size_t>(picture->width);
  const uint32_t bits = picture->bitsPerComponent;
  // 2^bits - 1 as float: 255 for bytes, 65535 for words.
  const float maxValue = static_cast<float>(std::ldexp(1.0, static_cast<int>(bits)) - 1.0);
  for (int y = 0; y < picture->height; ++y) {
    const float* s = plane + width * static_cast<size_t>(y);
    if (bits == 8) {
      uint8_t* d = RowPtr(*picture, y);
      for (size_t x = 0; x < width; ++x)
        d[x] = FloatToSample8(s[x]);
    } else {
      auto* d = reinterpret_cast<uint16_t*>(RowPtr(*picture, y));
      for (size_t x = 0; x < width; ++x)
        d[x] = FloatToSample16(s[x], maxValue);
    }
  }
}

void PyrReduceRowsFrom(float* dst, const float* src, uint32_t srcFirstRow, uint32_t dstWidth,
                       uint32_t dstHeight, uint32_t srcWidth, uint32_t srcHeight,
                       const float* kernel, uint32_t rowBegin, uint32_t rowEnd) {
  if (dstWidth < kTaps || dstHeight < kTaps) return;
  if (srcWidth < kTaps || srcHeight < kTaps) return;  // no window fits: nothing to read
  rowEnd = std::min(rowEnd, dstHeight);
  // A few reduced rows at a time, so that the split source rows stay few and
  // in the cache however many rows the caller asks for.
  constexpr uint32_t kChunkRows = 16;
  for (uint32_t y = rowBegin; y < rowEnd; y += kChunkRows) {
    ReduceRows(dst, src, srcFirstRow, dstWidth, srcWidth, srcHeight, kernel, y,
               std::min(y + kChunkRows, rowEnd));
  }
}

void PyrReduceRows(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
                   uint32_t srcWidth, uint32_t srcHeight, const float* kernel, uint32_t rowBegin,
                   uint32_t rowEnd) {
  PyrReduceRowsFrom(dst, src, 0, dstWidth, dstHeight, srcWidth, srcHeight, kernel, rowBegin,
                    rowEnd);
}

void PyrExpandRows(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
                   uint32_t srcWidth, uint32_t srcHeight, const float* kernel, uint32_t rowBegin,
                   uint32_t rowEnd) {
  if (dstWidth < kTaps || dstHeight < kTaps) return;
  rowEnd = std::min(rowEnd, dstHeight);
  for (uint32_t y = rowBegin; y < rowEnd; ++y) {
    ExpandRow(dst + static_cast<size_t>(y) * dstWidth, src, dstWidth, srcWidth, dstHeight,
              srcHeight, y, kernel);
  }
}

uint32_t PyrReduceWindowRow(uint32_t y, uint32_t srcHeight) {
  return ReduceWindowStart(y, srcHeight);
}

void PyrExpandRow(float* dstRow, const float* src, uint32_t dstWidth, uint32_t dstHeight,
                  uint32_t srcWidth, uint32_t srcHeight, const float* kernel, uint32_t y) {
  if (dstWidth < kTaps || dstHeight < kTaps) return;
  ExpandRow(dstRow, src, dstWidth, srcWidth, dstHeight, srcHeight, y, kernel);
}

void PyrReduce(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
               uint32_t srcWidth, uint32_t srcHeight, const float* kernel) {
  PyrReduceRows(dst, src, dstWidth, dstHeight, srcWidth, srcHeight, kernel, 0, dstHeight);
}

void PyrExpand(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
               uint32_t srcWidth, uint32_t srcHeight, const float* kernel) {
  PyrExpandRows(dst, src, dstWidth, dstHeight, srcWidth, srcHeight, kernel, 0, dstHeight);
}

void PlaneSubtract(float* dst, const float* a, const float* b, uint32_t width, uint32_t height) {
  if (width < kTaps || height < kTaps) return;
  const size_t n = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < n; ++i)
    dst[i] = a[i] - b[i];
}

void PlaneAdd(float* dst, const float* a, const float* b, uint32_t width, uint32_t height) {
  if (width < kTaps || height < kTaps) return;
  const size_t n = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < n; ++i)
    dst[i] = a[i] + b[i];
}
