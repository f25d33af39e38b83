#pragma once

// What `single` and `daylight` share: a series written by one of the
// generators into a folder, fused by the series fusion, written to OUT.

#include <string>

#include "cli/CliCommon.h"
#include "jobs/SeriesPipeline.h"

struct SeriesCommandOptions {
  std::string output;
  std::string input;
  std::string seriesDir;  // empty: a private folder removed afterwards
};

// Reads IN, generates the series, fuses its first `maxFiles` files with the
// exposure target and writes OUT with IN's metadata. Ctrl+C stops between
// files; the files this run wrote are then removed again.
int RunSeriesCommand(const SeriesCommandOptions& options, const CommonOptions& common,
                     const SeriesRequest& request, int exposure, int maxFiles);
