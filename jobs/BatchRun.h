#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jobs/AlignedSeries.h"
#include "jobs/BatchPlan.h"
#include "jobs/ResultWrite.h"
#include "picture/JobProgress.h"
#include "settings/Parameters.h"

// Running a batch: every series of a plan fused at full size, as `fuse` fuses one (every
// picture required, one accumulator, the same bits), and written safely beside the others.

struct BatchSeriesResult;

struct BatchGhostOptions {
  int strength = parameter::kDeghostStrength.defaultValue;  // limited to its range
  // The picture the others are compared with, from 1, as AlignSettings::reference (the
  // series' middle picture when beyond it); `align`'s own when the series are aligned.
  int reference = parameter::kAlignReferenceMiddle;
};

struct BatchRunOptions {
  int exposure = parameter::kExposure.defaultValue;  // limited to its range
  // Fuse and write a series whose result exists already; otherwise it counts as done, so
  // that a batch that was stopped goes on where it stopped.
  bool overwrite = false;
  ResultWriteOptions write;  // metadata from each series' first picture
  // Each series aligned before it is fused, as `fuse --align` does; a reference beyond a
  // series' pictures means that series' middle picture.
  std::optional<AlignSettings> align;
  // Told of the motions found in each aligned series, on the thread that runs the batch.
  std::function<void(size_t series, const SeriesAlignment& alignment)> aligned;
  // Ghost removal in each series, as `fuse --deghost` removes them, after alignment when
  // `align` is set.
  std::optional<BatchGhostOptions> deghost;
  // Told of the share of each picture kept out, per series, on the thread that runs the batch.
  std::function<void(size_t series, const std::vector<float>& rejected)> deghosted;
  // Told of each series as soon as the run is done with it (fused, kept, left as it is or
  // failed; not a series the batch was stopped in), on the thread that runs the batch, so that
  // a failure can be shown while the others go on. `series` counts from 0.
  std::function<void(size_t series, const BatchSeriesResult& result)> seriesDone;
};

enum class BatchSeriesStatus : uint8_t {
  kNotRun,         // the batch was stopped before (or while) the series ran
  kFused,          // its result was written
  kAlreadyDone,    // its result existed and was kept
  kNothingToFuse,  // a single picture: left as it is
  kFailed,         // see `problem`
};

struct BatchSeriesResult {
  BatchSeriesStatus status = BatchSeriesStatus::kNotRun;
  std::string problem;  // with kFailed: why, naming the file at fault
};

struct BatchRunSummary {
  std::vector<BatchSeriesResult> series;  // one per series of the plan, in its order
  int fused = 0;
  int alreadyDone = 0;
  int nothingToFuse = 0;
  int failed = 0;
  bool cancelled = false;

  bool AnyFailed() const { return failed > 0; }
  // "41 series fused, 1 failed: series 7: "IMG_0031.jpg" cannot be read ...", and how far a
  // stopped batch came.
  std::string Text() const;
};

// Runs the plan's series in order. A series that fails (a picture that cannot be read or has
// another size, a result that cannot be written, not enough memory for its pictures) is
// reported and the batch goes on. While a series' result is written, the first picture of the
// next series is decoded on a second thread, so both processors stay busy; the fusion's
// memory is released by then, so the batch never needs more memory than one series.
//
// Progress: a stage per series ("Series 3 of 42: fusing 5 pictures", "Series 3 of 42: writing
// NAME"), with the batch's range over all series. Cancel is heeded between series and between
// the pictures of a series; a result being written is finished, so no partial file is left and
// a cancelled series has no result.
BatchRunSummary RunBatch(const BatchPlan& plan, const BatchRunOptions& options,
                         JobProgress* progress);
