#include "jobs/SeriesPipeline.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "jobs/ProgramFolders.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

SeriesTexts SeriesProgressTexts() {
  return {LangText(TextId::kProgressStart), LangText(TextId::kProgress)};
}

int SeriesExposure(SeriesKind kind, int userExposure) {
  return kind == SeriesKind::kSingle ? parameter::kExposure.Clamp(userExposure)
                                     : parameter::kDaylightExposure;
}

int DaylightFusedCount(int power, int available) {
  return std::min(parameter::kDaylightPower.Clamp(power), std::max(available, 0));
}

SeriesFolderLease::SeriesFolderLease(fs::path folder, FolderCleanup cleanup, bool removeAtEnd)
    : removeAtEnd_(removeAtEnd) {
  target_.folder = std::move(folder);
  target_.cleanup = cleanup;
  if (target_.folder.empty()) return;
  std::error_code error;
  fs::create_directories(target_.folder, error);
  lockFd_ = ::open(target_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder that cannot be opened is reported when the series is prepared in it.
  if (lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    inUse_ = true;
    removeAtEnd_ = false;
  }
}

SeriesFolderLease SeriesFolderLease::UserFolder(const fs::path& folder) {
  return {folder, FolderCleanup::kSeriesFilesOnly, false};
}

SeriesFolderLease SeriesFolderLease::Private() {
  fs::path folder = MakePrivateSeriesFolder();
  const bool made = !folder.empty();
  return {std::move(folder), FolderCleanup::kEveryFile, made};
}

SeriesFolderLease SeriesFolderLease::ProgramFolder() {
  return {TemporaryFolder(), FolderCleanup::kEveryFile, false};
}

SeriesFolderLease::SeriesFolderLease(SeriesFolderLease&& other) noexcept
    : target_(std::move(other.target_)),
      removeAtEnd_(other.removeAtEnd_),
      inUse_(other.inUse_),
      lockFd_(other.lockFd_) {
  other.removeAtEnd_ = false;
  other.lockFd_ = -1;
}

SeriesFolderLease::~SeriesFolderLease() {
  std::error_code error;
  if (removeAtEnd_) fs::remove_all(target_.folder, error);
  if (lockFd_ >= 0) ::close(lockFd_);  // closing releases the lock
}

SeriesTarget SeriesFolderLease::Target(const SeriesRequest& request) const {
  SeriesTarget target = target_;
  target.jpegQuality = request.jpegQuality;
  target.texts = SeriesProgressTexts();
  return target;
}

void RemoveSeriesFiles(std::span<const fs::path> files) {
  std::error_code error;
  for (const fs::path& file : files)
    fs::remove(file, error);
}

SeriesOutcome MakeSeries(const SBxPicBuf& source, const SeriesRequest& request,
                         const SeriesTarget& target, JobProgress* progress) {
  SeriesOutcome outcome;
  switch (request.kind) {
    case SeriesKind::kSingle:
      outcome = RunSingleSeries(source, request.denoiseLevel, target, progress);
      break;
    case SeriesKind::kDaylightUp:
      outcome = RunDaylightSeries(source, DaylightDirection::kUp, target, progress);
      break;
    case SeriesKind::kDaylightDown:
      outcome = RunDaylightSeries(source, DaylightDirection::kDown, target, progress);
      break;
  }
  if (outcome.status != SeriesStatus::kCompleted) RemoveSeriesFiles(outcome.written);
  return outcome;
}

SeriesFusionReport FuseFiles(std::span<const fs::path> files, int exposure, bool requireAll,
                             JobProgress* progress, SBxPicBuf* output, SeriesLoader loader) {
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.requireAll = requireAll;
  request.progress = progress;
  request.loader = std::move(loader);
  return FuseSeries(request, output);
}

namespace {

// The accumulator of one streamed fusion, released however the run ends.
struct ScopedAccumulator {
  cFusionAccumulator acc;
  ScopedAccumulator() = default;
  ScopedAccumulator(const ScopedAccumulator&) = delete;
  ScopedAccumulator& operator=(const ScopedAccumulator&) = delete;
  ~ScopedAccumulator() { FusionFree(&acc); }
};

// Adds the first `count` pictures it is given to the accumulator, the others not at all.
class FusionSink final : public SeriesSink {
 public:
  FusionSink(cFusionAccumulator* acc, int count) : acc_(acc), count_(count) {}
  int FusionOrderCount() const override { return count_; }
  bool Take(const SBxPicBuf& picture, int /*number*/, SeriesOutcome* outcome) override {
    if (added_ >= count_) return true;
    // The accumulator has the picture's geometry, so a failed add means memory ran out.
    if (FusionAddPicture(acc_, &picture) != 0) {
      outOfMemory_ = true;
      outcome->status = SeriesStatus::kNoMemory;
      return false;
    }
    ++added_;
    return true;
  }
  int Added() const { return added_; }
  bool OutOfMemory() const { return outOfMemory_; }

 private:
  cFusionAccumulator* acc_;
  int count_;
  int added_ = 0;
  bool outOfMemory_ = false;
};

SeriesOutcome GenerateSeries(const SBxPicBuf& source, const SeriesRequest& request,
                             SeriesSink* sink, JobProgress* progress) {
  const SeriesTexts texts = SeriesProgressTexts();
  switch (request.kind) {
    case SeriesKind::kSingle:
      return MakeSingleSeries(source, request.denoiseLevel, texts, sink, progress);
    case SeriesKind::kDaylightUp:
      return MakeDaylightSeries(source, DaylightDirection::kUp, texts, sink, progress);
    case SeriesKind::kDaylightDown:
      return MakeDaylightSeries(source, DaylightDirection::kDown, texts, sink, progress);
  }
  return {};
}

}  // namespace

SeriesPipelineResult StreamSeriesPipeline(const SBxPicBuf& source, const SeriesRequest& request,
                                          int exposure, int maxFiles, JobProgress* progress,
                                          SBxPicBuf* output) {
  SeriesPipelineResult result;
  const bool single = request.kind == SeriesKind::kSingle;
  const int seriesSize = single ? kSingleSeriesSize : kDaylightFamilySize;
  const int count = std::min(seriesSize, std::max(maxFiles, 0));
  if (progress)
    progress->SetStage("Making " + std::to_string(single ? seriesSize : count) + " exposures");
  // The checks in the order a run through files meets them: the source, then the
  // pictures' geometry, then the list.
  if (!SeriesSourceSupported(source)) {
    result.series.status = SeriesStatus::kUnsupported;
    result.fusion.status = SeriesFusionStatus::kNoFiles;
    return result;
  }
  if (!FusionGeometrySupported(source)) {
    result.fusion.status = SeriesFusionStatus::kUnsupported;
    return result;
  }
  if (!IsEmpty(*output) && !SameGeometry(*output, source)) {
    result.fusion.status = SeriesFusionStatus::kOutputMismatch;
    return result;
  }
  if (count == 0) return result;  // kNoFiles
  ScopedAccumulator accumulator;
  if (FusionInit(&accumulator.acc, &source, static_cast<uint32_t>(exposure)) != 0) {
    result.fusion.status = SeriesFusionStatus::kOutOfMemory;
    return result;
  }
  FusionSink sink(&accumulator.acc, count);
  result.series = GenerateSeries(source, request, &sink, progress);
  if (sink.OutOfMemory()) {
    result.series.status = SeriesStatus::kCompleted;
    result.fusion.status = SeriesFusionStatus::kOutOfMemory;
    return result;
  }
  if (result.series.status != SeriesStatus::kCompleted) return result;  // kNoFiles
  // Only the result is left: the stage starts with every picture added.
  if (progress) {
    progress->SetStage("Fusing " + std::to_string(sink.Added()) + " pictures");
    progress->SetRange(0, sink.Added() + 1);
    progress->SetPosition(sink.Added());
    if (progress->CancelRequested()) {
      result.fusion.status = SeriesFusionStatus::kCancelled;
      return result;
    }
  }
  const bool allocated = IsEmpty(*output);
  if (allocated) CBxPicBufAPI::ReinitHeap(output, &source);
  if (IsEmpty(*output) || FusionResult(output, &accumulator.acc) != 0) {
    if (allocated) CBxPicBufAPI::DoneHeap(output);
    result.fusion.status = SeriesFusionStatus::kOutOfMemory;
    return result;
  }
  if (progress) progress->Advance(1);
  result.fusion.status = SeriesFusionStatus::kFused;
  result.fusion.fusedCount = sink.Added();
  result.fusion.geometry = source;
  result.fusion.geometry.pixels = nullptr;
  return result;
}

SeriesPipelineResult RunSeriesPipeline(const SBxPicBuf& source, const SeriesRequest& request,
                                       const SeriesTarget& target, int exposure, int maxFiles,
                                       JobProgress* progress, SBxPicBuf* output) {
  SeriesPipelineResult result;
  if (progress)
    progress->SetStage("Making " +
                       std::to_string(request.kind == SeriesKind::kSingle ? kSingleSeriesSize
                                                                          : kDaylightFamilySize) +
                       " exposures");
  result.series = MakeSeries(source, request, target, progress);
  if (result.series.status != SeriesStatus::kCompleted) {
    result.fusion.status = SeriesFusionStatus::kNoFiles;
    return result;
  }
  const std::vector<fs::path>& listed = result.series.listed;
  const size_t count = std::min(listed.size(), static_cast<size_t>(std::max(maxFiles, 0)));
  const std::span<const fs::path> files(listed.data(), count);
  if (progress) progress->SetStage("Fusing " + std::to_string(count) + " pictures");
  result.fusion = FuseFiles(files, exposure, true, progress, output);
  if (result.fusion.status == SeriesFusionStatus::kCancelled)
    RemoveSeriesFiles(result.series.written);
  return result;
}
