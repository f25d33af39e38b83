#pragma once

#include <cstdint>

#include "picture/SBxPicBuf.h"

// Laplacian-pyramid building blocks on float planes (width * height packed
// floats, element (x, y) at y * width + x), shared by the exposure fusion and
// Smart Contrast. They hold no state and allocate nothing. The kernel is 25
// floats, row-major 5 x 5.
//
// Every operation leaves a destination narrower or lower than 5 untouched:
// callers rely on that to skip levels too small to filter.
//
// The arithmetic order of each sum is part of the result: fused and contrasted
// pictures must come out the same on every machine and from every code path,
// so the fast paths below keep it exactly.

constexpr uint32_t kPyramidKernelSize = 25;

// k[r] * k[c] in single precision with k = (0.05, 0.25, 0.4, 0.25, 0.05).
void MakePyramidKernel(float kernel[kPyramidKernelSize]);

// plane(x, y) = sample(x, y) of the picture's first component (bytes for 8
// bits, 16-bit words otherwise).
void PictureToFloat(float* plane, const SBxPicBuf* picture);
// sample(x, y) = plane value clamped to the sample range and truncated toward
// zero; NaN gives the maximum.
void FloatToPicture(SBxPicBuf* picture, const float* plane);

// dst = src filtered with the kernel and halved. Destination pixel (x, y) reads
// the 5 x 5 window at (2x - 2, 2y - 2), shifted back inside the source at the
// borders (never mirrored).
void PyrReduce(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
               uint32_t srcWidth, uint32_t srcHeight, const float* kernel);
// dst = src doubled and filtered, times 4. Only source samples on the even
// positions of the doubled grid contribute; border windows are shifted inside.
void PyrExpand(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
               uint32_t srcWidth, uint32_t srcHeight, const float* kernel);

// The same restricted to destination rows [rowBegin, rowEnd), so that callers
// may spread one level over threads; each row's values do not depend on the split.
void PyrReduceRows(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
                   uint32_t srcWidth, uint32_t srcHeight, const float* kernel, uint32_t rowBegin,
                   uint32_t rowEnd);
void PyrExpandRows(float* dst, const float* src, uint32_t dstWidth, uint32_t dstHeight,
                   uint32_t srcWidth, uint32_t srcHeight, const float* kernel, uint32_t rowBegin,
                   uint32_t rowEnd);

// For callers that work through a level in bands held in small buffers: the
// first source row of reduced row y's window; reduced rows [rowBegin, rowEnd)
// from source rows held at `src` whose first is source row `srcFirstRow` (the
// rows the windows read must be there); and expanded row y (from the whole
// source plane) into `dstRow`. They match PyrReduce/PyrExpand bit for bit.
uint32_t PyrReduceWindowRow(uint32_t y, uint32_t srcHeight);
void PyrReduceRowsFrom(float* dst, const float* src, uint32_t srcFirstRow, uint32_t dstWidth,
                       uint32_t dstHeight, uint32_t srcWidth, uint32_t srcHeight,
                       const float* kernel, uint32_t rowBegin, uint32_t rowEnd);
void PyrExpandRow(float* dstRow, const float* src, uint32_t dstWidth, uint32_t dstHeight,
                  uint32_t srcWidth, uint32_t srcHeight, const float* kernel, uint32_t y);

// One sample from a fused value: clamped to the sample range and truncated
// toward zero; NaN gives the maximum (what FloatToPicture writes).
inline uint8_t FloatToSample8(float v) {
  // "Not below" rather than "above" so that NaN saturates.
  return !(v < 255.0f) ? uint8_t{255} : v > 0.0f ? static_cast<uint8_t>(v) : uint8_t{0};
}
inline uint16_t FloatToSample16(float v, float maxValue) {
  const float c = !(v < maxValue) ? maxValue : v;
  return c > 0.0f ? static_cast<uint16_t>(static_cast<uint32_t>(c)) : uint16_t{0};
}

// Element-wise dst = a - b and dst = a + b; dst may be a or b.
void PlaneSubtract(float* dst, const float* a, const float* b, uint32_t width, uint32_t height);
void PlaneAdd(float* dst, const float* a, const float* b, uint32_t width, uint32_t height);
