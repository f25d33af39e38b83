#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "align/Ghost.h"
#include "align/GhostBlocks.h"

// Where a picture is kept out, the fusion would lose what it adds there (its
// exposure), and the fused tone would change under a moving thing. Repairing
// gives it back: the reference's pixels, mapped to the picture's brightness
// through the inverse of its curves, replace the picture's own by 1 - weight,
// and the picture keeps its full weight. Component by component: where the
// reference's sample is black, the picture's own value is only held within
// what that bound allows, and where it is clipped the picture's own is kept;
// the weights are raised only in blocks the reference exposes well nearly
// throughout.

// The picture's value (0..1) that maps to `value` on the reference's scale:
// 0 below the curve's start, 1 beyond its end (the picture would clip).
float InverseGhostCurve(const GhostCurve& curve, float value);

// Repairs `picture` (the reference's size and depth) where `weights` are
// below 1, and raises the weights to 1 in the blocks of which the reference
// has at most a tenth clipped or black (`referenceBounded`, shares of 255;
// the weights are emptied when every block is 1). Rows spread over the TBB pool.
// May throw std::bad_alloc.
void RepairFromReference(const SBxPicBuf& reference,
                         const std::array<GhostCurve, kGhostMaxComponents>& curves,
                         const std::vector<uint8_t>& referenceBounded, SBxPicBuf* picture,
                         GhostWeights* weights);
