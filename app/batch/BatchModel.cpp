#include "app/batch/BatchModel.h"

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>

#include "jobs/BatchNaming.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

// The file name the results take in a folder of the user's choice: as beside the series.
constexpr std::string_view kResultName = "{first}-vtx.jpg";

}  // namespace

bool BatchModel::AddInputs(std::span<const fs::path> inputs, JobProgress* progress) {
  BatchInputs read = ReadBatchInputs(inputs, progress);
  if (read.cancelled) return true;
  if (!read.refusal.empty()) {
    // Nothing of these inputs is taken; what was chosen before stays, with why not.
    Replan();
    problem_ = read.refusal;
    return false;
  }
  std::set<fs::path> known;
  for (const BatchPicture& picture : pictures_)
    known.insert(SameFileKey(picture.path));
  for (BatchPicture& picture : read.pictures)
    if (known.insert(SameFileKey(picture.path)).second) pictures_.push_back(std::move(picture));
  withoutTime_ = static_cast<size_t>(
      std::count_if(pictures_.begin(), pictures_.end(),
                    [](const BatchPicture& p) { return !p.capture.HasTime(); }));
  Replan();
  return false;
}

void BatchModel::ClearInputs() {
  pictures_.clear();
  withoutTime_ = 0;
  Replan();
}

void BatchModel::SetChoices(const BatchChoices& choices) {
  choices_ = choices;
  choices_.groupSize = parameter::kGroupSize.Clamp(choices_.groupSize);
  choices_.gapSeconds =
      std::clamp(choices_.gapSeconds, parameter::kSeriesGap.minimum, parameter::kSeriesGap.maximum);
  choices_.exposure = parameter::kExposure.Clamp(choices_.exposure);
  Replan();
}

std::string BatchModel::OutputPattern() const {
  if (choices_.outputFolder.empty()) return std::string(kDefaultOutputPattern);
  return (choices_.outputFolder / kResultName).string();
}

void BatchModel::Replan() {
  plan_ = {};
  problem_.clear();
  resultExists_.clear();
  if (pictures_.empty()) return;
  // Braces in a folder's name would be read as the pattern's fields.
  const std::string folder = choices_.outputFolder.string();
  if (folder.find_first_of("{}") != std::string::npos) {
    problem_ = LangText(TextId::kBatchFolderBraces);
    return;
  }
  BatchPlanRequest request;
  request.grouping.gapSeconds = choices_.gapSeconds;
  request.grouping.fixedGroup = GroupedByCount() ? choices_.groupSize : 0;
  request.pattern = OutputPattern();
  plan_ = PlanBatch(pictures_, request);
  problem_ = plan_.refusal;
  // Series from several folders may share their first picture's name: beside their series
  // their results are told apart, in one folder they are not.
  if (!problem_.empty() && !choices_.outputFolder.empty()) {
    request.pattern = std::string(kDefaultOutputPattern);
    if (PlanBatch(pictures_, request).refusal.empty())
      problem_ = LangText(TextId::kBatchNamesClash);
  }
  for (const fs::path& output : plan_.outputs) {
    std::error_code error;
    resultExists_.push_back(fs::exists(output, error));
  }
  if (!problem_.empty() || choices_.outputFolder.empty()) return;
  std::error_code error;
  if (!fs::is_directory(choices_.outputFolder, error))
    problem_ = FormatText(TextId::kBatchNoSuchFolder, {folder});
}

bool BatchModel::CanRun() const {
  if (!problem_.empty()) return false;
  for (size_t i = 0; i < plan_.series.size(); ++i)
    if (plan_.series[i].pictures.size() >= 2 && (choices_.overwrite || !resultExists_[i]))
      return true;
  return false;
}

std::vector<BatchListRow> BatchModel::Rows() const {
  std::vector<BatchListRow> rows;
  for (size_t i = 0; i < plan_.series.size(); ++i) {
    const BatchSeries& series = plan_.series[i];
    BatchListRow row;
    row.isSeries = true;
    row.series = i;
    row.name = FormatText(TextId::kBatchSeriesName, {std::to_string(i + 1)});
    row.capture = FormatText(TextId::kBatchPictureCount, {std::to_string(series.pictures.size())});
    row.ended = SeriesEndText(series);
    // A single picture has nothing to be fused with: no result is written for it.
    if (series.pictures.size() < 2) {
      row.result = LangText(TextId::kBatchLeftAsItIs);
    } else {
      row.result = plan_.outputs[i].string();
      row.resultKept = resultExists_[i] && !choices_.overwrite;
      if (row.resultKept) row.result = FormatText(TextId::kBatchResultKept, {row.result});
    }
    rows.push_back(std::move(row));
    for (const BatchPicture& picture : series.pictures) {
      BatchListRow line;
      line.series = i;
      line.name = picture.path.filename().string();
      line.capture = picture.headerRead ? CaptureSummary(picture.capture)
                                        : LangText(TextId::kBatchCannotBeRead);
      rows.push_back(std::move(line));
    }
  }
  return rows;
}

std::vector<std::string> BatchModel::Notes() const {
  std::vector<std::string> notes;
  if (pictures_.empty()) return notes;
  size_t grouped = 0;
  for (const BatchSeries& series : plan_.series)
    grouped += series.pictures.size();
  notes.push_back(FormatText(TextId::kBatchFound,
                             {std::to_string(plan_.series.size()), std::to_string(grouped)}));
  if (withoutTime_ > 0)
    notes.push_back(FormatText(TextId::kBatchWithoutTime, {std::to_string(withoutTime_)}));
  if (!plan_.leftOut.empty()) {
    std::string names;
    for (const fs::path& path : plan_.leftOut) {
      if (!names.empty()) names += ' ';
      names += path.filename().string();
    }
    notes.push_back(FormatText(TextId::kBatchLeftOut, {names}));
  }
  return notes;
}

BatchRunOptions BatchModel::RunOptions(const ResultWriteOptions& write) const {
  BatchRunOptions options;
  options.exposure = choices_.exposure;
  options.overwrite = choices_.overwrite;
  options.write = write;
  // As the command line's --align and --deghost take them: the defaults, the middle picture.
  if (choices_.align) options.align = AlignSettings{};
  if (choices_.removeGhosts)
    options.deghost = BatchGhostOptions{parameter::kDeghostStrength.Clamp(choices_.ghostStrength)};
  return options;
}
