#pragma once

// The accumulator's working planes: shared by the add step and the result
// step of the fusion, not for other callers.
#include <cstddef>
#include <memory>

#include "fusion/AmplitudeKernels.h"
#include "fusion/FusionAccumulator.h"

// A plane left uninitialised when made: every working plane is written before
// it is read, and those first writes run in parallel, so the page faults of
// fresh memory are spread over the cores rather than taken by one zero-fill.
class WorkPlane {
 public:
  void resize(size_t count) {
    if (count == size_) return;
    data_.reset(new float[count]);
    size_ = count;
  }
  float* data() { return data_.get(); }
  const float* data() const { return data_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<float[]> data_;
  size_t size_ = 0;
};

// Planes of one add step: a Gaussian pyramid per component and one Laplacian
// plane per component, reused level after level (each level's weights are
// added as soon as its Laplacian exists). Kept between adds so that a series
// does not allocate and fault in hundreds of megabytes per picture.
struct cFusionWorkspace {
  WorkPlane gauss[3][kFusionLevelSlots];
  WorkPlane laplacian[3];
  cAmplitudeTables tables;  // finest-level terms, made on first use
  bool tablesReady = false;
};

// Two planes of the finest level's size for the result step to work in,
// when the accumulator still holds its working planes: they are already in
// memory, so the result needs no new memory. False when it holds none.
bool BorrowCollapseScratch(const cFusionAccumulator& acc, float** first, float** second);
