#pragma once

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

// The luminance (0.114 B + 0.587 G + 0.299 R for three components and more,
// the first component otherwise) of an 8- or 16-bit picture at level 0 or 1,
// rows spread over the TBB pool. May throw std::bad_alloc.
void PictureLuma(const SBxPicBuf& picture, int level, LumaPlane* plane);
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
