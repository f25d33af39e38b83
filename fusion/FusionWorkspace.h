#pragma once

// The accumulator's working planes and the add step: shared by the
// accumulator's files, not for other callers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <tbb/enumerable_thread_specific.h>

#include "fusion/AmplitudeKernels.h"
#include "fusion/FusionAccumulator.h"
#include "fusion/PlaneMemory.h"

// Rows of one band of a level, made and used by one task: the Gaussian rows
// (level 0 converted from the picture) and the Laplacian rows of the band.
struct cBandScratch {
  std::vector<float> gauss;
  std::vector<float> laplacian;
  std::vector<float> factor;  // the band's weight factors at level 0
};

// Planes of the add step: the Gaussian pyramid of each component from level 1
// on. Level 0 and every Laplacian level are made band by band in small
// buffers and used at once, so a picture's full-size planes never exist as
// floats. Kept between adds so that a series does not fault in fresh memory
// for every picture.
struct cFusionWorkspace {
  WorkPlane gauss[3][kFusionLevelSlots];
  // The weight factors of a weighted add, reduced as the picture is (levels 1..n).
  WorkPlane factor[kFusionLevelSlots];
  cAmplitudeTables tables;  // finest-level terms, made on first use
  bool tablesReady = false;
  tbb::enumerable_thread_specific<cBandScratch> bands;
};

// Rows of the fusion's bands: a band's planes stay in the processor's cache
// between the steps that make and use them.
constexpr uint32_t kFusionBandRows = 8;

// Adds one picture of the accumulator's geometry into its sums, its weights
// multiplied by `factors` when given (checked by the caller: one component,
// the picture's size, 8 bits or float). Throws std::bad_alloc when memory
// runs out.
void AddPictureToSums(cFusionAccumulator* acc, const SBxPicBuf& picture,
                      const SBxPicBuf* factors = nullptr);

// Pixels of level l, and whether it is large enough to be filtered and weighted.
inline size_t FusionLevelSize(const cFusionAccumulator& acc, uint32_t l) {
  return static_cast<size_t>(acc.levelWidth[l]) * acc.levelHeight[l];
}
inline bool FusionLevelFilterable(const cFusionAccumulator& acc, uint32_t l) {
  return acc.levelWidth[l] >= kFusionMinCoarseSide && acc.levelHeight[l] >= kFusionMinCoarseSide;
}

// The exposure target in the pictures' sample units.
inline uint32_t FusionMid(const cFusionAccumulator& acc) {
  return (1u << (acc.bitsPerComponent - 8)) * acc.exposure;
}

// A buffer of at least `count` floats from `storage`, grown when needed.
inline float* ScratchOf(std::vector<float>* storage, size_t count) {
  if (storage->size() < count) storage->resize(count);
  return storage->data();
}
