#pragma once

#include <cstdint>

#include "picture/SBxPicBuf.h"
#include "single/ProcessorCount.h"

// The denoiser of the brightened synthetic exposures: non-local means on
// luma/chroma planes, large pictures cut into overlapping tiles, the search
// offsets shared out over threads.
//
// Every entry point returns 0 when the destination holds the filtered picture
// and 1 when it could not filter (memory, or a picture it does not take); the
// destination then holds the unfiltered source, never a partial result. The
// source is never changed.

// Noise levels in sample units of the 8-bit luma; negative means not yet
// measured. One record serves every exposure of a series, so the noise is
// measured once, on the first picture denoised.
struct NoiseRecord {
  double luma = -1.0;
  double chroma = -1.0;
};

// One plane (1 component, 8 or 16 bits). Odd sizes are filtered at the next
// even size with a zero row or column added, then cropped back. noise < 0 is
// measured on the plane; otherwise it is divided by
// 1 + (levelFactor - 1) * 4 / 20. Planes narrower than 3 columns come back
// unchanged. threadCount 1 runs on the calling thread, more uses up to 16.
uint8_t DenoisePlane(SBxPicBuf* dst, const SBxPicBuf* src, double strength, double levelFactor,
                     double noise, int threadCount);

// One tile by colour model: grey is one luma plane; colour is filtered in
// luma/chroma, the chroma planes with twice the chroma noise.
uint8_t DenoisePicture(SBxPicBuf* dst, const SBxPicBuf* src, double lumaStrength,
                       double chromaStrength, double levelFactor, const NoiseRecord* noise,
                       int threadCount);

// A whole picture: measures the noise into the record when it is not yet
// measured, then filters pictures below 1000 x 1000 in one piece and larger
// ones in tiles of at most 1000 x 1000, each with 100 pixels of its
// surroundings on every side.
uint8_t DenoiseTiled(SBxPicBuf* dst, const SBxPicBuf* src, double lumaStrength,
                     double chromaStrength, double levelFactor, NoiseRecord* noise,
                     int threadCount);

// The tiles DenoiseTiled cuts a picture into: their count and size (the last
// row and column may be smaller).
struct TileGrid {
  int columns = 1, rows = 1;
  int tileWidth = 0, tileHeight = 0;
};
TileGrid DenoiseTileGrid(int width, int height);
