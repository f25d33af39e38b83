#include "cli/SeriesCommand.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <system_error>
#include <vector>

#include "fusion/SeriesFusion.h"

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

// The folder a run writes its series into; a private one is removed with
// everything in it when the run ends, whatever the outcome.
class SeriesFolderLease {
 public:
  explicit SeriesFolderLease(const std::string& userFolder) {
    if (!userFolder.empty()) {
      target_ = {userFolder, FolderCleanup::kSeriesFilesOnly};
    } else {
      target_ = {MakePrivateSeriesFolder(), FolderCleanup::kEveryFile};
      private_ = !target_.folder.empty();
    }
  }
  ~SeriesFolderLease() {
    std::error_code error;
    if (private_) fs::remove_all(target_.folder, error);
  }
  SeriesFolderLease(const SeriesFolderLease&) = delete;
  SeriesFolderLease& operator=(const SeriesFolderLease&) = delete;

  const SeriesTarget& target() const { return target_; }

 private:
  SeriesTarget target_;
  bool private_ = false;
};

std::string Quoted(const fs::path& path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

void RemoveFiles(const std::vector<fs::path>& files) {
  std::error_code error;
  for (const fs::path& file : files)
    fs::remove(file, error);
}

// One line for a series that could not be made; the files it wrote go again.
int ReportSeriesFailure(const SeriesOutcome& outcome, const SeriesTarget& target,
                        const fs::path& input) {
  RemoveFiles(outcome.written);
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
                     const SeriesGenerator& generate, int exposure, int maxFiles) {
  if (int status = CheckOutputPath(options.output); status != kExitSuccess) return status;
  CliProgress progress(common);
  InputPicture input;
  if (int status = LoadInput(options.input, &input, &progress); status != kExitSuccess)
    return status;

  // From here on Ctrl+C only asks the job to stop, so that the files it
  // wrote are taken away again.
  const InterruptGuard guard(&progress);
  const SeriesFolderLease folder(options.seriesDir);
  if (folder.target().folder.empty()) {
    ReportError("cannot create a temporary folder in " + Quoted(TemporaryFolder().parent_path()));
    return kExitFailure;
  }
  SourceList list;
  const SeriesOutcome outcome = generate(*input.picture, folder.target(), &list, &progress);
  if (outcome.status != SeriesStatus::kCompleted) {
    return ReportSeriesFailure(outcome, folder.target(), input.path);
  }

  const int count = std::min(list.count, maxFiles);
  const std::vector<fs::path> files(list.entries.begin(), list.entries.begin() + count);
  progress.SetText("Fusing " + std::to_string(count) + " pictures");
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.requireAll = true;  // every series file was just written: a failure is an error
  request.progress = &progress;
  ScopedPicBuf fused;
  const SeriesFusionReport report = FuseSeries(request, fused.get());
  if (report.status != SeriesFusionStatus::kFused) {
    if (report.status == SeriesFusionStatus::kCancelled) RemoveFiles(outcome.written);
    return ReportFusionFailure(report);
  }
  return WriteOutput(*fused, nullptr, options.output, input.path, common, &progress);
}
