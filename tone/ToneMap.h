#pragma once

#include <cstdint>

#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"

// Local Laplacian tone mapping: every Laplacian coefficient of the picture is
// recomputed from a copy of its neighbourhood remapped about the local Gaussian
// value, with a curve that boosts or flattens small differences (details) and
// compresses or stretches large ones (edges).

struct ToneMapParams {
  int levels = 5;              // pyramid levels L
  double threshold = 0.0;      // detail/edge threshold, fraction of full scale
  double noise = 0.0;          // amplitude below which differences are left alone
  double power = 1.0;          // exponent of the detail curve (< 1 enhances details)
  double slope = 0.5;          // half the gain of an edge beyond the threshold
  bool useExtraColors = true;  // colour pictures: also process the two chroma components
};

constexpr int kToneMapLevels = 5;

// Processing size of one side: whole blocks of 2^levels with at least one spare
// block (1000 -> 1056 and 1024 -> 1056 for five levels).
int ToneMapPaddedSize(int size, int levels);

// Progress steps of one LocalLaplacianToneMap call: 3 * levels per processed plane.
int ToneMapProgressSteps(const SBxPicBuf& src, const ToneMapParams& params);

// Tone-maps src into dst, which must already have src's geometry and depth (8 or
// 16 bits, 1 or 3 components). Advances progress by 3 * levels per plane and stops
// early when its cancel flag is raised; dst then holds src (through the colour
// round trip for colour pictures). Returns true when the picture was not processed
// (cancelled, unsupported format, parameters out of range, or out of memory);
// dst is then a copy of src whenever their geometry matches.
bool LocalLaplacianToneMap(SBxPicBuf* dst, const SBxPicBuf* src, const ToneMapParams& params,
                           JobProgress* progress);

// The engine on one float plane (values on a 0..255 scale): out and in are
// one-component 32-bit float pictures of the same size, both multiples of
// 2^levels. Returns true when it stopped early (cancel flag or memory); out then
// holds a copy of in.
bool RemapPyramidPlane(SBxPicBuf* out, const SBxPicBuf* in, int levels, double threshold,
                       double noise, double power, double slope, JobProgress* progress);
// The same on packed planes of width x height floats.
bool RemapFloatPlane(float* out, const float* in, int width, int height, int levels,
                     double threshold, double noise, double power, double slope,
                     JobProgress* progress);

// Fills the margin of a picture padded to the right and bottom: each row y < height
// repeats its pixel width - 1 out to the picture's width, then every row from
// height on repeats row height - 1. 8-bit samples and 16-bit samples.
void PadReplicateEdges(SBxPicBuf* picture, int width, int height);

// Element-wise over width x height packed floats; dst may be a or b.
void FloatPlaneSubtract(float* dst, const float* a, const float* b, int width, int height);
void FloatPlaneAdd(float* dst, const float* a, const float* b, int width, int height);
void FloatPlaneScale(float* plane, int width, int height, float factor);
