#include "jobs/GhostSeries.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>

#include "align/Ghost.h"
#include "picture/CBxPicBufAPI.h"

namespace fs = std::filesystem;

// The engine takes the strength the user sets as it is.
static_assert(parameter::kDeghostStrength.minimum == 0 &&
              parameter::kDeghostStrength.maximum == kGhostStrengthMax);

namespace {

// The ghost weights times the coverage (either may be absent) as one 8-bit plane; empty
// when both are.
bool Factors(const GhostWeights& weights, SBxPicBuf* coverage, SBxPicBuf* factors) {
  if (weights.AllOne()) {
    if (!IsEmpty(*coverage)) std::swap(*factors, *coverage);
    return false;
  }
  if (ExpandGhostWeights(weights, factors)) return true;
  if (IsEmpty(*coverage)) return false;
  for (int y = 0; y < factors->height; ++y) {
    uint8_t* out = RowPtr(*factors, y);
    const uint8_t* covered = RowPtr(*coverage, y);
    for (int x = 0; x < factors->width; ++x)
      out[x] = static_cast<uint8_t>((out[x] * covered[x] + 127) / 255);
  }
  return false;
}

// The fusion decodes the next file on another thread while it adds the current one, so the
// loader of file i + 1 may run beside that of file i; the detector takes the pictures one at a
// time in input order. Each file is loaded once, in increasing order: a loader waits for the
// one before it.
class InputOrder {
 public:
  // Waits for file `index`'s turn; the turn passes on when the returned guard goes.
  std::unique_lock<std::mutex> Wait(int index) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return turn_ >= index; });
    return lock;
  }
  void Done(int index) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      turn_ = std::max(turn_, index + 1);
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int turn_ = 0;
};

}  // namespace

GhostFusionReport FuseDeghostedFiles(std::span<const fs::path> files, int exposure, bool requireAll,
                                     const AlignSettings& settings, bool aligned, int strength,
                                     JobProgress* progress, SBxPicBuf* output,
                                     const SeriesLoader& loader) {
  GhostFusionReport report;
  AlignedFusionReport& fused = report.fused;
  if (files.empty()) return report;  // kNoFiles
  const int count = static_cast<int>(files.size());
  if (aligned) {
    fused.alignment = EstimateSeriesAlignment(files, settings, progress, loader);
    if (fused.alignment.status != SeriesAlignStatus::kEstimated) {
      fused.fusion.status = fused.alignment.status == SeriesAlignStatus::kCancelled
                                ? SeriesFusionStatus::kCancelled
                                : SeriesFusionStatus::kOutOfMemory;
      return report;
    }
  } else {
    // Nothing moves: every picture is read as it lies.
    fused.alignment.reference = AlignReferenceIndex(settings.reference, count);
    fused.alignment.motions.resize(files.size());
  }
  const SeriesAlignment& alignment = fused.alignment;
  report.rejected.assign(files.size(), 0.0f);
  // The reference, kept for the comparison and the repair, is read and reduced on a thread of
  // its own while the fusion reads its first file; a loader waits for it before comparing. One
  // that cannot be read leaves every picture as it is (the fusion reports the file).
  auto reference = std::make_unique<ScopedPicBuf>();
  GhostDetector detector;
  bool outOfMemory = false;
  std::shared_future<void> referenceReady;
  try {
    referenceReady =
        std::async(std::launch::async, [&] {
          try {
            if (LoadAlignedPicture(files[static_cast<size_t>(alignment.reference)], alignment,
                                   alignment.reference, reference->get(), nullptr, loader) ||
                detector.Start(**reference, count, alignment.reference,
                               parameter::kDeghostStrength.Clamp(strength)))
              reference.reset();
          } catch (const std::bad_alloc&) {
            outOfMemory = true;
            reference.reset();
          }
        }).share();
  } catch (const std::system_error&) {
    fused.fusion.status = SeriesFusionStatus::kOutOfMemory;  // no thread to be had
    return report;
  }
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.requireAll = requireAll;
  request.progress = progress;
  if (aligned && settings.crop && alignment.size.width > 0) {
    const CBxRect area = alignment.CropArea();
    fused.cropped = area.Width() != alignment.size.width || area.Height() != alignment.size.height;
    if (fused.cropped) request.region = area;
  }
  const bool weighByCoverage = !fused.cropped;
  InputOrder order;
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* factors) {
    ScopedPicBuf coverage;
    GhostWeights weights;
    // Read (and resampled) beside the previous file; compared after it. The reference is
    // already in memory, where it is never moved: no second decode.
    bool unread = false;
    if (index == alignment.reference) referenceReady.wait();
    if (index == alignment.reference && reference) {
      CBxPicBufAPI::ReinitHeap(picture, reference->get());
      unread = IsEmpty(*picture);
      if (!unread) CBxPicBufAPI::Copy(picture, reference->get());
    } else {
      unread = LoadAlignedPicture(path, alignment, index, picture,
                                  weighByCoverage ? coverage.get() : nullptr, loader);
    }
    bool failed = unread;
    referenceReady.wait();
    {
      std::unique_lock<std::mutex> turn = order.Wait(index);
      if (unread) {
        detector.Add(index, SBxPicBuf{}, &weights);  // the next picture follows on
      } else if (reference) {
        // A picture the detector cannot compare (another size) keeps weights all 1; the
        // fusion reports it.
        detector.Add(index, *picture, &weights);
        report.rejected[static_cast<size_t>(index)] = weights.rejected;
        failed = !weights.AllOne() && detector.Repair(**reference, picture, &weights);
      }
      // Nothing is compared after the last file: the reference goes before the fusion
      // composes its result.
      if (index == count - 1) reference.reset();
    }
    order.Done(index);
    return failed || Factors(weights, coverage.get(), factors);
  };
  if (progress != nullptr)
    progress->SetStage("Fusing " + std::to_string(files.size()) + " pictures");
  fused.fusion = FuseSeries(request, output);
  referenceReady.wait();  // a fusion that read no file leaves it running
  // A result without the ghost removal asked for is no result.
  if (outOfMemory && fused.fusion.status == SeriesFusionStatus::kFused)
    fused.fusion.status = SeriesFusionStatus::kOutOfMemory;
  return report;
}
