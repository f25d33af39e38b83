#pragma once

// What `single` and `daylight` share: a series made by one of the generators,
// fused by the series fusion (straight from memory, or through the files of
// --series-dir), written to OUT.

#include <string>

#include "cli/CliCommon.h"
#include "jobs/SeriesPipeline.h"

struct SeriesCommandOptions {
  std::string output;
  std::string input;
  std::string seriesDir;  // empty: the series is fused as it is made, with no files
};

// Reads IN, generates the series, fuses its first `maxFiles` files with the
// exposure target and writes OUT with IN's metadata, the same bits with or
// without a series folder. Ctrl+C stops between pictures; the files this run
// wrote are then removed again.
int RunSeriesCommand(const SeriesCommandOptions& options, const CommonOptions& common,
                     const SeriesRequest& request, int exposure, int maxFiles);
