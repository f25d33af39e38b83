#include "jobs/AlignedSeries.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "align/SeriesAlign.h"
#include "align/Warp.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"

namespace fs = std::filesystem;

namespace {

// Image files, without their alpha: neither an aligned nor a fused picture has one.
bool LoadImageWithoutAlpha(const fs::path& path, SBxPicBuf* picture) {
  ScopedPicBuf mask;
  return LoadImageFile(picture, mask.get(), path);
}

// A file read into a picture of its own; empty when it could not be read. A decoder that
// throws has not read the file; running out of memory is passed on.
std::unique_ptr<ScopedPicBuf> ReadFile(const SeriesLoader& loader, const fs::path& path) {
  auto picture = std::make_unique<ScopedPicBuf>();
  bool failed = true;
  try {
    failed = loader(path, picture->get());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    failed = true;
  }
  if (failed || IsEmpty(**picture)) return {};
  return picture;
}

SeriesLoader LoaderOr(const SeriesLoader& loader) {
  return loader ? loader : SeriesLoader(LoadImageWithoutAlpha);
}

// Files read one ahead of their use on another thread, so that decoding the next file and
// working on the current one share the processors. `order` lists the indices to read.
class FileReadAhead {
 public:
  FileReadAhead(std::span<const fs::path> files, SeriesLoader loader, std::vector<int> order)
      : files_(files), loader_(std::move(loader)), order_(std::move(order)) {
    Launch();
  }
  ~FileReadAhead() {
    if (pending_.valid()) pending_.wait();
  }
  FileReadAhead(const FileReadAhead&) = delete;
  FileReadAhead& operator=(const FileReadAhead&) = delete;

  // The next file of the order (empty when it could not be read).
  std::unique_ptr<ScopedPicBuf> Next() {
    std::unique_ptr<ScopedPicBuf> picture = pending_.get();
    ++next_;
    Launch();
    return picture;
  }

 private:
  void Launch() {
    if (next_ >= order_.size()) return;
    const fs::path& path = files_[static_cast<size_t>(order_[next_])];
    // Reads on the first get() when no thread can be made.
    pending_ = std::async(std::launch::async | std::launch::deferred,
                          [this, &path] { return ReadFile(loader_, path); });
  }

  std::span<const fs::path> files_;
  SeriesLoader loader_;
  std::vector<int> order_;
  size_t next_ = 0;
  std::future<std::unique_ptr<ScopedPicBuf>> pending_;
};

std::string Pictures(size_t count) {
  return std::to_string(count) + " pictures";
}

// Motions handed from an estimation on its own thread to the fusion's readers as they settle,
// so that the fusion starts on the first pictures while the later ones are still examined; and
// with them the pictures the estimation read, so that no file is decoded twice. A picture is
// offered before its motion is published, so a reader that finds the motion finds the picture.
// Besides the reference, one offered picture at most waits for its reader: the estimation then
// waits in turn, and memory stays flat.
class MotionFeed {
 public:
  MotionFeed(size_t count, int reference) : motions_(count), reference_(reference) {}

  // The estimation: the reference's size, then pictures 0..settled-1 final.
  void Publish(CBxSize size, const SeriesAligner& aligner) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      size_ = size;
      for (; settled_ < aligner.Settled(); ++settled_)
        motions_[static_cast<size_t>(settled_)] = aligner.Motion(settled_);
    }
    changed_.notify_all();
  }
  // The estimation hands over picture `index` as read, waiting while an earlier one waits for
  // its reader (not for the reference's picture).
  void Offer(int index, std::unique_ptr<ScopedPicBuf> picture) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (index != reference_) changed_.wait(lock, [&] { return stopped_ || OthersOffered() == 0; });
    if (!stopped_) offered_[index] = std::move(picture);
    lock.unlock();
    changed_.notify_all();
  }
  // The estimation has ended (every picture settled, or it stopped).
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
  }
  // The fusion has ended: nothing more is read, and the estimation need not wait.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
      offered_.clear();
    }
    changed_.notify_all();
  }
  bool Stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
  }
  // Waits for picture `index`'s motion; false when the estimation ended without it. *picture
  // gets the picture the estimation read, when it offered it.
  bool Wait(int index, FrameMotion* motion, CBxSize* size, std::unique_ptr<ScopedPicBuf>* picture) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return settled_ > index || done_; });
    if (settled_ <= index) return false;
    *motion = motions_[static_cast<size_t>(index)];
    *size = size_;
    if (const auto found = offered_.find(index); found != offered_.end()) {
      *picture = std::move(found->second);
      offered_.erase(found);
      lock.unlock();
      changed_.notify_all();
    }
    return true;
  }

 private:
  size_t OthersOffered() const { return offered_.size() - offered_.count(reference_); }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<FrameMotion> motions_;
  std::map<int, std::unique_ptr<ScopedPicBuf>> offered_;
  int reference_;
  int settled_ = 0;
  CBxSize size_;
  bool done_ = false;
  bool stopped_ = false;
};

