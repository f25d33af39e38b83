#pragma once

#include <filesystem>
#include <span>

#include "jobs/AlignedSeries.h"
#include "jobs/SeriesPictureCache.h"

// File `index`'s part over `region` on the reference's frame, as the aligned preview reads it,
// and its coverage when it moved. True when it cannot be read.
bool LoadAlignedPreviewRegion(SeriesPictureCache& cache, const std::filesystem::path& path,
                              const SeriesAlignment& alignment, int index, const CBxRect& region,
                              SBxPicBuf* picture, SBxPicBuf* coverage);

// The Multi Image preview over an aligned series: the work `region` of every file as the
// aligned series holds it, fused as FusePreview fuses. A moved picture is resampled over the
// region only, from the part of it kept in `cache` that the region needs, and weighted by
// its coverage; a still one, or one left as it was, is the region as kept. `output` is
// allocated with the region's size when empty.
SeriesFusionReport FuseAlignedPreview(SeriesPictureCache& cache,
                                      std::span<const std::filesystem::path> files,
                                      const SeriesAlignment& alignment, const CBxRect& region,
                                      int exposure, SBxPicBuf* output,
                                      JobProgress* progress = nullptr);

// FuseAlignedPreview, then the part of the fused region inside `rect` cut out into `preview`
// (empty when nothing was fused or `rect` does not lie inside `region`).
SeriesFusionReport FuseAlignedPreviewRect(SeriesPictureCache& cache,
                                          std::span<const std::filesystem::path> files,
                                          const SeriesAlignment& alignment, const CBxRect& region,
                                          const CBxRect& rect, int exposure, JobProgress* progress,
                                          SBxPicBuf* preview);

// Picture `index` of the series as the panel shows it while browsing: replaced by itself
// resampled onto the reference's frame when it moved (and has the reference's size), else left
// as it is. True when it moved but could not be resampled (memory); the picture is then as it
// was.
bool AlignShownPicture(const SeriesAlignment& alignment, int index, SBxPicBuf* picture);
