#pragma once

#include <cstdint>

#include "picture/SBxPicBuf.h"
#include "pyramid/Pyramid.h"

// Exposure fusion of any number of pictures of one scene in a Laplacian
// pyramid. Each added picture is decomposed level by level; every pixel of
// every level gets a weight from the level's Gaussian image (contrast,
// well-exposedness, and for colour saturation), and the accumulator keeps per
// component and level the running sums of the weight and of weight x value.
// Pictures are added one at a time in any order; accumulators built from
// disjoint parts of a series on different threads are merged by summation.
// Nothing of an added picture is kept, so memory does not grow with the
// number of pictures.
//
// Results are one byte: 0 success, 1 failure.
//
// Calling order: FusionInit (geometry only, sums zero), FusionAddPicture for
// every picture including the first, optionally FusionMerge, FusionResult
// (any number of times), FusionFree. One accumulator is used by one thread at
// a time; inside an add step the work is spread over the TBB pool.

constexpr uint32_t kFusionLevelSlots = 11;
constexpr uint32_t kFusionMaxLevel = 7;
// The coarsest level keeps at least this many pixels on its shorter side, so
// the fused picture always keeps its low-frequency base.
constexpr uint32_t kFusionMinCoarseSide = 5;
// Pictures whose shorter side is below this cannot be fused (no level fits).
constexpr int kFusionMinPictureSide = 10;

struct cFusionComponent {
  float* weightSum[kFusionLevelSlots] = {};  // levels 0..n
  float* valueSum[kFusionLevelSlots] = {};
};

struct cFusionWorkspace;  // working planes of the add step, kept between adds

struct cFusionAccumulator {
  uint32_t components = 0;
  uint32_t bitsPerComponent = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levelCount = 0;  // n: levels 0..n exist
  uint32_t levelWidth[kFusionLevelSlots] = {};
  uint32_t levelHeight[kFusionLevelSlots] = {};
  float kernel[kPyramidKernelSize] = {};
  uint32_t exposure = 0;  // exposure target in 8-bit units
  // One record per component. For three-component (colour) pictures the three
  // records share one weight-sum plane per level: a colour picture gets one
  // weight per pixel, so the three sums are always equal, and sharing saves a
  // third of the accumulator's memory.
  cFusionComponent* componentRecords = nullptr;
  cFusionWorkspace* workspace = nullptr;
};

// n for a picture: the largest n <= 7 whose level keeps a shorter side of at
// least 5 (3000 x 2000, 1024 x 768 and 767 x 767 give 7; 640 x 480 gives 6).
uint32_t FusionLevelCount(uint32_t width, uint32_t height);
// Whether pictures of this geometry can be fused: 8 or 16 bits per component,
// at least one component, both sides at least kFusionMinPictureSide.
bool FusionGeometrySupported(const SBxPicBuf& picture);

// Takes the geometry of `first` (its pixels are not read, nor added) and the
// exposure target, and zeroes the sums. 1 when the geometry is not supported
// or memory runs out; the accumulator may then only be given to FusionFree.
// An accumulator that held sums is released first.
uint8_t FusionInit(cFusionAccumulator* acc, const SBxPicBuf* first, uint32_t exposure);
// Adds one picture. 1, with the sums unchanged, when its component count,
// bits, width or height differ from the accumulator's or it has no pixels;
// 1 when memory runs out (levels already updated stay updated).
uint8_t FusionAddPicture(cFusionAccumulator* acc, const SBxPicBuf* picture);
// Adds one picture whose weights are scaled by a caller's factors: `factors`
// is one component of the picture's width and height, 8 bits (a sample s is
// the factor s / 255, so 255 is exactly 1) or 32-bit float (limited to
// [0, 1]). Every weight of level 0 is multiplied by its pixel's factor, and
// those of a coarser level by the factor plane reduced to that level as the
// picture is: a factor of 0 over an area keeps the picture out of the result
// there. Where every picture added has the factor 0, the fused detail is 0 and
// the coarsest level black, so callers keep one picture's factors positive.
// A null `factors` is FusionAddPicture. 1, with the sums unchanged, as for
// FusionAddPicture, or when the factors do not fit the picture.
uint8_t FusionAddWeightedPicture(cFusionAccumulator* acc, const SBxPicBuf* picture,
                                 const SBxPicBuf* factors);
// acc's sums += other's sums. Both must come from FusionInit with the same
// geometry and exposure; 1 (nothing changed) when the geometry differs.
uint8_t FusionMerge(cFusionAccumulator* acc, const cFusionAccumulator* other);
// Releases the sums, the records and the working planes. Safe on an
// accumulator that was never initialised or whose FusionInit failed.
uint8_t FusionFree(cFusionAccumulator* acc);
// Releases the working planes of the add step (the next add makes them again).
void FusionReleaseWorkspace(cFusionAccumulator* acc);

// The fused picture (see FusionResult.cpp). `picture` must have the
// accumulator's bits, width and height; its component count decides whether
// component 0 only (one component) or every component is written. The sums
// are only read, so results of one accumulator may be made at the same time;
// each needs two planes of level 1's size.
uint8_t FusionResult(SBxPicBuf* picture, const cFusionAccumulator* acc);
// One component: the collapsed normalised pyramid of `record` into the
// one-component `picture`.
uint8_t FusionComposeComponent(SBxPicBuf* picture, const cFusionComponent* record,
                               const cFusionAccumulator* acc);
