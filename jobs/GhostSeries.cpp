#include "jobs/GhostSeries.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>

#include "picture/CBxPicBufAPI.h"

namespace fs = std::filesystem;

// The engine takes the strength the user sets as it is.
static_assert(parameter::kDeghostStrength.minimum == 0 &&
              parameter::kDeghostStrength.maximum == kGhostStrengthMax);

namespace {

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

// The ghost removal between the pictures as read and the fusion: the reference picture kept for
// the comparison and the repair (released after the last file), the detector, and the pictures'
// input order.
class GhostStage {
 public:
  GhostStage(int count, int referenceIndex, int strength, bool weighByCoverage,
             std::vector<float>* rejected)
      : count_(count),
        referenceIndex_(referenceIndex),
        strength_(strength),
        weighByCoverage_(weighByCoverage),
        rejected_(rejected) {}

  // Takes the reference (leaving `reference` empty) and reduces it; one that cannot be had
  // leaves every picture as it is (the fusion reports an unreadable file).
  void Take(SBxPicBuf* reference) {
    if (reference == nullptr) return;
    try {
      reference_ = std::make_unique<ScopedPicBuf>();
      std::swap(**reference_, *reference);
      Reduce();
    } catch (const std::bad_alloc&) {
      outOfMemory_ = true;
      reference_.reset();
    }
  }
  // Reads the reference (unmoved: the others are moved onto it) and reduces it.
  void Read(const fs::path& file, const SeriesAlignment& alignment, const SeriesLoader& loader) {
    try {
      reference_ = std::make_unique<ScopedPicBuf>();
      if (LoadAlignedPicture(file, alignment, referenceIndex_, reference_->get(), nullptr, loader))
        reference_.reset();
      else
        Reduce();
    } catch (const std::bad_alloc&) {
      outOfMemory_ = true;
      reference_.reset();
    }
  }
  // The reference, which is in memory already: no second decode.
  bool Supply(int index, SBxPicBuf* picture) {
    if (index != referenceIndex_ || !reference_) return false;
    CBxPicBufAPI::ReinitHeap(picture, reference_->get());
    if (IsEmpty(*picture)) return false;
    CBxPicBufAPI::Copy(picture, reference_->get());
    return true;
  }
  // Picture `index` compared with the reference in input order: its weights lowered where it
  // shows something else, its pixels there repaired; `factors` holds its coverage, if any, and
  // leaves with the weights times the coverage. The picture's failure.
  bool Picture(int index, bool unread, SBxPicBuf* picture, SBxPicBuf* factors) {
    ScopedPicBuf coverage;
    std::swap(*coverage, *factors);
    if (!weighByCoverage_) CBxPicBufAPI::DoneHeap(coverage.get());
    GhostWeights weights;
    bool failed = unread;
    {
      std::unique_lock<std::mutex> turn = order_.Wait(index);
      if (unread) {
        detector_.Add(index, SBxPicBuf{}, &weights);  // the next picture follows on
      } else if (reference_) {
        // A picture the detector cannot compare (another size) keeps weights all 1; the
        // fusion reports it.
        detector_.Add(index, *picture, &weights);
        (*rejected_)[static_cast<size_t>(index)] = weights.rejected;
        failed = !weights.AllOne() && detector_.Repair(**reference_, picture, &weights);
      }
      // Nothing is compared after the last file: the reference goes before the fusion
      // composes its result.
      if (index == count_ - 1) reference_.reset();
    }
    order_.Done(index);
    return failed ||
           GhostFactors(weights, {0, 0, weights.width, weights.height}, coverage.get(), factors);
  }
  bool OutOfMemory() const { return outOfMemory_; }

 private:
  void Reduce() {
    if (detector_.Start(**reference_, count_, referenceIndex_,
                        parameter::kDeghostStrength.Clamp(strength_)))
      reference_.reset();
  }

  const int count_;
  const int referenceIndex_;
  const int strength_;
  const bool weighByCoverage_;
  std::vector<float>* rejected_;
  std::unique_ptr<ScopedPicBuf> reference_;
  GhostDetector detector_;
  InputOrder order_;
  bool outOfMemory_ = false;
};

}  // namespace

