#pragma once

#include "app/Jobs.h"
#include "jobs/SeriesPipeline.h"

struct AppState;

// The desktop program's series job: the series of the work picture into the program's
// temporary folder (every file of an earlier series goes first), listed in the source
// list for the fusion panel that opens next. A stopped or failed run takes its files away
// again.
JobResult RunSeriesJob(AppState& state, const SeriesRequest& request, JobProgress& progress);
