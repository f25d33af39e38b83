#include "cli/SeriesCommand.h"

#include <atomic>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Set by the interrupt handler, read by the jobs between files.
std::atomic<uint8_t> interrupted{0};
static_assert(std::atomic<uint8_t>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  interrupted.store(1, std::memory_order_relaxed);
}

// Ctrl+C asks the running job to stop instead of ending the program, for as
// long as this object lives.
class InterruptGuard {
 public:
  explicit InterruptGuard(JobProgress* progress) {
    interrupted.store(0);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
    progress->WatchCancelFlag(&interrupted);
  }
  ~InterruptGuard() { sigaction(SIGINT, &previous_, nullptr); }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_ {};
};

std::string Quoted(const fs::path& path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

// One line for a series that could not be made (its files are gone again).
int ReportSeriesFailure(const SeriesOutcome& outcome, const SeriesTarget& target,
                        const fs::path& input) {
  switch (outcome.status) {
    case SeriesStatus::kCancelled:
      ReportError("interrupted");
      break;
    case SeriesStatus::kUnsupported:
      ReportUnsupported(input);
      break;
    case SeriesStatus::kFolderUnusable:
      ReportError(Quoted(target.folder) + ": the series folder cannot be created or read");
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
  if (int status = CheckOutputPath(options.output); status != kExitSuccess) return status;
  CliProgress progress(common);
  InputPicture input;
  if (int status = LoadInput(options.input, &input, &progress); status != kExitSuccess)
    return status;

  // From here on Ctrl+C only asks the job to stop, so that the files it
  // wrote are taken away again.
  const InterruptGuard guard(&progress);
  const SeriesFolderLease folder = options.seriesDir.empty()
                                       ? SeriesFolderLease::Private()
                                       : SeriesFolderLease::UserFolder(options.seriesDir);
  if (!folder.Usable()) {
    ReportError("cannot create a temporary folder in " + Quoted(TemporaryFolder().parent_path()));
    return kExitFailure;
  }
  const SeriesTarget target = folder.Target(request);
  ScopedPicBuf fused;
  const SeriesPipelineResult result = RunSeriesPipeline(*input.picture, request, target, exposure,
                                                        maxFiles, &progress, fused.get());
  if (result.series.status != SeriesStatus::kCompleted)
    return ReportSeriesFailure(result.series, target, input.path);
  if (!result.Fused()) return ReportFusionFailure(result.fusion);
  return WriteOutput(*fused, nullptr, options.output, input.path, common, &progress);
}
