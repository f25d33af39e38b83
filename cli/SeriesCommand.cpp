#include "cli/SeriesCommand.h"

#include <filesystem>
#include <optional>

#include "cli/PictureJob.h"
#include "jobs/MemoryNeed.h"

namespace fs = std::filesystem;

namespace {

// One line for a series that could not be made (its files are gone again).
int ReportSeriesFailure(const SeriesOutcome& outcome, const fs::path& folder,
                        const fs::path& input) {
  switch (outcome.status) {
    case SeriesStatus::kCancelled:
      ReportError("interrupted");
      break;
    case SeriesStatus::kUnsupported:
      ReportUnsupported(input);
      break;
    case SeriesStatus::kFolderUnusable:
      ReportError(Quoted(folder) + ": the series folder cannot be created or read");
      break;
    case SeriesStatus::kWriteFailed:
      ReportError(Quoted(outcome.failedPath) + ": the series file could not be written");
      break;
    default:
      ReportError("not enough memory for the series");
      break;
  }
  return kExitFailure;
}

int ReportFusionFailure(const SeriesFusionReport& report) {
  if (!report.skipped.empty()) {
    const SeriesSkippedFile& bad = report.skipped.front();
    ReportError(Quoted(bad.path) + ": " + SeriesSkipReasonText(bad.reason));
  } else if (report.status == SeriesFusionStatus::kCancelled) {
    ReportError("interrupted");
  } else {
    ReportError(SeriesFusionStatusText(report.status));
  }
  return kExitFailure;
}

}  // namespace

int RunSeriesCommand(const SeriesCommandOptions& options, const CommonOptions& common,
                     const SeriesRequest& request, int exposure, int maxFiles) {
  std::optional<SeriesFolderLease> folder;  // held until the output is written
  PictureJob job;
  job.output = options.output;
  job.input = options.input;
  job.memoryJob = "fusing the series";
  job.memoryNeed = [](const SBxPicBuf& picture) { return FusionBytes(picture); };
  job.keepMask = false;
  job.run = [&](const InputPicture& input, JobProgress* progress, SBxPicBuf* fused) {
    SeriesPipelineResult result;
    if (options.seriesDir.empty()) {
      // Nobody needs the series on disk: each picture goes into the fusion as it is made.
      result = StreamSeriesPipeline(*input.picture, request, exposure, maxFiles, progress, fused);
    } else {
      folder.emplace(SeriesFolderLease::UserFolder(options.seriesDir));
      if (folder->InUse()) {
        ReportError(Quoted(folder->Folder()) + ": the series folder is in use by another run");
        return kExitFailure;
      }
      result = RunSeriesPipeline(*input.picture, request, folder->Target(request), exposure,
                                 maxFiles, progress, fused);
    }
    if (result.series.status != SeriesStatus::kCompleted)
      return ReportSeriesFailure(result.series, options.seriesDir, input.path);
    if (!result.Fused()) return ReportFusionFailure(result.fusion);
    return kExitSuccess;
  };
  return RunPictureJob(job, common);
}
