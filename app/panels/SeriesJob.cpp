#include "app/panels/SeriesJob.h"

#include "app/state/AppState.h"
#include "settings/TextTable.h"

namespace {
std::string FailureText(const SeriesOutcome& outcome, const std::filesystem::path& folder) {
  switch (outcome.status) {
    case SeriesStatus::kUnsupported:
      return LangText(TextId::kSeriesUnsupported);
    case SeriesStatus::kFolderUnusable:
      return FormatText(TextId::kSeriesFolderUnusable, {folder.string()});
    case SeriesStatus::kWriteFailed:
      return FormatText(TextId::kSeriesWriteFailed, {outcome.failedPath.string()});
    default:
      return LangText(TextId::kSeriesOutOfMemory);
  }
}
}  // namespace

JobResult RunSeriesJob(AppState& state, const SeriesRequest& request, JobProgress& progress) {
  const SeriesFolderLease folder = SeriesFolderLease::ProgramFolder();
  if (!folder.Usable()) return {JobEnd::kFailed, LangText(TextId::kSeriesNoFolder)};
  if (folder.InUse())
    return {JobEnd::kFailed, FormatText(TextId::kSeriesFolderInUse, {folder.Folder().string()})};
  const SeriesOutcome outcome =
      MakeSeries(state.workPicture, request, folder.Target(request), &progress);
  if (outcome.status == SeriesStatus::kCancelled) return {JobEnd::kCancelled, {}};
  if (outcome.status != SeriesStatus::kCompleted)
    return {JobEnd::kFailed, FailureText(outcome, folder.Folder())};
  state.sourceList.Assign(outcome.listed);
  return {};
}
