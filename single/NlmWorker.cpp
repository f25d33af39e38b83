// One thread's share of the non-local-means accumulation.
//
// The work is done in strips of output rows: for each strip every offset of
// the worker computes only the difference rows, block sums and weight rows
// that strip needs, then adds into the strip's accumulator rows, which stay in
// cache across the offsets. The sums are integers, so the order of work does
// not change them.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "picture/CBxPicBufAPI.h"
#include "single/NlmKernels.h"
#include "single/NlmPlane.h"

namespace {

constexpr int kOffsetCount = 25;
constexpr int kSelfOffset = 24;
constexpr int kStripRows = 32;
// Block rows one strip can need: the strip's rows and up to 3 rows either side.
constexpr int kStripBlockRows = kStripRows / 2 + 4;

template <typename T>
T* NewArray(std::unique_ptr<T[]>* holder, size_t count) {
  holder->reset(new (std::nothrow) T[count]);
  return holder->get();
}

struct Scratch {
  ScopedPicBuf diff;                   // difference rows of one strip
  std::unique_ptr<uint16_t[]> blocks;  // one row of block sums
  std::unique_ptr<uint16_t[]> rows;    // weights (uniform) or distances, full width
  std::unique_ptr<uint16_t[]> w1, w2;  // per-pixel weights (level-dependent tables)

  bool Allocate(int paddedWidth, int width, bool uniform) {
    const size_t wp = static_cast<size_t>(paddedWidth);
    CBxPicBufAPI::ReinitHeap(diff.get(), paddedWidth, 2 * kStripBlockRows, 1, 8);
    bool ok = diff->pixels && NewArray(&blocks, wp / 2) && NewArray(&rows, wp * kStripBlockRows);
    if (ok && !uniform) {
      ok = NewArray(&w1, static_cast<size_t>(width)) && NewArray(&w2, static_cast<size_t>(width));
    }
    return ok;
  }
};

struct Geometry {
  int width, height, pad, paddedWidth;
  size_t halfWidth;
};

// The weights of one strip row for offset d: from the uniform weight rows
// directly, or through the table of each pixel's guide level.
void WeightRows(const NlmWorkerRecord& r, const Geometry& g, Scratch& s, const uint16_t* a,
                const uint16_t* b, int paddedRow, int dx, const uint16_t** w1,
                const uint16_t** w2) {
  if (r.weights->uniform) {
    *w1 = a + g.pad;
    *w2 = b + g.pad - dx;
    return;
  }
  const uint8_t* level = RowPtr(*r.guide, paddedRow) + g.pad;
  const uint16_t* da = a + g.pad;
  const uint16_t* db = b + g.pad - dx;
  for (int x = 0; x < g.width; ++x) {
    const uint32_t* table = r.weights->table[level[x]];
    s.w1[static_cast<size_t>(x)] = static_cast<uint16_t>(table[da[x]]);
    s.w2[static_cast<size_t>(x)] = static_cast<uint16_t>(table[db[x]]);
  }
  *w1 = s.w1.get();
  *w2 = s.w2.get();
}

template <typename V, typename Acc>
void AccumulateStrip(const NlmWorkerRecord& r, const Geometry& g, Scratch& s, Acc* weighted, int k,
                     int y0, int y1) {
  const size_t w = static_cast<size_t>(g.width);
  auto valueRow = [&](int paddedRow) {
    return reinterpret_cast<const V*>(RowPtr(*r.values, paddedRow)) + g.pad;
  };
  if (k == kSelfOffset) {
    for (int y = y0; y < y1; ++y) {
      const size_t at = static_cast<size_t>(y) * w;
      AccumulateSelfRow(r.weightSum + at, weighted + at, valueRow(y + g.pad), w);
    }
    return;
  }
  const int dy = k / 7 - 3, dx = k % 7 - 3;
  const int blockBegin = (y0 + g.pad - std::max(dy, 0)) >> 1;
  const int blockEnd = ((y1 - 1 + g.pad - std::min(dy, 0)) >> 1) + 1;
  AbsDiffShifted(r.guide, s.diff.get(), std::max(-dy, 0), std::max(-dx, 0), std::max(dy, 0),
                 std::max(dx, 0), 2 * blockBegin, 2 * blockEnd);
  const size_t wp = static_cast<size_t>(g.paddedWidth);
  for (int b = blockBegin; b < blockEnd; ++b) {
    const int i = b - blockBegin;
    BlockSumRow(RowPtr(*s.diff, 2 * i), RowPtr(*s.diff, 2 * i + 1), s.blocks.get(), g.halfWidth);
    uint16_t* out = s.rows.get() + static_cast<size_t>(i) * wp;
    if (r.weights->uniform) LookupRow(s.blocks.get(), r.weights->compact.data(), g.halfWidth);
    ExpandRow(s.blocks.get(), out, g.halfWidth);
  }
  for (int y = y0; y < y1; ++y) {
    const int py = y + g.pad;
    const uint16_t* a = s.rows.get() + static_cast<size_t>((py >> 1) - blockBegin) * wp;
    const uint16_t* b = s.rows.get() + static_cast<size_t>(((py - dy) >> 1) - blockBegin) * wp;
    const uint16_t *w1 = nullptr, *w2 = nullptr;
    WeightRows(r, g, s, a, b, py, dx, &w1, &w2);
    const size_t at = static_cast<size_t>(y) * w;
    AccumulateRow(r.weightSum + at, weighted + at, w1, w2, valueRow(py + dy) + dx,
                  valueRow(py - dy) - dx, w);
  }
}

template <typename V, typename Acc>
void Work(NlmWorkerRecord* r, Acc* weighted) {
  Geometry g;
  g.width = r->width;
  g.height = r->height;
  g.pad = r->border + 3;
  g.paddedWidth = g.width + 2 * g.pad;
  g.halfWidth = static_cast<size_t>(g.paddedWidth / 2);
  Scratch s;
  if (!s.Allocate(g.paddedWidth, g.width, r->weights->uniform)) {
    r->failed = true;
    return;
  }
  const size_t w = static_cast<size_t>(g.width);
  for (int y0 = 0; y0 < g.height; y0 += kStripRows) {
    const int y1 = std::min(y0 + kStripRows, g.height);
    // Cleared here, just before the strip's first use, while it is in cache.
    const size_t first = static_cast<size_t>(y0) * w, count = static_cast<size_t>(y1 - y0) * w;
    std::memset(r->weightSum + first, 0, count * sizeof(uint32_t));
    std::memset(weighted + first, 0, count * sizeof(Acc));
    for (int k = r->firstOffset; k < kOffsetCount; k += r->step) {
      AccumulateStrip<V>(*r, g, s, weighted, k, y0, y1);
    }
  }
}

}  // namespace

void NlmWorker(NlmWorkerRecord* record) {
  if (record->step < 1) record->step = 1;
  if (record->values->bitsPerComponent == 8) {
    Work<uint8_t>(record, record->weightedSum8);
  } else {
    Work<uint16_t>(record, record->weightedSum16);
  }
}
