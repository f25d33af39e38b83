#pragma once

// The accumulator's working planes: shared by the add step and the result
// step of the fusion, not for other callers.
#include <vector>

#include "fusion/AmplitudeKernels.h"
#include "fusion/FusionAccumulator.h"

// Planes of one add step: a Gaussian pyramid per component and one Laplacian
// plane per component, reused level after level (each level's weights are
// added as soon as its Laplacian exists). Kept between adds so that a series
// does not allocate and fault in hundreds of megabytes per picture.
struct cFusionWorkspace {
  std::vector<float> gauss[3][kFusionLevelSlots];
  std::vector<float> laplacian[3];
  cAmplitudeTables tables;  // finest-level terms, made on first use
  bool tablesReady = false;
};

// Two planes of the finest level's size for the result step to work in,
// when the accumulator still holds its working planes: they are already in
// memory, so the result needs no new memory. False when it holds none.
bool BorrowCollapseScratch(const cFusionAccumulator& acc, float** first, float** second);
