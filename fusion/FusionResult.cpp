// The fused picture from an accumulator's sums: every level's value sum
// divided by its weight sum gives a blended Laplacian pyramid (and a blended
// coarsest Gaussian level), which is collapsed into the full-size picture.
#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <new>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "fusion/FusionAccumulator.h"
#include "fusion/FusionWorkspace.h"
#include "picture/CBxPicBufAPI.h"

namespace {

using Plane = std::unique_ptr<float[]>;

// The smallest float magnitude that counts as a weight: (double)|w| > 1e-10.
uint32_t SmallestWeightBits() {
  float f = static_cast<float>(1e-10);
  if (static_cast<double>(f) <= 1e-10) f = std::nextafter(f, 1.0f);
  return std::bit_cast<uint32_t>(f);
}

// dst += the weighted mean at each pixel; a pixel whose weight sum is within
// 1e-10 of 0 (or NaN) adds 0. The test is made on the bits and the quotient
// masked, rather than with a branch, so that the loop vectorises; a pixel
// without weight divides by 1 and discards the quotient.
void AddQuotients(float* __restrict dst, const float* valueSum, const float* weightSum, size_t n) {
  static const uint32_t smallest = SmallestWeightBits();
  constexpr uint32_t kInfinity = 0x7f800000u, kOne = 0x3f800000u, kMagnitude = 0x7fffffffu;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t w = std::bit_cast<uint32_t>(weightSum[i]);
    const uint32_t magnitude = w & kMagnitude;
    const uint32_t weighted =
        0u - static_cast<uint32_t>((magnitude >= smallest) & (magnitude <= kInfinity));
    const float divisor = std::bit_cast<float>((w & weighted) | (kOne & ~weighted));
    const float q = std::bit_cast<float>(std::bit_cast<uint32_t>(valueSum[i] / divisor) & weighted);
    dst[i] = dst[i] + q;
  }
}

template <class Fn>
void ForRowBands(uint32_t rows, const Fn& fn) {
  tbb::parallel_for(tbb::blocked_range<uint32_t>(0, rows, 8),
                    [&](const tbb::blocked_range<uint32_t>& r) { fn(r.begin(), r.end()); });
}

// Rows y0 .. y1 - 1 of a picture, as a picture of their own.
SBxPicBuf RowBand(const SBxPicBuf& picture, uint32_t y0, uint32_t y1) {
  SBxPicBuf band = picture;
  band.pixels = RowPtr(picture, static_cast<int>(y0));
  band.height = static_cast<int32_t>(y1 - y0);
  band.byteSize = band.stride * (y1 - y0);
  return band;
}

bool Filterable(uint32_t width, uint32_t height) {
  return width >= kFusionMinCoarseSide && height >= kFusionMinCoarseSide;
}

// The collapsed plane of one component, built in two planes of the finest
// level's size: each level is made from the one below it in the other plane.
// Returns the plane holding the finest level.
float* Collapse(const cFusionComponent& rec, const cFusionAccumulator& acc, float* one,
                float* other) {
  const uint32_t n = acc.levelCount;
  float* coarse = one;
  float* fine = other;
  const size_t top = static_cast<size_t>(acc.levelWidth[n]) * acc.levelHeight[n];
  std::fill_n(coarse, top, 0.0f);
  if (Filterable(acc.levelWidth[n], acc.levelHeight[n]))
    AddQuotients(coarse, rec.valueSum[n], rec.weightSum[n], top);
  for (uint32_t l = n; l-- > 0;) {
    const uint32_t w = acc.levelWidth[l], h = acc.levelHeight[l];
    if (Filterable(w, h)) {
      // fine = expand(coarse) + normalised Laplacian of level l.
      ForRowBands(h, [&](uint32_t y0, uint32_t y1) {
        PyrExpandRows(fine, coarse, w, h, acc.levelWidth[l + 1], acc.levelHeight[l + 1], acc.kernel,
                      y0, y1);
        const size_t at = static_cast<size_t>(y0) * w;
        AddQuotients(fine + at, rec.valueSum[l] + at, rec.weightSum[l] + at,
                     static_cast<size_t>(y1 - y0) * w);
      });
    } else {  // neither expanded nor normalised: zeros
      std::fill_n(fine, static_cast<size_t>(w) * h, 0.0f);
    }
    std::swap(coarse, fine);
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
    float* one = nullptr;
    float* other = nullptr;
    Plane ownOne, ownOther;
    if (!BorrowCollapseScratch(*acc, &one, &other)) {
      const size_t size = static_cast<size_t>(acc->width) * acc->height;
      ownOne.reset(new float[size]);
      ownOther.reset(new float[size]);
      one = ownOne.get();
      other = ownOther.get();
    }
    const float* plane = Collapse(*record, *acc, one, other);
    const size_t width = acc->width;
    ForRowBands(acc->height, [&](uint32_t y0, uint32_t y1) {
      SBxPicBuf band = RowBand(*picture, y0, y1);
      FloatToPicture(&band, plane + width * y0);
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
    ForRowBands(acc->height, [&](uint32_t y0, uint32_t y1) {
      SBxPicBuf to = RowBand(*picture, y0, y1), from = RowBand(*component, y0, y1);
      CBxPicBufAPI::InsertComponent(&to, static_cast<int>(c), &from);
    });
  }
  return result;
}
