#include "jobs/AlignedSeries.h"

#include <algorithm>
#include <exception>
#include <future>
#include <new>
#include <string>
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

SeriesAlignment Estimate(std::span<const fs::path> files, const AlignSettings& settings,
                         JobProgress* progress, const SeriesLoader& loader) {
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
  reference.reset();  // the aligner keeps what it needs
  for (int i = 0; i < count; ++i) {
    if (progress != nullptr && progress->CancelRequested()) {
      alignment.status = SeriesAlignStatus::kCancelled;
      return alignment;
    }
    std::unique_ptr<ScopedPicBuf> picture;
    if (i != alignment.reference) picture = reader.Next();
    // An unread file goes in empty and is left as it is; out of memory leaves it as it is too.
    aligner.Add(i, picture ? **picture : *none);
    if (progress != nullptr) progress->Advance(1);
  }
  for (int i = 0; i < count; ++i)
    alignment.motions[static_cast<size_t>(i)] = aligner.Motion(i);
  std::vector<Homography> maps;
  for (const FrameMotion& motion : alignment.motions)
    maps.push_back(motion.outcome == AlignOutcome::kAligned ? motion.toSource : Homography{});
  alignment.covered = CoveredRectangle(maps, alignment.size);
  return alignment;
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
  try {
    return Estimate(files, settings, progress, loader);
  } catch (const std::exception&) {  // out of memory, or no thread for the read-ahead
    SeriesAlignment failed;
    failed.status = SeriesAlignStatus::kOutOfMemory;
    return failed;
  }
}

bool LoadAlignedPicture(const fs::path& file, const SeriesAlignment& alignment, int index,
                        SBxPicBuf* picture, SBxPicBuf* coverage, const SeriesLoader& loader) {
  std::unique_ptr<ScopedPicBuf> read = ReadFile(LoaderOr(loader), file);
  if (!read) return true;
  if (!alignment.Moved(index) || !SameSize(**read, alignment.size)) {
    std::swap(*picture, **read);
    return false;
  }
  ScopedPicBuf warped, covers;
  if (WarpPicture(**read, alignment.motions[static_cast<size_t>(index)].toSource, warped.get(),
                  covers.get()))
    return true;
  std::swap(*picture, *warped);
  if (coverage != nullptr) std::swap(*coverage, *covers);
  return false;
}

AlignedFusionReport FuseAlignedFiles(std::span<const fs::path> files, int exposure, bool requireAll,
                                     const AlignSettings& settings, JobProgress* progress,
                                     SBxPicBuf* output, const SeriesLoader& loader) {
  AlignedFusionReport report;
  if (files.empty()) return report;  // kNoFiles
  report.alignment = EstimateSeriesAlignment(files, settings, progress, loader);
  if (report.alignment.status != SeriesAlignStatus::kEstimated) {
    report.fusion.status = report.alignment.status == SeriesAlignStatus::kCancelled
                               ? SeriesFusionStatus::kCancelled
                               : SeriesFusionStatus::kOutOfMemory;
    return report;
  }
  const SeriesAlignment& alignment = report.alignment;
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.requireAll = requireAll;
  request.progress = progress;
  if (settings.crop && alignment.size.width > 0) {
    const CBxRect area = alignment.CropArea();
    // Inside the covered area every coverage is full: no weight needs scaling.
    report.cropped = area.Width() != alignment.size.width || area.Height() != alignment.size.height;
    if (report.cropped) request.region = area;
  }
  const bool weighByCoverage = !report.cropped;
  request.weightedLoader = [&alignment, &loader, weighByCoverage](int index, const fs::path& path,
                                                                  SBxPicBuf* picture,
                                                                  SBxPicBuf* factors) {
    return LoadAlignedPicture(path, alignment, index, picture, weighByCoverage ? factors : nullptr,
                              loader);
  };
  if (progress != nullptr) progress->SetStage("Fusing " + Pictures(files.size()));
  report.fusion = FuseSeries(request, output);
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
