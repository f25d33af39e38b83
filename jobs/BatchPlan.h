#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "jobs/BatchGrouping.h"
#include "jobs/BatchNaming.h"

// What a batch will do before it does anything: the pictures found, their series, each
// series' result. This is the list a dry run shows; the run takes it as it stands.

struct CollectedFiles {
  std::vector<std::filesystem::path> files;
  std::string refusal;  // an input that is neither a file nor a folder; empty when all are
};

// The pictures named by files and folders. A file is taken as given (a device or a pipe is
// refused); a folder gives its image
// files (.jpg .jpeg .tif .tiff .png .bmp, any case; not its sub-folders) but no hidden file
// (a write in progress). A file named twice is taken once.
CollectedFiles CollectBatchFiles(std::span<const std::filesystem::path> inputs);

struct BatchPlanRequest {
  GroupingRequest grouping;
  std::string pattern = std::string(kDefaultOutputPattern);
};

struct BatchPlan {
  std::vector<BatchSeries> series;
  std::vector<std::filesystem::path> outputs;  // one per series
  // Pictures that are results, of an earlier run or of this very plan: left out of the
  // series.
  std::vector<std::filesystem::path> leftOut;
  // Why there is no plan, in words for the user; empty when there is one.
  std::string refusal;
};

// Groups the pictures and names their results, leaving out the results among the pictures,
// so that a batch run again over the same files makes the same series: pictures named
// "...-vtx" (the mark of a fused picture), the result another picture would have as a
// series' first, and the results of the plan itself. A pattern that names a series' result
// after itself (one that would write over its first picture) is refused.
BatchPlan PlanBatch(std::vector<BatchPicture> pictures, const BatchPlanRequest& request);

// The plan as the dry run lists it: per series its number, its result, why it ended and each
// picture with its capture data.
std::string DescribeBatchPlan(const BatchPlan& plan);
