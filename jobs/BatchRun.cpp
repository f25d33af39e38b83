#include "jobs/BatchRun.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "jobs/GhostSeries.h"
#include "jobs/JobTexts.h"
#include "jobs/MemoryNeed.h"
#include "jobs/SeriesPipeline.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

// Progress steps of one series within the batch's range: the fusion, then the writing.
constexpr int kSeriesSteps = 100;
constexpr int kFusionSteps = 90;

// Image files as the fusion takes them, without their alpha.
bool LoadFusedFile(const fs::path& path, SBxPicBuf* picture) {
  ScopedPicBuf mask;
  return LoadImageFile(picture, mask.get(), path);
}

// The first picture of the next series, decoded on a thread of its own while the current
// series' result is written.
class Lookahead {
 public:
  Lookahead() = default;
  Lookahead(const Lookahead&) = delete;
  Lookahead& operator=(const Lookahead&) = delete;
  ~Lookahead() { Drop(); }

  // Starts decoding the first picture of series `index` (replacing an earlier start).
  void Start(size_t index, const fs::path& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (decoding_.valid() && index_ == index) return;
    index_ = index;
    path_ = path;
    try {
      decoding_ = std::async(std::launch::async, [path] {
        auto decoded = std::make_shared<Decoded>();
        decoded->failed = LoadFusedFile(path, decoded->picture.get());
        return decoded;
      });
    } catch (const std::system_error&) {
      decoding_ = {};  // no thread to be had: the series reads its file itself
    }
  }

  // The picture decoded for `path` of series `index`, moved into `picture`; false when none
  // was started for it.
  bool Take(size_t index, const fs::path& path, SBxPicBuf* picture, bool* failed) {
    std::future<std::shared_ptr<Decoded>> decoding;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!decoding_.valid() || index_ != index || path_ != path) return false;
      decoding = std::move(decoding_);
    }
    const std::shared_ptr<Decoded> decoded = decoding.get();  // rethrows what the decoder threw
    *failed = decoded->failed;
    std::swap(*picture, *decoded->picture);  // the caller's earlier storage goes with it
    return true;
  }

  // Forgets, once it has ended, a decoding for series `index` or an earlier one: no series
  // will take it any more.
  void DropUpTo(size_t index) {
    std::future<std::shared_ptr<Decoded>> decoding;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (index_ > index) return;
      decoding = std::move(decoding_);
    }
    if (decoding.valid()) decoding.wait();
  }
  void Drop() { DropUpTo(SIZE_MAX); }

 private:
  struct Decoded {
    ScopedPicBuf picture;
    bool failed = true;
  };
  std::mutex mutex_;
  size_t index_ = 0;
  fs::path path_;
  std::future<std::shared_ptr<Decoded>> decoding_;
};

// The progress of one series' fusion as its share of the batch's range; the batch's cancel
// reaches the fusion through it. The fusion calls it between pictures, under its own lock.
class SeriesShare final : public JobProgress {
 public:
  SeriesShare(JobProgress* batch, int base) : batch_(batch), base_(base) {
    WatchCancelFlag(&cancel_);
  }
  void SetRange(int minimum, int maximum) override {
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = minimum;
    Show();
  }
  void SetPosition(int position) override {
    position_ = position;
    Show();
  }
  void Advance(int steps) override {
    position_ += steps;
    Show();
  }
  // The batch names its own stages.
  void SetText(const std::string& /*text*/) override {}
  void SetStage(const std::string& /*text*/) override {}

 private:
  void Show() {
    cancel_.store(batch_->CancelRequested() ? 1 : 0, std::memory_order_relaxed);
    if (maximum_ <= minimum_) return;
    const long long done =
        static_cast<long long>(position_ - minimum_) * kFusionSteps / (maximum_ - minimum_);
    batch_->SetPosition(base_ + static_cast<int>(std::clamp<long long>(done, 0, kFusionSteps)));
  }

  JobProgress* batch_;
  int base_;
  int minimum_ = 0;
  int maximum_ = 0;
  int position_ = 0;
  std::atomic<uint8_t> cancel_{0};
};

// Why a series' fusion failed, naming the file at fault.
std::string FusionProblem(const SeriesFusionReport& report, const fs::path& first) {
  if (report.skipped.empty()) return SeriesFusionStatusText(report.status);
  const SeriesSkippedFile& bad = report.skipped.front();
  std::string problem = QuotedPath(bad.path) + " " + SeriesSkipReasonText(bad.reason);
  if (bad.reason == SeriesSkipReason::kOtherGeometry)
    problem += " (" + PictureFormatText(bad.geometry) + "; " + QuotedPath(first) + ": " +
               PictureFormatText(report.geometry) + ")";
  return problem;
}

