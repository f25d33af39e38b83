#include "app/panels/SeriesJob.h"

#include "app/state/AppState.h"

namespace {
std::string FailureText(const SeriesOutcome& outcome, const std::filesystem::path& folder) {
  switch (outcome.status) {
    case SeriesStatus::kUnsupported:
      return "The picture cannot be made into a series: it needs 8 or 16 bits per component.";
    case SeriesStatus::kFolderUnusable:
      return "The temporary folder \"" + folder.string() + "\" cannot be created or read.";
    case SeriesStatus::kWriteFailed:
      return "The series file \"" + outcome.failedPath.string() +
             "\" could not be written. Is the disk full?";
    default:
      return "Not enough memory to make the series.";
  }
}
}  // namespace

JobResult RunSeriesJob(AppState& state, const SeriesRequest& request, JobProgress& progress) {
  const SeriesFolderLease folder = SeriesFolderLease::ProgramFolder();
  if (!folder.Usable()) return {JobEnd::kFailed, "No folder for the series can be found."};
  if (folder.InUse())
    return {JobEnd::kFailed, "The temporary folder \"" + folder.Folder().string() +
                                 "\" is in use by another Melvaro."};
  const SeriesOutcome outcome =
      MakeSeries(state.workPicture, request, folder.Target(request), &progress);
  if (outcome.status == SeriesStatus::kCancelled) return {JobEnd::kCancelled, {}};
  if (outcome.status != SeriesStatus::kCompleted)
    return {JobEnd::kFailed, FailureText(outcome, folder.Folder())};
  state.sourceList.Assign(outcome.listed);
  return {};
}
