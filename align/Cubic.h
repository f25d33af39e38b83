#pragma once

#include "picture/VectorClones.h"

// The Catmull-Rom kernel: the weights of the four samples around a point a
// fraction t past the second of them, and their derivatives with respect to t.
// Single precision, in this order of operations: the resampler's values
// depend on it.
MELVARO_INLINE void CubicWeights(float t, float* w) {
  const float t2 = t * t, t3 = t2 * t;
  w[0] = 0.5f * (-t3 + 2.0f * t2 - t);
  w[1] = 0.5f * (3.0f * t3 - 5.0f * t2 + 2.0f);
  w[2] = 0.5f * (-3.0f * t3 + 4.0f * t2 + t);
  w[3] = 0.5f * (t3 - t2);
}

MELVARO_INLINE void CubicSlopes(float t, float* d) {
  const float t2 = t * t;
  d[0] = 0.5f * (-3.0f * t2 + 4.0f * t - 1.0f);
  d[1] = 0.5f * (9.0f * t2 - 10.0f * t);
  d[2] = 0.5f * (-9.0f * t2 + 8.0f * t + 1.0f);
  d[3] = 0.5f * (3.0f * t2 - 2.0f * t);
}