// How an estimation is told to stop, and to whom it reports.
struct EstimateControl {
  JobProgress* steps = nullptr;               // a step per file (the caller's thread only)
  const JobProgress* cancel = nullptr;        // its cancel flag
  MotionFeed* feed = nullptr;                 // takes the motions and pictures as they settle
  const AlignedFusionStage* stage = nullptr;  // sees the reference as read

  bool Stopped() const {
    return (cancel != nullptr && cancel->CancelRequested()) || (feed != nullptr && feed->Stopped());
  }
};

SeriesAlignment Estimate(std::span<const fs::path> files, const AlignSettings& settings,
                         const EstimateControl& control, const SeriesLoader& loader) {
  SeriesAlignment alignment;
  const int count = static_cast<int>(files.size());
  alignment.reference = AlignReferenceIndex(settings.reference, count);
  alignment.motions.resize(files.size());
  if (count == 0) return alignment;
  std::vector<int> order{alignment.reference};
  for (int i = 0; i < count; ++i)
    if (i != alignment.reference) order.push_back(i);
  FileReadAhead reader(files, LoaderOr(loader), order);

  std::unique_ptr<ScopedPicBuf> reference = reader.Next();
  const ScopedPicBuf none;
  SeriesAligner aligner;
  aligner.Start(reference ? **reference : *none, count, alignment.reference, settings.model);
  if (reference) alignment.size = CBxSize{(*reference)->width, (*reference)->height};
  // The stage may take the picture; it then hands it to the fusion itself.
  if (control.stage != nullptr && control.stage->reference) {
    control.stage->reference(reference ? reference->get() : nullptr);
    if (reference && IsEmpty(**reference)) reference.reset();
  }
  // The aligner keeps what it needs; the fusion may take the picture.
  if (control.feed != nullptr && reference)
    control.feed->Offer(alignment.reference, std::move(reference));
  reference.reset();
  for (int i = 0; i < count; ++i) {
    if (control.Stopped()) {
      alignment.status = SeriesAlignStatus::kCancelled;
      return alignment;
    }
    std::unique_ptr<ScopedPicBuf> picture;
    if (i != alignment.reference) picture = reader.Next();
    // An unread file goes in empty and is left as it is; out of memory leaves it as it is too.
    aligner.Add(i, picture ? **picture : *none);
    if (control.feed != nullptr) {
      // A picture that settled at once goes to the fusion; one that waits is read again.
      if (picture && aligner.Settled() > i) control.feed->Offer(i, std::move(picture));
      picture.reset();
      control.feed->Publish(alignment.size, aligner);
    }
    if (control.steps != nullptr) control.steps->Advance(1);
  }
  for (int i = 0; i < count; ++i)
    alignment.motions[static_cast<size_t>(i)] = aligner.Motion(i);
  std::vector<Homography> maps;
  for (const FrameMotion& motion : alignment.motions)
    maps.push_back(motion.outcome == AlignOutcome::kAligned ? motion.toSource : Homography{});
  alignment.covered = CoveredRectangle(maps, alignment.size);
  return alignment;
}

SeriesAlignment EstimateOrFail(std::span<const fs::path> files, const AlignSettings& settings,
                               const EstimateControl& control, const SeriesLoader& loader) {
  try {
    return Estimate(files, settings, control, loader);
  } catch (const std::exception&) {  // out of memory, or no thread for the read-ahead
    SeriesAlignment failed;
    failed.status = SeriesAlignStatus::kOutOfMemory;
    return failed;
  }
}

bool SameSize(const SBxPicBuf& picture, CBxSize size) {
  return picture.width == size.width && picture.height == size.height;
}

// Cuts `picture` to `area` in place (a new picture of the area's size replaces it).
bool CutTo(SBxPicBuf* picture, const CBxRect& area) {
  if (area.left == 0 && area.top == 0 && area.right == picture->width &&
      area.bottom == picture->height)
    return false;
  ScopedPicBuf cut(area.Width(), area.Height(), picture->components, picture->bitsPerComponent);
  if (IsEmpty(*cut)) return true;
  CBxPicBufAPI::CopyRect(cut.get(), picture, CBxPoint{0, 0}, CBxPoint{area.left, area.top},
                         CBxSize{area.Width(), area.Height()});
  std::swap(*picture, *cut);
  return false;
}

}  // namespace

