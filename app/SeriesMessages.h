#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "jobs/AlignedSeries.h"
#include "jobs/GhostPreview.h"
#include "jobs/SeriesPipeline.h"
#include "settings/TextIds.h"

// What the window tells the user about a series fusion and about memory, in the loaded
// language. Callable from a worker thread (the text table is).

// Why nothing was fused, as one part of a sentence ("no files to fuse", ...).
std::string FusionStatusText(SeriesFusionStatus status);
// "Cannot fuse the series: " and the reason.
std::string CannotFuseText(SeriesFusionStatus status);
// Why a file of the series was left out.
std::string SkipReasonText(SeriesSkipReason reason);
// The status line after a fusion: the first file left out, why, and how many more; or why
// nothing was fused; empty when every file was fused.
std::string FusionReportText(const SeriesFusionReport& report);

// The refusal of a job whose memory need cannot fit in what is available, naming the job
// and both amounts in MB; empty when it fits.
std::string MemoryRefusalText(TextId job, uint64_t need, uint64_t available);

// The status line once the motions of a series are known: how many pictures moved, the
// largest shift and rotation among them, and the first picture left as it was and why; or
// that nothing moved.
std::string AlignmentStatusText(const SeriesAlignment& alignment,
                                std::span<const std::filesystem::path> files);

// The status line once the ghosts of a series are found: how many pictures were kept out
// somewhere, of how many, and the largest share of one kept out; or that none was.
std::string GhostStatusText(const SeriesGhosts& ghosts);
