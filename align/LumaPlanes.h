#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "align/Motion.h"
#include "picture/SBxPicBuf.h"

// Luminance planes of a picture at reduced sizes, on a 0..1 scale, for the
// motion estimator.
//
// Level l holds means of 2^l x 2^l blocks of the picture (sizes halved and
// rounded down from level to level), so its pixel u lies at picture coordinate
// 2^l u + (2^l - 1) / 2.

struct LumaPlane {
  int width = 0;
  int height = 0;
  std::vector<float> values;  // packed rows

  float At(int x, int y) const {
    return values[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
  const float* Row(int y) const {
    return values.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
  }
};

// Histogram of luminance values over 0..1.
constexpr int kLumaBins = 1024;
using LumaHistogram = std::array<uint32_t, kLumaBins>;
LumaHistogram HistogramOf(const LumaPlane& plane);

// The luminance (0.114 B + 0.587 G + 0.299 R for three components and more,
// the first component otherwise) of an 8- or 16-bit picture at level 0 or 1,
// rows spread over the TBB pool; with `fullSize`, also the histogram of the
// picture's own (level-0) luminance. May throw std::bad_alloc.
void PictureLuma(const SBxPicBuf& picture, int level, LumaPlane* plane,
                 LumaHistogram* fullSize = nullptr);
// Level-0 luminance of the picture's block of `columns` x `rows` pixels at
// (firstColumn, firstRow) into `block`.
void PictureLumaBlock(const SBxPicBuf& picture, int firstColumn, int firstRow, int columns,
                      int rows, LumaPlane* block);
// The next level: means of 2 x 2 blocks.
void ReduceLuma(const LumaPlane& source, LumaPlane* reduced);

// The picture map `full` (level-0 coordinates) as seen between level-l planes.
Homography MapAtLevel(const Homography& full, int level);
// The inverse: a map between level-l planes as a level-0 map.
Homography MapAtFullSize(const Homography& atLevel, int level);

// Catmull-Rom interpolation of the plane at (x, y); false where the point lies
// outside the plane's pixel centres [0, width - 1] x [0, height - 1].
bool SampleLuma(const LumaPlane& plane, float x, float y, float* value);
// The same with the interpolation's derivatives along x and y.
bool SampleLumaGradient(const LumaPlane& plane, float x, float y, float* value, float* dx,
                        float* dy);
// The same on the picture's own luminance (level 0), read from its samples.
bool SamplePictureLuma(const SBxPicBuf& picture, float x, float y, float* value, float* dx,
                       float* dy);
