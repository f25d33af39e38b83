// Plane calls of the non-local-means filter: tables, padding, threads, output.
#include "single/NlmPlane.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "single/Exposure.h"
#include "single/NlmKernels.h"
#include "single/ProcessorCount.h"

namespace {

constexpr int kMaxThreads = 16;
// Planes of this many pixels or less in either direction are left alone by
// two of the four forms.
constexpr int kSmallPlane = 16;

bool IsPlane(const SBxPicBuf* p, uint32_t bits) {
  return p && p->pixels && p->components == 1 && p->bitsPerComponent == bits;
}

bool Planes(const SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, uint32_t bits) {
  return IsPlane(dst, bits) && IsPlane(src, bits) && IsPlane(guide, 8) &&
         SameGeometry(*dst, *src) && guide->width == src->width && guide->height == src->height;
}

// The plane placed at (pad, pad) of a new plane with a mirrored border.
bool PadPlane(SBxPicBuf* padded, const SBxPicBuf* plane, int pad) {
  CBxPicBufAPI::ReinitHeap(padded, plane->width + 2 * pad, plane->height + 2 * pad, 1,
                           plane->bitsPerComponent);
  if (!padded->pixels) return false;
  CBxPicBufAPI::CopyRect(padded, plane, CBxPoint{pad, pad}, CBxPoint{0, 0},
                         CBxSize{plane->width, plane->height});
  MirrorPad(padded, pad);
  return true;
}

// Accumulators of one thread: sum of weights and weighted sum of values. Each
// worker clears its own, strip by strip, so the first touch of every page is
// a write by the thread that uses it (a page first read maps the shared zero
// page, and replacing it later costs a TLB flush on every processor).
template <typename Acc>
struct Accumulators {
  std::unique_ptr<uint32_t[]> weightSum;
  std::unique_ptr<Acc[]> weighted;
  bool Allocate(size_t count) {
    weightSum.reset(new (std::nothrow) uint32_t[count]);
    weighted.reset(new (std::nothrow) Acc[count]);
    return weightSum && weighted;
  }
};

// Output rows [y0, y1): every thread's sums added, then
// truncate(weighted sum / sum of weights + 0.5), limited to the maximum.
template <typename V, typename Acc>
void FinishRows(SBxPicBuf* dst, const std::vector<Accumulators<Acc>>& acc, int y0, int y1) {
  const size_t w = static_cast<size_t>(dst->width);
  const uint32_t maximum = SampleMaximum(dst->bitsPerComponent);
  for (int y = y0; y < y1; ++y) {
    const size_t at = static_cast<size_t>(y) * w;
    uint32_t* sw = acc[0].weightSum.get() + at;
    Acc* ws = acc[0].weighted.get() + at;
    for (size_t t = 1; t < acc.size(); ++t) {
      const uint32_t* sw2 = acc[t].weightSum.get() + at;
      const Acc* ws2 = acc[t].weighted.get() + at;
      for (size_t x = 0; x < w; ++x) {
        sw[x] += sw2[x];
        ws[x] += ws2[x];
      }
    }
    V* out = reinterpret_cast<V*>(RowPtr(*dst, y));
    for (size_t x = 0; x < w; ++x) {
      const double r = static_cast<double>(ws[x]) / static_cast<double>(sw[x]) + 0.5;
      out[x] = static_cast<V>(std::min(static_cast<uint32_t>(r), maximum));
    }
  }
}

// The shared inputs of the workers: weight tables and padded planes.
struct SharedInputs {
  NlmWeights weights;
  ScopedPicBuf guide, values;
  int border = 0;
};

template <typename V>
bool PrepareInputs(SharedInputs* in, const SBxPicBuf* src, const SBxPicBuf* guide, double h0,
                   double levelDependence) {
  if (!BuildNlmWeights(&in->weights, h0, levelDependence)) return false;
  in->border = std::min(2 * (std::min(src->width, src->height) / 2) - 1, 71) / 2;
  const int pad = in->border + 3;
  if (!PadPlane(in->guide.get(), guide, pad)) return false;
  return sizeof(V) == 1 || PadPlane(in->values.get(), src, pad);
}

// The values averaged are the guide's samples for 8-bit planes and the
// source's for 16-bit planes; whenever the plane is not filtered the
// destination receives the source.
template <typename V, typename Acc>
char Filter(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, double strength,
            double levelDependence, int threadCount, double noise) {
  const double sigma = noise < 0.0 ? EstimateNoise(guide) : noise;
  const double h0 = strength * sigma * 1.8 * 0.5;
  if (!(h0 > 0.0)) {
    CBxPicBufAPI::Copy(dst, src);
    return 0;
  }
  SharedInputs in;
  const int n = std::clamp(threadCount, 1, kMaxThreads);
  std::vector<Accumulators<Acc>> acc(static_cast<size_t>(n));
  std::vector<NlmWorkerRecord> records(static_cast<size_t>(n));
  bool ready = PrepareInputs<V>(&in, src, guide, h0, levelDependence);
  const size_t count = static_cast<size_t>(src->width) * static_cast<size_t>(src->height);
  for (int t = 0; ready && t < n; ++t) {
    Accumulators<Acc>& a = acc[static_cast<size_t>(t)];
    NlmWorkerRecord& r = records[static_cast<size_t>(t)];
    ready = a.Allocate(count);
    r.guide = in.guide.get();
    r.values = sizeof(V) == 1 ? in.guide.get() : in.values.get();
    r.weights = &in.weights;
    r.weightSum = a.weightSum.get();
    if constexpr (sizeof(V) == 1) {
      r.weightedSum8 = a.weighted.get();
    } else {
      r.weightedSum16 = a.weighted.get();
    }
    r.width = src->width;
    r.height = src->height;
    r.border = in.border;
    r.firstOffset = t;
    r.step = n;
  }
  if (ready) RunParallel(n, [&](int t) { NlmWorker(&records[static_cast<size_t>(t)]); });
  for (const NlmWorkerRecord& r : records)
    ready = ready && !r.failed;
  if (!ready) {
    CBxPicBufAPI::Copy(dst, src);
    return 1;
  }
  // The rows are shared out for the last step: every row needs the sums of
  // all workers, so it can start only when all have finished.
  const int h = src->height;
  RunParallel(n, [&](int t) { FinishRows<V>(dst, acc, h * t / n, h * (t + 1) / n); });
  return 0;
}

// Small bookkeeping vectors may still throw; the destination then gets the
// source like any other allocation failure.
template <typename V, typename Acc>
char FilterOrSource(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, double strength,
                    double levelDependence, int threadCount, double noise) {
  try {
    return Filter<V, Acc>(dst, src, guide, strength, levelDependence, threadCount, noise);
  } catch (const std::bad_alloc&) {
    CBxPicBufAPI::Copy(dst, src);
    return 1;
  }
}

// Sizes the filter cannot work on: the caller rounds planes up to even sizes.
bool EvenSize(const SBxPicBuf* p) {
  return p->width % 2 == 0 && p->height % 2 == 0;
}

bool Small(const SBxPicBuf* p) {
  return p->width <= kSmallPlane || p->height <= kSmallPlane;
}

}  // namespace