bool AlignModelFromName(std::string_view name, AlignModel* model) {
  constexpr AlignModel kModels[] = {AlignModel::kAuto, AlignModel::kShift, AlignModel::kRigid,
                                    AlignModel::kProjective};
  static_assert(std::size(kModels) == std::size(parameter::kAlignModelNames));
  for (size_t i = 0; i < std::size(kModels); ++i) {
    if (parameter::kAlignModelNames[i] == name) {
      *model = kModels[i];
      return true;
    }
  }
  return false;
}

int AlignReferenceIndex(int reference, int count) {
  return reference >= 1 && reference <= count ? reference - 1 : count / 2;
}

std::string SeriesAlignment::Describe(int index) const {
  return DescribeMotion(motions[static_cast<size_t>(index)]);
}

CBxRect SeriesAlignment::CropArea() const {
  if (covered.Width() > 0 && covered.Height() > 0) return covered;
  return CBxRect{0, 0, size.width, size.height};
}

SeriesAlignment EstimateSeriesAlignment(std::span<const fs::path> files,
                                        const AlignSettings& settings, JobProgress* progress,
                                        const SeriesLoader& loader) {
  if (progress != nullptr) {
    progress->SetStage("Aligning " + Pictures(files.size()));
    progress->SetRange(0, static_cast<int>(files.size()));
  }
  return EstimateOrFail(files, settings, {progress, progress, nullptr, nullptr}, loader);
}

namespace {

// File `index` read and, when it moved, resampled with `motion` onto a frame of `size`.
// `read` (when given) is the file's picture, read already.
bool LoadMoved(const fs::path& file, const FrameMotion& motion, CBxSize size, SBxPicBuf* picture,
               SBxPicBuf* coverage, const SeriesLoader& loader,
               std::unique_ptr<ScopedPicBuf> read = {}) {
  if (!read) read = ReadFile(LoaderOr(loader), file);
  if (!read) return true;
  if (motion.outcome != AlignOutcome::kAligned || !SameSize(**read, size)) {
    std::swap(*picture, **read);
    return false;
  }
  ScopedPicBuf warped, covers;
  if (WarpPicture(**read, motion.toSource, warped.get(), covers.get())) return true;
  std::swap(*picture, *warped);
  if (coverage != nullptr) std::swap(*coverage, *covers);
  return false;
}

SeriesFusionRequest FusionRequest(std::span<const fs::path> files, int exposure, bool requireAll,
                                  JobProgress* progress) {
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.requireAll = requireAll;
  request.progress = progress;
  return request;
}

SeriesFusionStatus FailedAlignmentStatus(SeriesAlignStatus status) {
  return status == SeriesAlignStatus::kCancelled ? SeriesFusionStatus::kCancelled
                                                 : SeriesFusionStatus::kOutOfMemory;
}

// The passes one after the other: every motion known before the fusion starts, as the crop
// needs.
AlignedFusionReport FuseCropped(std::span<const fs::path> files, int exposure, bool requireAll,
                                const AlignSettings& settings, JobProgress* progress,
                                SBxPicBuf* output, const SeriesLoader& loader,
                                const AlignedFusionStage& stage) {
  AlignedFusionReport report;
  if (progress != nullptr) {
    progress->SetStage("Aligning " + Pictures(files.size()));
    progress->SetRange(0, static_cast<int>(files.size()));
  }
  report.alignment = EstimateOrFail(files, settings, {progress, progress, nullptr, &stage}, loader);
  const SeriesAlignment& alignment = report.alignment;
  if (alignment.status != SeriesAlignStatus::kEstimated) {
    report.fusion.status = FailedAlignmentStatus(alignment.status);
    return report;
  }
  SeriesFusionRequest request = FusionRequest(files, exposure, requireAll, progress);
  const CBxRect area = alignment.CropArea();
  report.cropped = alignment.size.width > 0 &&
                   (area.Width() != alignment.size.width || area.Height() != alignment.size.height);
  if (report.cropped) request.region = area;
  // Inside the covered area every coverage is full: no weight needs scaling.
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* factors) {
    const bool unread = !(stage.supply && stage.supply(index, picture)) &&
                        LoadMoved(path, alignment.motions[static_cast<size_t>(index)],
                                  alignment.size, picture, nullptr, loader);
    return stage.picture ? stage.picture(index, unread, picture, factors) : unread;
  };
  if (progress != nullptr) progress->SetStage("Fusing " + Pictures(files.size()));
  report.fusion = FuseSeries(request, output);
  return report;
}

