#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "align/Ghost.h"
#include "jobs/AlignedSeries.h"
#include "jobs/SeriesPictureCache.h"

// Ghost removal in the Multi Image preview. The series is compared once, in the background,
// as `fuse --deghost` compares it (the same reference, strength and order, on the pictures
// aligned or as they lie), and what was found is kept for the series: per picture its weights
// at block resolution and the pixels the repair gave back (only where it kept something out).
// Every preview then fuses its work region with those weights, without reading the series
// again; the overlay shows where pictures were kept out.

enum class SeriesGhostStatus { kEstimated, kCancelled, kOutOfMemory };

// Pixels of a picture as the repair left them, and where they lie.
struct RepairedPart {
  CBxRect at;
  std::shared_ptr<ScopedPicBuf> pixels;
};

// What the comparison of a series found.
struct SeriesGhosts {
  SeriesGhostStatus status = SeriesGhostStatus::kOutOfMemory;
  int strength = 0;
  bool aligned = false;
  CBxSize size;  // the reference's; 0 x 0 when it could not be read (nothing is kept out)
  // Per file, the weights as compared (what the overlay shows) and the share kept out (0..1).
  std::vector<GhostWeights> found;
  std::vector<float> rejected;
  // Per file, the weights the fusion uses: those after the repair where it was kept.
  std::vector<GhostWeights> factors;
  // Per file, the parts of the picture the repair changed (none where nothing was kept out).
  std::vector<std::vector<RepairedPart>> repaired;

  // Pictures with something kept out, and the largest share kept out of one of them.
  int KeptOutCount() const;
  float LargestShare() const;
};

// Compares every file with the reference (AlignSettings' default, the middle one) at
// `strength`; with `alignment`, on the pictures as it moves them. Stage "Finding ghosts in N
// pictures", a step per file; cancel between files. Memory: the reference and one picture
// while comparing; kept, the weights and the repaired parts (as large as what was kept out).
SeriesGhosts EstimateSeriesGhosts(std::span<const std::filesystem::path> files,
                                  const SeriesAlignment* alignment, int strength,
                                  JobProgress* progress, const SeriesLoader& loader = {});

// The preview over a series with its ghosts found: the work `region` of every file (aligned
// with `alignment` when given, weighted by its coverage), the repaired pixels pasted in, fused
// with the found weights as each picture's factors; then the part inside `rect` cut out into
// `preview` (empty when nothing was fused or `rect` does not lie inside `region`).
SeriesFusionReport FuseGhostPreviewRect(SeriesPictureCache& cache,
                                        std::span<const std::filesystem::path> files,
                                        const SeriesAlignment* alignment,
                                        const SeriesGhosts& ghosts, const CBxRect& region,
                                        const CBxRect& rect, int exposure, JobProgress* progress,
                                        SBxPicBuf* preview);

// Where pictures were kept out, over the reference's frame: one 8-bit component, 255 times
// the most any picture was kept out at that pixel (1 - its lowest weight), 0 where every
// picture is fused. True (plane emptied) when there is no frame or memory ran out.
bool GhostOverlayPlane(const SeriesGhosts& ghosts, SBxPicBuf* plane);
