#pragma once

#include <cstdint>
#include <vector>

#include "align/Ghost.h"
#include "picture/SBxPicBuf.h"

// The ghost detector's view of a picture: square blocks with the mean and the
// spread of each compared component on a 0..1 scale, and whether a block
// holds clipped or black pixels (its mean is then only a bound).

// A sample at or beyond these (of full scale) is clipped or black: the
// scene's value there is only known to be above or below.
constexpr float kClipLevel = 0.97f;
constexpr float kBlackLevel = 0.03f;

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
  // Per block: the share of its pixels with a clipped or black component, of 255.
  std::vector<uint8_t> bounded;
  // Noise of a single pixel (0..1), from the calmest well-exposed blocks.
  float noise = 0.0f;
  // Every block divided into 4 x 4 cells of `block / 4` pixels (BlockCells):
  // they tell the structure inside a block, which its mean and spread do not.
  // Summed from the pixels when compared, never held for a whole picture.
  int cellColumns = 0;
  int cellRows = 0;

  int Count() const { return columns * rows; }
};

// Block side for a picture: a multiple of 4, at least 8, and at most about
// 512 blocks along the longer side.
int GhostBlockSide(int width, int height);

// Whether the detector can take the picture: 8 or 16 bits, 1 to 4
// components, sides of at least 8.
bool GhostSupported(const SBxPicBuf& picture);

// The blocks of a supported picture, rows spread over the TBB pool. May throw
// std::bad_alloc.
void ReduceToBlocks(const SBxPicBuf& picture, int block, GhostBlocks* blocks);

constexpr int kCellsPerSide = 4;
constexpr float kCellHighLevel = 0.85f;
constexpr float kCellLowLevel = 0.1f;

// The luminance of every cell of `picture` (reduced into `blocks`): 0.114 B
// + 0.587 G + 0.299 R, or the one component, with each component mapped
// through `curves` (null: as it is); with `boundedCells`, per block the mask
// BlockCells gives. May throw std::bad_alloc.
std::vector<float> CellLuma(const SBxPicBuf& picture, const GhostBlocks& blocks,
                            const GhostCurve* curves,
                            std::vector<uint16_t>* boundedCells = nullptr);
// The same for one cell's `components` values.
float CellLumaOf(const uint16_t* cell, int components, const GhostCurve* curves);

// BlockCells of the blocks of row r of blocks, block by block: block c's
// cells at out + c * 16 * components, for the blocks `wanted` marks (non-zero
// per block of the row; null: every block). `out` holds a row of blocks' cells;
// `bounded`, when given, a mask per block of the row as BlockCells returns it
// (those of blocks not wanted are left as they are).
void BlockRowCells(const SBxPicBuf& picture, const GhostBlocks& blocks, int r,
                   const uint8_t* wanted, uint16_t* out, uint16_t* bounded = nullptr);

// The means of the cells of block b of `picture` (reduced into `blocks`) per
// component on the 0..65535 scale, row by row: cell (cx, cy) of the block at
// (cy * 4 + cx) * components. `out` holds 4 x 4 cells. Returns the cells
// holding a sample near the ends of the scale (kCellHighLevel, kCellLowLevel),
// bit cy * 4 + cx: their means are bounds, or lie where a camera's tone curve
// bends and the map between pictures is least sure, while the rest of a
// partly clipped block still shows its structure.
uint16_t BlockCells(const SBxPicBuf& picture, const GhostBlocks& blocks, int b, uint16_t* out);

// The map of component k of `picture` onto `reference` (blocks of the same
// picture size), from the blocks well exposed in both. False when too few
// values are shared to tell (the curve is then the identity).
bool EstimateGhostCurve(const GhostBlocks& picture, const GhostBlocks& reference, int k,
                        GhostCurve* curve);