bool GhostFactors(const GhostWeights& weights, const CBxRect& region, SBxPicBuf* coverage,
                  SBxPicBuf* factors) {
  CBxPicBufAPI::DoneHeap(factors);
  const bool inside = region.left >= 0 && region.top >= 0 && region.right <= weights.width &&
                      region.bottom <= weights.height;
  if (weights.AllOne() || !inside) {
    if (!IsEmpty(*coverage)) std::swap(*factors, *coverage);
    return false;
  }
  if (ExpandGhostWeights(weights, region, factors)) return true;
  if (IsEmpty(*coverage)) return false;
  for (int y = 0; y < factors->height; ++y) {
    uint8_t* out = RowPtr(*factors, y);
    const uint8_t* covered = RowPtr(*coverage, y);
    for (int x = 0; x < factors->width; ++x)
      out[x] = static_cast<uint8_t>((out[x] * covered[x] + 127) / 255);
  }
  return false;
}

GhostFusionReport FuseDeghostedFiles(std::span<const fs::path> files, int exposure, bool requireAll,
                                     const AlignSettings& settings, bool aligned, int strength,
                                     JobProgress* progress, SBxPicBuf* output,
                                     const SeriesLoader& loader) {
  GhostFusionReport report;
  AlignedFusionReport& fused = report.fused;
  if (files.empty()) return report;  // kNoFiles
  const int count = static_cast<int>(files.size());
  report.rejected.assign(files.size(), 0.0f);
  const int referenceIndex = AlignReferenceIndex(settings.reference, count);
  if (aligned) {
    // The aligned fusion's pipeline with the stage between reading and fusing: the reference is
    // kept from the estimation's read, each picture compared as it streams into the fusion.
    // Cut to the covered area, every coverage is full inside it.
    GhostStage ghosts(count, referenceIndex, strength, !settings.crop, &report.rejected);
    AlignedFusionStage stage;
    stage.reference = [&](SBxPicBuf* reference) { ghosts.Take(reference); };
    stage.supply = [&](int index, SBxPicBuf* picture) { return ghosts.Supply(index, picture); };
    stage.picture = [&](int index, bool unread, SBxPicBuf* picture, SBxPicBuf* factors) {
      return ghosts.Picture(index, unread, picture, factors);
    };
    fused =
        FuseAlignedFiles(files, exposure, requireAll, settings, progress, output, loader, stage);
    // A result without the ghost removal asked for is no result.
    if (ghosts.OutOfMemory() && fused.fusion.status == SeriesFusionStatus::kFused)
      fused.fusion.status = SeriesFusionStatus::kOutOfMemory;
    return report;
  }
  // Nothing moves: every picture is read as it lies.
  fused.alignment.reference = referenceIndex;
  fused.alignment.motions.resize(files.size());
  const SeriesAlignment& alignment = fused.alignment;
  GhostStage ghosts(count, referenceIndex, strength, true, &report.rejected);
  // The reference is read and reduced on a thread of its own while the fusion reads its first
  // file; a loader waits for it before comparing.
  std::shared_future<void> referenceReady;
  try {
    referenceReady = std::async(std::launch::async, [&] {
                       ghosts.Read(files[static_cast<size_t>(referenceIndex)], alignment, loader);
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
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* factors) {
    // Read beside the previous file; compared after it.
    if (index == referenceIndex) referenceReady.wait();
    const bool unread = !ghosts.Supply(index, picture) &&
                        LoadAlignedPicture(path, alignment, index, picture, nullptr, loader);
    referenceReady.wait();
    return ghosts.Picture(index, unread, picture, factors);
  };
  if (progress != nullptr)
    progress->SetStage("Fusing " + std::to_string(files.size()) + " pictures");
  fused.fusion = FuseSeries(request, output);
  referenceReady.wait();  // a fusion that read no file leaves it running
  if (ghosts.OutOfMemory() && fused.fusion.status == SeriesFusionStatus::kFused)
    fused.fusion.status = SeriesFusionStatus::kOutOfMemory;
  return report;
}
