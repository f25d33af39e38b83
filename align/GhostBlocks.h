#pragma once

#include <cstdint>
#include <vector>

#include "align/Ghost.h"
#include "picture/SBxPicBuf.h"

// The ghost detector's view of a picture: square blocks with the mean and the
// spread of each compared component on a 0..1 scale, and whether a block
// holds clipped or black pixels (its mean is then only a bound).

constexpr uint8_t kBlockClipped = 1;
constexpr uint8_t kBlockBlack = 2;
// Components compared: the colour ones of a colour picture, else the first.
constexpr int kGhostMaxComponents = 3;

struct GhostBlocks {
  int columns = 0;
  int rows = 0;
  int block = 1;
  int components = 1;
  std::vector<float> mean;     // (r * columns + c) * components + k
  std::vector<float> spread;   // per block: the largest standard deviation of a component
  std::vector<uint8_t> flags;  // per block: kBlockClipped | kBlockBlack
  // Noise of a single pixel (0..1), from the calmest well-exposed blocks.
  float noise = 0.0f;

  int Count() const { return columns * rows; }
};

// Block side for a picture: at least 4, and at most about 512 blocks along
// the longer side.
int GhostBlockSide(int width, int height);

// Whether the detector can take the picture: 8 or 16 bits, 1 to 4
// components, sides of at least 8.
bool GhostSupported(const SBxPicBuf& picture);

// The blocks of a supported picture, rows spread over the TBB pool. May throw
// std::bad_alloc.
void ReduceToBlocks(const SBxPicBuf& picture, int block, GhostBlocks* blocks);

// The map of component k of `picture` onto `reference` (blocks of the same
// picture size), from the blocks well exposed in both. False when too few
// values are shared to tell (the curve is then the identity).
bool EstimateGhostCurve(const GhostBlocks& picture, const GhostBlocks& reference, int k,
                        GhostCurve* curve);
