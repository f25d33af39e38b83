#pragma once

#include <cstdint>
#include <vector>

#include <tbb/blocked_range2d.h>

// Per-pixel fusion weights of one pyramid level of one added picture, added
// into the accumulator's sums: weight sum += w, value sum += w * value.
//
// The weight of a pixel is computed from the level's Gaussian image (the
// "contrast" planes): local contrast (the absolute Laplacian of a 3 x 3
// window), well-exposedness around `mid`, and for colour also saturation.
// Which operations run in single and which in double precision is part of the
// result: the routines below reproduce it exactly, whatever the loop
// structure, so every path (parallel, table-driven, sequential) gives the same
// bits for the same inputs.
//
// Every routine leaves a level of width or height below 5 untouched.
//
// Optional weight factors (one float per pixel of the level, in [0, 1]) scale
// each weight after it is formed: a caller's multiplier (see
// FusionAddWeightedPicture). Without them the arithmetic is exactly as before.

// Well-exposedness spread: 7200 for 8-bit pictures, float(q*q * 1.41) with
// q = 2^bits / 4 for deeper ones.
float FusionSigma2(uint32_t bits);

// Exact results of the weight terms for every possible whole-number input.
// The finest level of an 8- or 16-bit picture holds whole sample values, so
// its exposure term depends only on the sample (or the sum of the three
// components) and its contrast term only on the whole-number |Laplacian|;
// looking them up gives the very values the functions would return.
struct cAmplitudeTables {
  uint32_t components = 0;      // 1, or 3 for the joint colour weights
  std::vector<float> exposure;  // by sample value, or by the sum of the three
  std::vector<float> contrast;  // by |Laplacian|
};

// Fills the tables for pictures of `components` (1 or 3) and `bits` (8 or 16)
// with the given mid. Throws std::bad_alloc when memory runs out.
void BuildAmplitudeTables(cAmplitudeTables* tables, uint32_t components, uint32_t bits,
                          uint32_t mid);

// Parallel bodies, copied into every task of a tbb::parallel_for over a
// blocked_range2d whose rows are y and columns x. `tables` may be set only for
// a level holding whole-number samples (see above).
struct cUpdateAplitude_1 {
  float mid;
  float sigma2;
  const float* value;
  const float* contrast;
  float* valueSum;
  float* weightSum;
  uint32_t width;
  uint32_t height;
  const cAmplitudeTables* tables = nullptr;
  // The level rows the contrast and value planes begin with: callers working
  // through a level in bands pass only the band's rows; the sums always hold
  // the whole level.
  int contrastFirstRow = 0;
  int valueFirstRow = 0;
  // Weight factors, or none; their first row is level row `factorFirstRow`.
  const float* factor = nullptr;
  int factorFirstRow = 0;

  void operator()(const tbb::blocked_range2d<int, int>& range) const;
};
struct cUpdateAplitude_x8 : cUpdateAplitude_1 {};
struct cUpdateAplitude_x16 : cUpdateAplitude_1 {};

struct cUpdateAplitude_3 {
  float mid;
  float sigma2;
  const float* value0;
  const float* contrast0;
  const float* value1;
  const float* contrast1;
  const float* value2;
  const float* contrast2;
  float* valueSum0;
  float* valueSum1;
  float* valueSum2;
  float* weightSum;
  uint32_t width;
  uint32_t height;
  const cAmplitudeTables* tables = nullptr;
  int contrastFirstRow = 0;  // as in cUpdateAplitude_1
  int valueFirstRow = 0;
  const float* factor = nullptr;
  int factorFirstRow = 0;

  void operator()(const tbb::blocked_range2d<int, int>& range) const;
};
struct cUpdateAplitude_3x8 : cUpdateAplitude_3 {};
struct cUpdateAplitude_3x16 : cUpdateAplitude_3 {};

// Ordinary levels, in parallel on the TBB pool; they return when every pixel
// is done.
void UpdateAmplitude_x8(float* valueSum, float* weightSum, const float* value,
                        const float* contrast, uint32_t width, uint32_t height, uint32_t mid,
                        const cAmplitudeTables* tables = nullptr);
void UpdateAmplitude_x16(float* valueSum, float* weightSum, const float* value,
                         const float* contrast, uint32_t width, uint32_t height, uint32_t mid,
                         uint32_t bits, const cAmplitudeTables* tables = nullptr);
void UpdateAmplitude_3x8(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                         const float* value0, const float* contrast0, const float* value1,
                         const float* contrast1, const float* value2, const float* contrast2,
                         uint32_t width, uint32_t height, uint32_t mid,
                         const cAmplitudeTables* tables = nullptr);
void UpdateAmplitude_3x16(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                          const float* value0, const float* contrast0, const float* value1,
                          const float* contrast1, const float* value2, const float* contrast2,
                          uint32_t width, uint32_t height, uint32_t bits, uint32_t mid,
                          const cAmplitudeTables* tables = nullptr);
// Picks the 8-bit or the deeper variant.
void UpdateAmplitude_3(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                       const float* value0, const float* contrast0, const float* value1,
                       const float* contrast1, const float* value2, const float* contrast2,
                       uint32_t width, uint32_t height, uint32_t bits, uint32_t mid,
                       const cAmplitudeTables* tables = nullptr);

// Coarsest level, sequential on the caller's thread: the Gaussian planes are
// both the weight source and the value accumulated; `factor` (the level's
// weight factors) may be null.
void UpdateAmplitudeTop_x8(float* valueSum, float* weightSum, const float* gauss, uint32_t width,
                           uint32_t height, uint32_t mid, const float* factor = nullptr);
void UpdateAmplitudeTop_x16(float* valueSum, float* weightSum, const float* gauss, uint32_t width,
                            uint32_t height, uint32_t mid, uint32_t bits,
                            const float* factor = nullptr);
void UpdateAmplitudeTop_3x8(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                            const float* gauss0, const float* gauss1, const float* gauss2,
                            uint32_t width, uint32_t height, uint32_t mid,
                            const float* factor = nullptr);
void UpdateAmplitudeTop_3x16(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                             const float* gauss0, const float* gauss1, const float* gauss2,
                             uint32_t width, uint32_t height, uint32_t mid, uint32_t bits,
                             const float* factor = nullptr);
