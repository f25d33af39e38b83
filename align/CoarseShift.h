#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "align/LumaPlanes.h"

// Whole-pixel shift search on rank-threshold bitmaps: each picture is cut at
// the values of a few shared ranks (its 20th, 35th, ... percentile), which
// depend on the scene and not on the exposure, and pixels close to a cut are
// left out. The shift that makes the most remaining bits agree wins: searched
// exhaustively on a coarse level, then refined by one pixel per finer level.

constexpr int kThresholdRanks = 5;

// A plane cut at its rank thresholds: bit k of `above` is set where the value
// exceeds threshold k, bit k of `clear` where it lies well away from it.
struct RankBitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> above;
  std::vector<uint8_t> clear;
};

// The plane's values at the shared ranks.
std::array<float, kThresholdRanks> RankThresholds(const LumaPlane& plane);
// Which ranks both pictures expose well (a bit per rank; every rank when none does).
uint8_t UsableRanks(const std::array<float, kThresholdRanks>& a,
                    const std::array<float, kThresholdRanks>& b);
void CutAtRanks(const LumaPlane& plane, const std::array<float, kThresholdRanks>& thresholds,
                uint8_t ranks, RankBitmap* bitmap);

struct ShiftCandidate {
  int dx = 0;
  int dy = 0;
  double disagreement = 1.0;  // share of comparable bits that differ
  int64_t compared = 0;
};

// The shift d (moving(p + d) matches reference(p)) within [-radius, radius]^2
// around (centreX, centreY) that makes the most bits agree; ties go to the
// shift nearest the centre.
ShiftCandidate SearchShift(const RankBitmap& reference, const RankBitmap& moving, int centreX,
                           int centreY, int radius);
