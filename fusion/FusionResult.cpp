// The fused picture from an accumulator's sums: every level's value sum
// divided by its weight sum gives a blended Laplacian pyramid (and a blended
// coarsest Gaussian level), which is collapsed into the full-size picture.
#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "fusion/FusionAccumulator.h"
#include "fusion/FusionWorkspace.h"
#include "fusion/PlaneMemory.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/VectorClones.h"

namespace {

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
MELVARO_VECTOR_CLONES void AddQuotients(float* __restrict dst, const float* valueSum,
                                        const float* weightSum, size_t n) {
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

// Levels n .. 1 of one component collapsed in two planes of level 1's size:
// each level is made from the one above it in the other plane. Returns the
// plane holding level 1.
float* CollapseToLevelOne(const cFusionComponent& rec, const cFusionAccumulator& acc, float* one,
                          float* other) {
  const uint32_t n = acc.levelCount;
  float* coarse = one;
  float* fine = other;
  const size_t top = FusionLevelSize(acc, n);
  std::fill_n(coarse, top, 0.0f);
  if (FusionLevelFilterable(acc, n)) AddQuotients(coarse, rec.valueSum[n], rec.weightSum[n], top);
  for (uint32_t l = n; l-- > 1;) {
    const uint32_t w = acc.levelWidth[l], h = acc.levelHeight[l];
    if (FusionLevelFilterable(acc, l)) {
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

// Writes one row of finest-level values into component c of a picture row.
template <class Sample>
void WriteSamples(Sample* row, uint32_t step, const float* values, uint32_t width, float maxValue) {
  for (uint32_t x = 0; x < width; ++x) {
    if constexpr (sizeof(Sample) == 1) {
      row[x * step] = FloatToSample8(values[x]);
    } else {
      row[x * step] = FloatToSample16(values[x], maxValue);
    }
  }
}

// Level 0 of one component, band by band: expand(level 1) + its normalised
// Laplacian, written straight into component c of the picture.
void ComposeFinestLevel(SBxPicBuf* picture, uint32_t c, const cFusionComponent& rec,
                        const cFusionAccumulator& acc, const float* levelOne) {
  const uint32_t w = acc.levelWidth[0], h = acc.levelHeight[0];
  const bool filterable = FusionLevelFilterable(acc, 0);
  const uint32_t step = picture->components;
  const float maxValue =
      static_cast<float>(std::ldexp(1.0, static_cast<int>(picture->bitsPerComponent)) - 1.0);
  tbb::parallel_for(
      tbb::blocked_range<uint32_t>(0, h, kFusionBandRows),
      [&](const tbb::blocked_range<uint32_t>& r) {
        std::vector<float> band(w);
        for (uint32_t y = r.begin(); y < r.end(); ++y) {
          if (filterable) {
            PyrExpandRow(band.data(), levelOne, w, h, acc.levelWidth[1], acc.levelHeight[1],
                         acc.kernel, y);
            const size_t at = static_cast<size_t>(y) * w;
            AddQuotients(band.data(), rec.valueSum[0] + at, rec.weightSum[0] + at, w);
          }
          uint8_t* row = RowPtr(*picture, static_cast<int>(y));
          if (picture->bitsPerComponent == 8) {
            WriteSamples(row + c, step, band.data(), w, maxValue);
          } else {
            WriteSamples(reinterpret_cast<uint16_t*>(row) + c, step, band.data(), w, maxValue);
          }
        }
      },
      tbb::simple_partitioner());
}

// Component c of the picture from record `rec`.
void ComposeComponent(SBxPicBuf* picture, uint32_t c, const cFusionComponent& rec,
                      const cFusionAccumulator& acc, WorkPlane* one, WorkPlane* other) {
  const size_t levelOneSize = FusionLevelSize(acc, 1);
  one->resize(levelOneSize);
  other->resize(levelOneSize);
  const float* levelOne = CollapseToLevelOne(rec, acc, one->data(), other->data());
  ComposeFinestLevel(picture, c, rec, acc, levelOne);
}

bool Fits(const SBxPicBuf& picture, const cFusionAccumulator& acc) {
  return picture.pixels != nullptr && acc.componentRecords != nullptr && acc.levelCount >= 1 &&
         picture.bitsPerComponent == acc.bitsPerComponent &&
         static_cast<uint32_t>(picture.width) == acc.width &&
         static_cast<uint32_t>(picture.height) == acc.height;
}

}  // namespace

uint8_t FusionComposeComponent(SBxPicBuf* picture, const cFusionComponent* record,
                               const cFusionAccumulator* acc) {
  if (!Fits(*picture, *acc) || picture->components != 1) return 1;
  try {
    WorkPlane one, other;
    ComposeComponent(picture, 0, *record, *acc, &one, &other);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  return 0;
}

uint8_t FusionResult(SBxPicBuf* picture, const cFusionAccumulator* acc) {
  if (!Fits(*picture, *acc)) return 1;
  if (picture->components == 1)
    return FusionComposeComponent(picture, &acc->componentRecords[0], acc);
  if (picture->components < acc->components) return 1;
  try {
    WorkPlane one, other;
    for (uint32_t c = 0; c < acc->components; ++c)
      ComposeComponent(picture, c, acc->componentRecords[c], *acc, &one, &other);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  return 0;
}
