// The fused picture from an accumulator's sums: every level's value sum
// divided by its weight sum gives a blended Laplacian pyramid (and a blended
// coarsest Gaussian level), which is collapsed into the full-size picture.
#include <cmath>
#include <new>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "fusion/FusionAccumulator.h"
#include "picture/CBxPicBufAPI.h"

namespace {

// The weighted mean at one pixel; a pixel that received no weight is 0.
// Magnitude and comparison in double, the division in single precision.
inline float Quotient(const float* valueSum, const float* weightSum, size_t i) {
  return std::fabs(static_cast<double>(weightSum[i])) > 1e-10 ? valueSum[i] / weightSum[i] : 0.0f;
}

template <class Fn>
void ForRowBands(uint32_t rows, const Fn& fn) {
  tbb::parallel_for(tbb::blocked_range<uint32_t>(0, rows, 8),
                    [&](const tbb::blocked_range<uint32_t>& r) { fn(r.begin(), r.end()); });
}

bool Filterable(uint32_t width, uint32_t height) {
  return width >= kFusionMinCoarseSide && height >= kFusionMinCoarseSide;
}

// The collapsed plane of one component. Each level is made from the one
// below it and then released, so only two levels are held at a time.
std::vector<float> Collapse(const cFusionComponent& rec, const cFusionAccumulator& acc) {
  const uint32_t n = acc.levelCount;
  std::vector<float> coarse(static_cast<size_t>(acc.levelWidth[n]) * acc.levelHeight[n], 0.0f);
  if (Filterable(acc.levelWidth[n], acc.levelHeight[n])) {
    for (size_t i = 0; i < coarse.size(); ++i)
      coarse[i] = Quotient(rec.valueSum[n], rec.weightSum[n], i);
  }
  for (uint32_t l = n; l-- > 0;) {
    const uint32_t w = acc.levelWidth[l], h = acc.levelHeight[l];
    std::vector<float> fine(static_cast<size_t>(w) * h, 0.0f);
    if (Filterable(w, h)) {
      // fine = expand(coarse) + normalised Laplacian of level l.
      ForRowBands(h, [&](uint32_t y0, uint32_t y1) {
        PyrExpandRows(fine.data(), coarse.data(), w, h, acc.levelWidth[l + 1],
                      acc.levelHeight[l + 1], acc.kernel, y0, y1);
        for (size_t i = static_cast<size_t>(y0) * w; i < static_cast<size_t>(y1) * w; ++i)
          fine[i] = fine[i] + Quotient(rec.valueSum[l], rec.weightSum[l], i);
      });
    }
    coarse.swap(fine);
  }
  return coarse;
}

}  // namespace

uint8_t FusionComposeComponent(SBxPicBuf* picture, const cFusionComponent* record,
                               const cFusionAccumulator* acc) {
  if (picture->pixels == nullptr || acc->componentRecords == nullptr ||
      static_cast<uint32_t>(picture->width) != acc->width ||
      static_cast<uint32_t>(picture->height) != acc->height) {
    return 1;
  }
  try {
    const std::vector<float> plane = Collapse(*record, *acc);
    const size_t width = acc->width;
    ForRowBands(acc->height, [&](uint32_t y0, uint32_t y1) {
      SBxPicBuf band = *picture;  // the rows y0 .. y1 - 1 of the picture
      band.pixels = RowPtr(*picture, static_cast<int>(y0));
      band.height = static_cast<int32_t>(y1 - y0);
      FloatToPicture(&band, plane.data() + width * y0);
    });
  } catch (const std::bad_alloc&) {
    return 1;
  }
  return 0;
}

uint8_t FusionResult(SBxPicBuf* picture, const cFusionAccumulator* acc) {
  if (picture->bitsPerComponent != acc->bitsPerComponent ||
      static_cast<uint32_t>(picture->width) != acc->width ||
      static_cast<uint32_t>(picture->height) != acc->height || picture->pixels == nullptr ||
      acc->componentRecords == nullptr) {
    return 1;
  }
  if (picture->components == 1)
    return FusionComposeComponent(picture, &acc->componentRecords[0], acc);
  ScopedPicBuf component(picture->width, picture->height, 1, picture->bitsPerComponent);
  if (IsEmpty(*component)) return 1;
  uint8_t result = 0;
  for (uint32_t c = 0; c < acc->components; ++c) {
    result |= FusionComposeComponent(component.get(), &acc->componentRecords[c], acc);
    CBxPicBufAPI::InsertComponent(picture, static_cast<int>(c), component.get());
  }
  return result;
}
