#pragma once

#include <filesystem>
#include <span>

#include "fusion/SeriesFusion.h"
#include "jobs/SeriesPictureCache.h"

// The preview of a fusion panel: the work region of every file fused on up to three
// threads (each with its own accumulator, merged at the end), from the pictures kept in
// `cache`. A file that cannot be read, or differs from the first, is skipped and listed in
// the report. `output` is allocated with the region's size when empty. A newer request stops
// it between files through the cancel flag of `progress`.
SeriesFusionReport FusePreview(SeriesPictureCache& cache,
                               std::span<const std::filesystem::path> files, const CBxRect& region,
                               int exposure, SBxPicBuf* output, JobProgress* progress = nullptr);

// The full-size fusion of a panel's OK from the pictures kept in `cache` (files past its
// bound are read again): bit for bit what FuseFiles gives for the same files.
SeriesFusionReport FuseFromCache(SeriesPictureCache& cache,
                                 std::span<const std::filesystem::path> files, int exposure,
                                 JobProgress* progress, SBxPicBuf* output);
