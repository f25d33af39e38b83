#pragma once

#include <filesystem>
#include <span>
#include <vector>

#include "align/Ghost.h"
#include "jobs/AlignedSeries.h"

// A series fused with its ghosts removed (`fuse --deghost`, aligned first or not): one
// pipeline for both front ends, on the aligned fusion's two passes.
//
// The reference picture (the one AlignSettings names, else the middle one) is decoded once: read
// on a thread of its own while the fusion reads its first files, or kept from the alignment's
// estimation, which reads it first; it is held until the last file is compared and copied to
// the fusion at its turn. Every picture is compared with it as it streams into the fusion, in
// input order: where it shows something else (a person who walked, water that moved) its fusion
// weights are lowered over that region, feathered, and its pixels there are replaced by the
// reference's mapped to its brightness, so the blend keeps every exposure (align/Ghost.h). The
// weights multiply the coverage of a moved picture. Memory: one picture more than the aligned
// fusion, and the detector's reduced data (about 20 MB at 12 megapixels), whatever the series'
// length. A still series gives the very bits of the fusion without ghost removal.

// The fusion's 8-bit weight factors of a picture's `region` (the whole picture as the fusion
// takes it, or the part a preview fuses): its ghost weights there times its coverage, which it
// takes (either may be absent: all 1 / empty). `factors` is left empty (every factor 1) when both
// are, and holds the coverage alone when the weights are all 1 or `region` does not lie inside
// them. True when memory ran out.
bool GhostFactors(const GhostWeights& weights, const CBxRect& region, SBxPicBuf* coverage,
                  SBxPicBuf* factors);

struct GhostFusionReport {
  AlignedFusionReport fused;
  // Per file, the share of the picture kept out (0..1); the reference's is 0.
  std::vector<float> rejected;
};

// With `aligned`, the pictures are aligned and fused as FuseAlignedFiles does (its stages, the
// crop with settings.crop); else they are fused where they lie and only settings.reference is
// read (stage "Fusing N pictures"). `strength` within parameter::kDeghostStrength. Cancel
// between files.
GhostFusionReport FuseDeghostedFiles(std::span<const std::filesystem::path> files, int exposure,
                                     bool requireAll, const AlignSettings& settings, bool aligned,
                                     int strength, JobProgress* progress, SBxPicBuf* output,
                                     const SeriesLoader& loader = {});