bool BuildNlmWeights(NlmWeights* weights, double h0, double levelDependence) {
  try {
    weights->storage.clear();
    double lastH = 0.0;
    for (int g = 0; g < 256; ++g) {
      const double hg = (static_cast<double>(255 - g) * levelDependence / 192.0 + 1.0) * h0;
      if (g == 0 || hg != lastH) {
        weights->storage.emplace_back(static_cast<size_t>(kWeightTableSize));
        BuildWeightTable(weights->storage.back().data(), hg);
        lastH = hg;
      }
      weights->table[static_cast<size_t>(g)] = weights->storage.back().data();
    }
    weights->uniform = weights->storage.size() == 1;
    if (weights->uniform) {
      const uint32_t* t = weights->storage[0].data();
      weights->compact.assign(t, t + kMaxBlockDistance + 1);
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

char NlmPlane_x8(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, double strength,
                 double levelDependence, int threadCount, double noise) {
  if (!Planes(dst, src, guide, 8)) return 1;
  if (!EvenSize(src)) {
    CBxPicBufAPI::Copy(dst, src);
    return 1;
  }
  if (threadCount > 1 && Small(src)) {
    CBxPicBufAPI::Copy(dst, src);
    return 0;
  }
  return FilterOrSource<uint8_t, uint32_t>(dst, src, guide, strength, levelDependence, threadCount,
                                           noise);
}

char NlmPlane_x16(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, int strength,
                  double levelDependence, int threadCount, double noise) {
  if (!Planes(dst, src, guide, 16)) return 1;
  if (!EvenSize(src)) {
    CBxPicBufAPI::Copy(dst, src);
    return 1;
  }
  if (threadCount <= 1 && Small(src)) {
    CBxPicBufAPI::Copy(dst, src);
    return 0;
  }
  return FilterOrSource<uint16_t, uint64_t>(dst, src, guide, static_cast<double>(strength),
                                            levelDependence, threadCount, noise);
}