// The estimation on a thread of its own, the fusion reading each picture as soon as its
// motion has settled: most of the estimation runs while the first pictures are fused. False,
// with nothing done, when no thread can be made.
bool FuseStreaming(std::span<const fs::path> files, int exposure, bool requireAll,
                   const AlignSettings& settings, JobProgress* progress, SBxPicBuf* output,
                   const SeriesLoader& loader, const AlignedFusionStage& stage,
                   AlignedFusionReport* report) {
  MotionFeed feed(files.size(),
                  AlignReferenceIndex(settings.reference, static_cast<int>(files.size())));
  const EstimateControl control{nullptr, progress, &feed, &stage};
  std::thread estimation;
  try {
    estimation = std::thread([&] {
      try {
        report->alignment = EstimateOrFail(files, settings, control, loader);
      } catch (...) {
        report->alignment.status = SeriesAlignStatus::kOutOfMemory;
      }
      feed.Finish();  // always: the readers wait for it
    });
  } catch (const std::system_error&) {
    return false;
  }
  SeriesFusionRequest request = FusionRequest(files, exposure, requireAll, progress);
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* coverage) {
    FrameMotion motion;
    CBxSize size;
    // Without its motion (the estimation stopped) the picture is not read.
    std::unique_ptr<ScopedPicBuf> read;
    const bool unread = !feed.Wait(index, &motion, &size, &read) ||
                        (!(stage.supply && stage.supply(index, picture)) &&
                         LoadMoved(path, motion, size, picture, coverage, loader, std::move(read)));
    return stage.picture ? stage.picture(index, unread, picture, coverage) : unread;
  };
  if (progress != nullptr) progress->SetStage("Aligning and fusing " + Pictures(files.size()));
  const bool allocated = IsEmpty(*output);
  report->fusion = FuseSeries(request, output);  // catches what it throws
  feed.Stop();                                   // a fusion that ended early needs no more motions
  estimation.join();
  // A fusion that stopped says why itself: the estimation it stopped is no failure of its own.
  // One that went through had every motion, unless the estimation failed after the last one.
  if (report->fusion.status == SeriesFusionStatus::kFused &&
      report->alignment.status != SeriesAlignStatus::kEstimated) {
    if (allocated) CBxPicBufAPI::DoneHeap(output);
    report->fusion.status = FailedAlignmentStatus(report->alignment.status);
  }
  return true;
}

}  // namespace

bool LoadAlignedPicture(const fs::path& file, const SeriesAlignment& alignment, int index,
                        SBxPicBuf* picture, SBxPicBuf* coverage, const SeriesLoader& loader) {
  return LoadMoved(file, alignment.motions[static_cast<size_t>(index)], alignment.size, picture,
                   coverage, loader);
}

AlignedFusionReport FuseAlignedFiles(std::span<const fs::path> files, int exposure, bool requireAll,
                                     const AlignSettings& settings, JobProgress* progress,
                                     SBxPicBuf* output, const SeriesLoader& loader,
                                     const AlignedFusionStage& stage) {
  if (files.empty()) return {};  // kNoFiles
  AlignedFusionReport report;
  // Without a thread for the estimation, the passes one after the other.
  if (settings.crop || !FuseStreaming(files, exposure, requireAll, settings, progress, output,
                                      loader, stage, &report))
    report = FuseCropped(files, exposure, requireAll, settings, progress, output, loader, stage);
  return report;
}

AlignedPicturesReport ForEachAlignedPicture(std::span<const fs::path> files,
                                            const SeriesAlignment& alignment, bool crop,
                                            JobProgress* progress, const AlignedPictureSink& sink,
                                            const SeriesLoader& loader) {
  AlignedPicturesReport report;
  if (progress != nullptr) {
    progress->SetStage("Writing " + Pictures(files.size()));
    progress->SetRange(0, static_cast<int>(files.size()));
  }
  const CBxRect area = alignment.CropArea();
  for (int i = 0; i < static_cast<int>(files.size()); ++i) {
    if (progress != nullptr && progress->CancelRequested()) {
      report.status = AlignedPicturesStatus::kCancelled;
      return report;
    }
    ScopedPicBuf picture, coverage;
    try {
      if (LoadAlignedPicture(files[static_cast<size_t>(i)], alignment, i, picture.get(),
                             coverage.get(), loader)) {
        report.status = AlignedPicturesStatus::kUnreadable;
      } else if (!SameSize(*picture, alignment.size)) {
        report.status = AlignedPicturesStatus::kOtherSize;
      }
      if (report.status != AlignedPicturesStatus::kDone) {
        report.failedIndex = i;
        return report;
      }
      if (crop) {
        CBxPicBufAPI::DoneHeap(coverage.get());  // full inside the area
        if (CutTo(picture.get(), area)) throw std::bad_alloc();
      }
    } catch (const std::bad_alloc&) {
      report.status = AlignedPicturesStatus::kOutOfMemory;
      report.failedIndex = i;
      return report;
    }
    if (sink(i, *picture, *coverage)) {
      report.status = AlignedPicturesStatus::kStopped;
      report.failedIndex = i;
      return report;
    }
    if (progress != nullptr) progress->Advance(1);
  }
  return report;
}