class BatchRunner {
 public:
  BatchRunner(const BatchPlan& plan, const BatchRunOptions& options, JobProgress* progress)
      : plan_(plan), options_(options), progress_(progress) {}

  BatchRunSummary Run() {
    BatchRunSummary summary;
    summary.series.resize(plan_.series.size());
    if (plan_.outputs.size() != plan_.series.size()) {  // not a plan PlanBatch made
      for (BatchSeriesResult& r : summary.series)
        r = {BatchSeriesStatus::kFailed, "the batch names no result for it"};
      summary.failed = static_cast<int>(summary.series.size());
      return summary;
    }
    for (size_t i = 0; i < plan_.series.size(); ++i) {
      if (progress_ && progress_->CancelRequested()) summary.cancelled = true;
      if (summary.cancelled) break;
      BatchSeriesResult& result = summary.series[i];
      result = RunSeries(i);
      summary.cancelled = result.status == BatchSeriesStatus::kNotRun;
      if (!summary.cancelled && options_.seriesDone) options_.seriesDone(i, result);
      lookahead_.DropUpTo(i);
    }
    for (const BatchSeriesResult& r : summary.series) {
      summary.fused += r.status == BatchSeriesStatus::kFused ? 1 : 0;
      summary.alreadyDone += r.status == BatchSeriesStatus::kAlreadyDone ? 1 : 0;
      summary.nothingToFuse += r.status == BatchSeriesStatus::kNothingToFuse ? 1 : 0;
      summary.failed += r.status == BatchSeriesStatus::kFailed ? 1 : 0;
    }
    return summary;
  }

 private:
  // Whether series `i` will be fused when its turn comes.
  bool WillFuse(size_t i) const {
    std::error_code error;
    return plan_.series[i].pictures.size() >= 2 &&
           (options_.overwrite || !fs::exists(plan_.outputs[i], error));
  }

  // The stage of series `i` (a text of the stage's numbers, then `what`), at `step` of its
  // share of the range.
  void Stage(size_t i, TextId text, const std::string& what, int step) {
    if (!progress_) return;
    const int count = static_cast<int>(plan_.series.size());
    progress_->SetStage(FormatText(text, {std::to_string(i + 1), std::to_string(count), what}));
    progress_->SetRange(0, count * kSeriesSteps);
    progress_->SetPosition(static_cast<int>(i) * kSeriesSteps + step);
  }

  // Reads the series' files, the first from the look-ahead when it was decoded there.
  SeriesLoader LoaderFor(size_t i) {
    return [this, i](const fs::path& path, SBxPicBuf* picture) {
      bool failed = false;
      if (!lookahead_.Take(i, path, picture, &failed)) failed = LoadFusedFile(path, picture);
      return failed;
    };
  }

  // Once a series is fused its accumulator is gone and writing the result keeps one
  // processor busy: the other decodes the first picture of the next series to fuse.
  void StartLookahead(size_t i) {
    for (size_t next = i + 1; next < plan_.series.size(); ++next)
      if (WillFuse(next)) {
        lookahead_.Start(next, plan_.series[next].pictures.front().path);
        return;
      }
  }

  // The series fused as `fuse` fuses it, aligned first and its ghosts removed when asked.
  SeriesFusionReport FuseSeriesFiles(size_t i, const std::vector<fs::path>& files,
                                     JobProgress* progress, SBxPicBuf* fused) {
    const int exposure = parameter::kExposure.Clamp(options_.exposure);
    if (options_.deghost) return FuseDeghostedSeries(i, files, exposure, progress, fused);
    if (!options_.align) return FuseFiles(files, exposure, true, progress, fused, LoaderFor(i));
    const AlignedFusionReport report =
        FuseAlignedFiles(files, exposure, true, *options_.align, progress, fused, LoaderFor(i));
    if (options_.aligned && report.alignment.status == SeriesAlignStatus::kEstimated)
      options_.aligned(i, report.alignment);
    return report.fusion;
  }

  SeriesFusionReport FuseDeghostedSeries(size_t i, const std::vector<fs::path>& files, int exposure,
                                         JobProgress* progress, SBxPicBuf* fused) {
    const int strength = parameter::kDeghostStrength.Clamp(options_.deghost->strength);
    AlignSettings settings;
    settings.reference = options_.deghost->reference;
    const GhostFusionReport report =
        FuseDeghostedFiles(files, exposure, true, options_.align.value_or(settings),
                           options_.align.has_value(), strength, progress, fused, LoaderFor(i));
    if (options_.align && options_.aligned &&
        report.fused.alignment.status == SeriesAlignStatus::kEstimated)
      options_.aligned(i, report.fused.alignment);
    if (options_.deghosted && report.fused.fusion.status == SeriesFusionStatus::kFused)
      options_.deghosted(i, report.rejected);
    return report.fused.fusion;
  }

