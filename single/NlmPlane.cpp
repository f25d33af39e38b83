// Plane calls of the non-local-means filter: tables, padding, threads, output.
#include "single/NlmPlane.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "picture/CBxPicBufAPI.h"
#include "single/Exposure.h"
#include "single/NlmKernels.h"

namespace {

constexpr int kMaxThreads = 16;
// Planes of this many pixels or less in either direction are left alone by
// two of the four forms.
constexpr int kSmallPlane = 16;

template <typename T>
using Buffer = std::unique_ptr<T[]>;

// Zeroed by writing, on the calling thread before any worker starts: memory
// that is only read first maps the shared zero page, and the first write of
// each page by a worker then costs a TLB flush on every processor.
template <typename T>
Buffer<T> ZeroedBuffer(size_t count) {
  Buffer<T> buffer(new (std::nothrow) T[count]);
  if (buffer) std::memset(buffer.get(), 0, count * sizeof(T));
  return buffer;
}

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

// Accumulators of one thread: sum of weights and weighted sum of values.
template <typename Acc>
struct Accumulators {
  Buffer<uint32_t> weightSum;
  Buffer<Acc> weighted;
  bool Allocate(size_t count) {
    weightSum = ZeroedBuffer<uint32_t>(count);
    weighted = ZeroedBuffer<Acc>(count);
    return weightSum && weighted;
  }
};

// Runs workers 1..n-1 on threads and worker 0 on the calling thread, and
// returns only when all have finished. A worker whose thread cannot be started
// runs on the calling thread instead: the sums do not depend on who adds them.
void RunWorkers(std::vector<NlmWorkerRecord>& records) {
  std::vector<std::thread> threads;
  std::vector<NlmWorkerRecord*> inline_;
  threads.reserve(records.size());
  inline_.reserve(records.size());
  for (size_t t = 1; t < records.size(); ++t) {
    try {
      threads.emplace_back(NlmWorker, &records[t]);
    } catch (const std::system_error&) {
      inline_.push_back(&records[t]);
    }
  }
  NlmWorker(&records[0]);
  for (NlmWorkerRecord* r : inline_)
    NlmWorker(r);
  for (std::thread& t : threads)
    t.join();
}

// The values averaged are the guide's samples for 8-bit planes and the
// source's for 16-bit planes; whenever the plane is not filtered the
// destination receives the source.
template <typename V, typename Acc>
char Filter(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, double strength,
            double levelDependence, int threadCount, double noise) {
  const int w = src->width, h = src->height;
  const double sigma = noise < 0.0 ? EstimateNoise(guide) : noise;
  const double h0 = strength * sigma * 1.8 * 0.5;
  if (!(h0 > 0.0)) {
    CBxPicBufAPI::Copy(dst, src);
    return 0;
  }
  auto fail = [&] {
    CBxPicBufAPI::Copy(dst, src);
    return char{1};
  };
  NlmWeights weights;
  if (!BuildNlmWeights(&weights, h0, levelDependence)) return fail();

  const int border = std::min(2 * (std::min(w, h) / 2) - 1, 71) / 2;
  const int pad = border + 3;
  ScopedPicBuf paddedGuide, paddedValues;
  if (!PadPlane(paddedGuide.get(), guide, pad)) return fail();
  const SBxPicBuf* values = paddedGuide.get();
  if constexpr (sizeof(V) == 2) {
    if (!PadPlane(paddedValues.get(), src, pad)) return fail();
    values = paddedValues.get();
  }

  const int n = std::clamp(threadCount, 1, kMaxThreads);
  const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
  std::vector<Accumulators<Acc>> acc(static_cast<size_t>(n));
  std::vector<NlmWorkerRecord> records(static_cast<size_t>(n));
  for (int t = 0; t < n; ++t) {
    auto& a = acc[static_cast<size_t>(t)];
    if (!a.Allocate(count)) return fail();
    NlmWorkerRecord& r = records[static_cast<size_t>(t)];
    r.guide = paddedGuide.get();
    r.values = values;
    r.weights = &weights;
    r.weightSum = a.weightSum.get();
    if constexpr (sizeof(V) == 1) {
      r.weightedSum8 = a.weighted.get();
    } else {
      r.weightedSum16 = a.weighted.get();
    }
    r.width = w;
    r.height = h;
    r.border = border;
    r.firstOffset = t;
    r.step = n;
  }
  RunWorkers(records);
  for (const NlmWorkerRecord& r : records) {
    if (r.failed) return fail();
  }

  uint32_t* sw = acc[0].weightSum.get();
  Acc* ws = acc[0].weighted.get();
  for (size_t t = 1; t < acc.size(); ++t) {
    const uint32_t* sw2 = acc[t].weightSum.get();
    const Acc* ws2 = acc[t].weighted.get();
    for (size_t i = 0; i < count; ++i) {
      sw[i] += sw2[i];
      ws[i] += ws2[i];
    }
  }
  const uint32_t maximum = SampleMaximum(dst->bitsPerComponent);
  for (int y = 0; y < h; ++y) {
    V* out = reinterpret_cast<V*>(RowPtr(*dst, y));
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w);
    for (int x = 0; x < w; ++x) {
      const double r = static_cast<double>(ws[at + static_cast<size_t>(x)]) /
                           static_cast<double>(sw[at + static_cast<size_t>(x)]) +
                       0.5;
      out[x] = static_cast<V>(std::min(static_cast<uint32_t>(r), maximum));
    }
  }
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
