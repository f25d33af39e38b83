// Row kernels of the non-local-means filter.
#include "single/NlmKernels.h"
#include "picture/VectorClones.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Index of the interior sample that a padded index reflects onto. One
// reflection suffices unless the interior is narrower than the border.
int Reflect(int i, int first, int last) {
  if (first >= last) return first;
  while (i < first || i > last)
    i = i < first ? 2 * first - i : 2 * last - i;
  return i;
}

template <typename T>
void MirrorPadTyped(SBxPicBuf* plane, int pad) {
  const int wp = plane->width, hp = plane->height;
  const int first = pad, lastCol = wp - pad - 1, lastRow = hp - pad - 1;
  for (int y = pad; y <= lastRow; ++y) {
    T* row = reinterpret_cast<T*>(RowPtr(*plane, y));
    for (int x = 0; x < pad; ++x)
      row[x] = row[Reflect(x, first, lastCol)];
    for (int x = lastCol + 1; x < wp; ++x)
      row[x] = row[Reflect(x, first, lastCol)];
  }
  // Whole rows, borders included, so the corners are reflected both ways.
  const size_t rowBytes = static_cast<size_t>(wp) * sizeof(T);
  for (int y = 0; y < hp; ++y) {
    if (y >= pad && y <= lastRow) continue;
    std::memcpy(RowPtr(*plane, y), RowPtr(*plane, Reflect(y, first, lastRow)), rowBytes);
  }
}

}  // namespace

void BuildWeightTable(uint32_t* table, double h) {
  if (!(h > 0.0)) {
    table[0] = kSelfWeight;
    std::fill(table + 1, table + kWeightTableSize, 0u);
    return;
  }
  for (int d = 0; d < kWeightTableSize; ++d) {
    const double w = std::pow(2.718281828, static_cast<double>(d) / -7.0 / h) * 10000.0 + 0.5;
    table[d] = static_cast<uint32_t>(w);
  }
}

void MirrorPad(SBxPicBuf* plane, int pad) {
  if (!plane || !plane->pixels || plane->components != 1 || pad <= 0) return;
  if (plane->width <= 2 * pad || plane->height <= 2 * pad) return;
  if (plane->bitsPerComponent == 8) {
    MirrorPadTyped<uint8_t>(plane, pad);
  } else if (plane->bitsPerComponent == 16) {
    MirrorPadTyped<uint16_t>(plane, pad);
  }
}

MELVARO_VECTOR_CLONES void AbsDiffRow(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    out[i] = static_cast<uint8_t>(a[i] > b[i] ? a[i] - b[i] : b[i] - a[i]);
  }
}

void AbsDiffShifted(const SBxPicBuf* guide, SBxPicBuf* diff, int firstRow, int firstCol,
                    int secondRow, int secondCol, int rowBegin, int rowEnd) {
  const int wp = guide->width, hp = guide->height;
  const int dy = secondRow - firstRow, dx = secondCol - firstCol;
  // Columns q whose partner q + dx lies inside the row.
  const int colBegin = std::max(0, -dx), colEnd = std::min(wp, wp - dx);
  for (int r = rowBegin; r < rowEnd; ++r) {
    const uint8_t* a = RowPtr(*guide, r);
    uint8_t* out = RowPtr(*diff, r - rowBegin);
    if (r + dy < 0 || r + dy >= hp || colBegin >= colEnd) {
      std::memcpy(out, a, static_cast<size_t>(wp));
      continue;
    }
    const uint8_t* b = RowPtr(*guide, r + dy);
    std::memcpy(out, a, static_cast<size_t>(colBegin));
    AbsDiffRow(a + colBegin, b + colBegin + dx, out + colBegin,
               static_cast<size_t>(colEnd - colBegin));
    std::memcpy(out + colEnd, a + colEnd, static_cast<size_t>(wp - colEnd));
  }
}

MELVARO_VECTOR_CLONES void BlockSumRow(const uint8_t* r0, const uint8_t* r1, uint16_t* out,
                                       size_t halfWidth) {
  for (size_t i = 0; i < halfWidth; ++i) {
    out[i] = static_cast<uint16_t>(r0[2 * i] + r0[2 * i + 1] + r1[2 * i] + r1[2 * i + 1]);
  }
}

void LookupRow(uint16_t* values, const uint16_t* table, size_t n) {
  for (size_t i = 0; i < n; ++i)
    values[i] = table[values[i]];
}

MELVARO_VECTOR_CLONES void ExpandRow(const uint16_t* blocks, uint16_t* out, size_t halfWidth) {
  for (size_t i = 0; i < halfWidth; ++i) {
    out[2 * i] = blocks[i];
    out[2 * i + 1] = blocks[i];
  }
}

// The products stay below 2^32: a weight is at most 10000 and a value at most
// 65535, so w1 * plus + w2 * minus <= 1.32e9; only the running sum of 16-bit
// values needs 64 bits.
MELVARO_VECTOR_CLONES void AccumulateRow(uint32_t* weightSum, uint32_t* weightedSum,
                                         const uint16_t* w1, const uint16_t* w2,
                                         const uint8_t* plus, const uint8_t* minus, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t a = w1[i], b = w2[i];
    weightSum[i] += a + b;
    weightedSum[i] += a * plus[i] + b * minus[i];
  }
}

MELVARO_VECTOR_CLONES void AccumulateRow(uint32_t* weightSum, uint64_t* weightedSum,
                                         const uint16_t* w1, const uint16_t* w2,
                                         const uint16_t* plus, const uint16_t* minus, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t a = w1[i], b = w2[i];
    weightSum[i] += a + b;
    weightedSum[i] += a * plus[i] + b * minus[i];
  }
}

MELVARO_VECTOR_CLONES void AccumulateSelfRow(uint32_t* weightSum, uint32_t* weightedSum,
                                             const uint8_t* values, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    weightSum[i] += kSelfWeight;
    weightedSum[i] += kSelfWeight * values[i];
  }
}

MELVARO_VECTOR_CLONES void AccumulateSelfRow(uint32_t* weightSum, uint64_t* weightedSum,
                                             const uint16_t* values, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    weightSum[i] += kSelfWeight;
    weightedSum[i] += kSelfWeight * values[i];
  }
}