  BatchSeriesResult RunSeries(size_t i) {
    const BatchSeries& series = plan_.series[i];
    const fs::path& output = plan_.outputs[i];
    std::error_code error;
    if (series.pictures.size() < 2) return {BatchSeriesStatus::kNothingToFuse, {}};
    if (!options_.overwrite && fs::exists(output, error))
      return {BatchSeriesStatus::kAlreadyDone, {}};
    std::vector<fs::path> files;
    for (const BatchPicture& p : series.pictures)
      files.push_back(p.path);
    const CaptureData& first = series.pictures.front().capture;
    SBxPicBuf geometry;
    geometry.width = static_cast<int32_t>(std::min<uint32_t>(first.width, INT32_MAX));
    geometry.height = static_cast<int32_t>(std::min<uint32_t>(first.height, INT32_MAX));
    geometry.components = 3;
    geometry.bitsPerComponent = first.bitsPerComponent > 8 ? 16 : 8;
    const uint64_t need = options_.deghost ? GhostFusionBytes(geometry, options_.align.has_value())
                          : options_.align ? AlignedFusionBytes(geometry)
                                           : FusionBytes(geometry);
    const std::string refusal = MemoryRefusal("fusing the series", need);
    if (!refusal.empty()) return {BatchSeriesStatus::kFailed, refusal};

    Stage(i, TextId::kBatchStageFusing, std::to_string(files.size()), 0);
    ScopedPicBuf fused;
    std::unique_ptr<SeriesShare> share;
    if (progress_)
      share = std::make_unique<SeriesShare>(progress_, static_cast<int>(i) * kSeriesSteps);
    const SeriesFusionReport report = FuseSeriesFiles(i, files, share.get(), fused.get());
    if (report.status == SeriesFusionStatus::kCancelled) return {BatchSeriesStatus::kNotRun, {}};
    if (report.status != SeriesFusionStatus::kFused)
      return {BatchSeriesStatus::kFailed, FusionProblem(report, files.front())};

    StartLookahead(i);
    Stage(i, TextId::kBatchStageWriting, output.filename().string(), kFusionSteps);
    const std::string problem = WriteResultFile(*fused, output, files.front(), options_.write);
    if (!problem.empty())
      return {BatchSeriesStatus::kFailed, "cannot write " + QuotedPath(output) + ": " + problem};
    if (progress_) progress_->SetPosition(static_cast<int>(i + 1) * kSeriesSteps);
    return {BatchSeriesStatus::kFused, {}};
  }

  const BatchPlan& plan_;
  const BatchRunOptions& options_;
  JobProgress* progress_;
  Lookahead lookahead_;  // last member: its decoding ends before the rest goes
};

}  // namespace

BatchRunSummary RunBatch(const BatchPlan& plan, const BatchRunOptions& options,
                         JobProgress* progress) {
  return BatchRunner(plan, options, progress).Run();
}

std::string BatchRunSummary::Text() const {
  std::vector<std::string> parts{FormatText(TextId::kBatchSummaryFused, {std::to_string(fused)})};
  if (alreadyDone > 0)
    parts.push_back(FormatText(TextId::kBatchSummaryDone, {std::to_string(alreadyDone)}));
  if (nothingToFuse == 1) parts.push_back(LangText(TextId::kBatchSummarySingle));
  if (nothingToFuse > 1)
    parts.push_back(FormatText(TextId::kBatchSummarySingles, {std::to_string(nothingToFuse)}));
  if (failed > 0) {
    std::string problems;
    for (size_t i = 0; i < series.size(); ++i) {
      if (series[i].status != BatchSeriesStatus::kFailed) continue;
      if (!problems.empty()) problems += "; ";
      problems +=
          FormatText(TextId::kBatchSummarySeries, {std::to_string(i + 1), series[i].problem});
    }
    parts.push_back(FormatText(TextId::kBatchSummaryFailed, {std::to_string(failed), problems}));
  }
  std::string text = parts.front();
  for (size_t i = 1; i < parts.size(); ++i)
    text += ", " + parts[i];
  if (cancelled) {
    int notRun = 0;
    for (const BatchSeriesResult& r : series)
      notRun += r.status == BatchSeriesStatus::kNotRun ? 1 : 0;
    text += "; " + FormatText(TextId::kBatchSummaryStopped,
                              {std::to_string(notRun), std::to_string(series.size())});
  }
  return text;
}
