#pragma once

#include <cstdint>
#include <vector>

#include "picture/SBxPicBuf.h"
#include "pyramid/Pyramid.h"

// Smart Contrast: a gain per level of the Laplacian pyramid of every colour
// component. The source is padded and decomposed once; each change of the eight
// "Levels of details" gains then only collapses the pyramid again, with level k
// multiplied by lod[k] / 10 (10 everywhere gives the picture back).

constexpr int kSmartContrastSliders = 8;
// The gains the engine accepts; others are limited to them.
constexpr int kSmartContrastLodMin = 0;
constexpr int kSmartContrastLodMax = 30;
constexpr int kSmartContrastMaxPlanes = 3;
constexpr int kSmartContrastLevelSlots = 11;

struct SmartContrastPyramid {
  uint32_t components = 0;  // of the padded source; at most three are decomposed
  uint32_t bitsPerComponent = 0;
  uint32_t width = 0;  // of the padded source
  uint32_t height = 0;
  uint32_t levelCount = 0;  // Laplacian levels L, 0..8
  uint32_t levelWidth[kSmartContrastLevelSlots] = {};
  uint32_t levelHeight[kSmartContrastLevelSlots] = {};
  float kernel[kPyramidKernelSize] = {};
  // Gaussian levels 0..L and Laplacian levels 0..L-1 of each decomposed component.
  // Only gauss[c][0..L-1] change when the pyramid is collapsed; the rest is kept
  // from the decomposition, so collapses can be repeated with new gains.
  std::vector<float> gauss[kSmartContrastMaxPlanes][kSmartContrastLevelSlots];
  std::vector<float> laplace[kSmartContrastMaxPlanes][kSmartContrastLevelSlots];
};

// The working set of an open Smart Contrast panel. Release with
// SmartContrastRelease (the destructor does it too).
struct SmartContrastState {
  SBxPicBuf paddedSource;
  SBxPicBuf paddedResult;
  int offsetX = 0;  // where the source lies inside the padded pictures
  int offsetY = 0;
  int sourceWidth = 0;
  int sourceHeight = 0;
  SmartContrastPyramid pyramid;
  int lod[kSmartContrastSliders] = {10, 10, 10, 10, 10, 10, 10, 10};

  SmartContrastState() = default;
  SmartContrastState(const SmartContrastState&) = delete;
  SmartContrastState& operator=(const SmartContrastState&) = delete;
  ~SmartContrastState();
};

// Laplacian levels for a picture: the halvings of the shorter side made while it
// is at least 11, at most 8 (1000 x 600 -> 6). Below 11 pixels: 0.
uint32_t SmartContrastLevelCount(uint32_t width, uint32_t height);
// Padded size of one side for L levels: whole blocks of 2^L, at least four spare
// ones, so the coarsest level is at least 5 wide (1000 -> 1280 for L = 6).
uint32_t SmartContrastPaddedSize(uint32_t size, uint32_t levels);

// Pads the source (centred, its edges repeated outwards) and decomposes it.
// Returns true on failure (source not 8/16-bit with 1 or 3 components, or out of
// memory). A source whose shorter side is below 11 pixels gets no levels and
// comes back unchanged from every SmartContrastApply.
bool SmartContrastPrepare(SmartContrastState* state, const SBxPicBuf* source);
// Fills the pyramid from a padded picture; true when memory ran out (planes made
// so far stay in the pyramid and go with it).
bool SmartContrastDecompose(SmartContrastPyramid* pyramid, const SBxPicBuf* picture,
                            uint32_t maxLevels);
// Collapses every component with the gains lod[k] / 10 (lod limited to 0..30)
// into state->paddedResult. Non-zero, writing nothing, when the pyramid does not
// match paddedResult (bits per component, width or height).
int SmartContrastApply(SmartContrastState* state, const int lod[kSmartContrastSliders]);
// Collapses component c with the given gains into the one-component picture out
// (padded size): samples clamped to their range and truncated.
void SmartContrastRebuild(SBxPicBuf* out, SmartContrastPyramid* pyramid,
                          const float gains[kSmartContrastSliders], uint32_t component);
// The source-sized window of paddedResult into result (source's geometry).
void SmartContrastCopyResult(SBxPicBuf* result, const SmartContrastState& state);
// Every margin pixel of the padded picture repeats the nearest pixel of the
// width x height area at (offsetX, offsetY): first along the area's rows, then
// whole rows above and below. Any sample depth.
void PadReplicateAround(SBxPicBuf* picture, int offsetX, int offsetY, int width, int height);
void SmartContrastRelease(SmartContrastState* state);
