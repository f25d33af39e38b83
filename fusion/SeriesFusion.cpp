// Series fusion: finding the series' geometry, the fusion threads with their
// own accumulators, the merge and the result.
#include "fusion/SeriesFusion.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"

// One file as a fusion thread receives it: the pixels (of the work region when a region
// loader cut it out) and the geometry of the whole picture, which the series check compares.
struct LoadedFile {
  std::unique_ptr<ScopedPicBuf> picture;
  std::unique_ptr<ScopedPicBuf> factors;  // of a weighted loader, when it gave any
  SBxPicBuf geometry;                     // no pixels
  bool regionOnly = false;
  explicit operator bool() const { return picture != nullptr; }
};
using PicturePtr = LoadedFile;

// What the fusion threads of one call share.
struct SeriesContext {
  std::span<const std::filesystem::path> files;
  SeriesLoader loader;
  SeriesWeightedLoader weightedLoader;
  SeriesRegionLoader regionLoader;
  SBxPicBuf reference;  // geometry of the first picture; no pixels
  std::optional<CBxRect> region;
  bool requireAll = false;
  int firstLoaded = 0;  // files before it could not be loaded (already reported)
  // The first picture, loaded to learn the geometry; the one part whose files
  // include it takes it instead of loading it again.
  PicturePtr preloaded;
  int preloadedIndex = -1;
  JobProgress* progress = nullptr;
  std::mutex progressMutex;  // progress calls come from every fusion thread
  std::atomic<bool> stop{false};
  std::atomic<bool> cancelled{false};
  // The file after the one being loaded to find the geometry, decoded at the
  // same time on another thread, so that both processors work from the start.
  // Taken over by the reader of the part that holds it. Last member: it may
  // still be loading, with the members above, when the context goes.
  std::future<LoadedFile> early;
  std::atomic<int> earlyIndex{-1};

  void Step() {
    if (progress == nullptr) return;
    std::lock_guard<std::mutex> lock(progressMutex);
    progress->Advance(1);
  }
  // Polled between files.
  bool ShouldStop() {
    if (progress != nullptr && progress->CancelRequested()) {
      cancelled = true;
      stop = true;
    }
    return stop;
  }
};

namespace {

// Image files, without their alpha: a fused picture has none.
bool LoadSeriesFile(const std::filesystem::path& path, SBxPicBuf* picture) {
  ScopedPicBuf mask;
  return LoadImageFile(picture, mask.get(), path);
}

PicturePtr LoadOne(const SeriesContext& ctx, int index) {
  LoadedFile file;
  file.picture = std::make_unique<ScopedPicBuf>();
  const std::filesystem::path& path = ctx.files[static_cast<size_t>(index)];
  bool failed = true;
  try {
    if (ctx.regionLoader && ctx.region) {
      file.regionOnly = true;
      failed = ctx.regionLoader(path, *ctx.region, file.picture->get(), &file.geometry);
      // A picture that does not hold the region is known by its geometry alone.
      if (!failed && IsEmpty(**file.picture))
        CBxPicBufAPI::ReinitHeap(file.picture->get(), 1, 1, 1, 8);
    } else if (ctx.weightedLoader) {
      file.factors = std::make_unique<ScopedPicBuf>();
      failed = ctx.weightedLoader(index, path, file.picture->get(), file.factors->get());
      file.geometry = **file.picture;
      if (IsEmpty(**file.factors)) file.factors.reset();
    } else {
      failed = ctx.loader(path, file.picture->get());
      file.geometry = **file.picture;
    }
  } catch (const std::bad_alloc&) {
    throw;  // not the file's fault: the fusion cannot go on
  } catch (const std::exception&) {
    failed = true;  // a decoder that throws has not loaded the file
  }
  if (failed || IsEmpty(**file.picture)) return {};
  // Factors that do not fit their picture are the loader's failure to load it.
  if (file.factors) {
    const SBxPicBuf& f = **file.factors;
    if (f.components != 1 || (f.bitsPerComponent != 8 && f.bitsPerComponent != 32) ||
        f.width != file.geometry.width || f.height != file.geometry.height)
      return {};
  }
  file.geometry.pixels = nullptr;
  return file;
}

std::future<PicturePtr> LaunchLoad(const SeriesContext& ctx, int index) {
  // Falls back to loading on the first get() when no thread can be made.
  return std::async(std::launch::async | std::launch::deferred,
                    [&ctx, index] { return LoadOne(ctx, index); });
}

// The early load of file `index`, when there is one, handed over.
std::future<PicturePtr> TakeEarly(SeriesContext* ctx, int index) {
  if (ctx->earlyIndex.load() != index) return {};
  ctx->earlyIndex = -1;
  return std::move(ctx->early);
}

// Hands out the pictures of files [first, end) in order, decoding the next
// file on another thread while the current one is being added.
class PartReader {
 public:
  PartReader(SeriesContext& ctx, int first, int end) : ctx_(ctx), current_(first), end_(end) {
    Launch(current_);
  }
  ~PartReader() {
    if (pending_.valid()) pending_.wait();
  }
  PartReader(const PartReader&) = delete;
  PartReader& operator=(const PartReader&) = delete;

  // The next file's index and picture (null when it did not load); false
  // when the part is done.
  bool Next(int* index, PicturePtr* picture) {
    if (current_ >= end_) return false;
    *index = current_;
    *picture = current_ == ctx_.preloadedIndex ? std::move(ctx_.preloaded) : pending_.get();
    Launch(++current_);
    return true;
  }

 private:
  void Launch(int index) {
    if (index >= end_ || index == ctx_.preloadedIndex) return;
    pending_ = TakeEarly(&ctx_, index);
    if (!pending_.valid()) pending_ = LaunchLoad(ctx_, index);
  }

  SeriesContext& ctx_;
  int current_;
  int end_;
  std::future<PicturePtr> pending_;
};

void Skip(cFusionJob* job, int index, SeriesSkipReason reason, const LoadedFile* file) {
  SeriesContext& ctx = *job->context;
  SeriesSkippedFile skipped{index, ctx.files[static_cast<size_t>(index)], reason, {}};
  if (file != nullptr) skipped.geometry = file->geometry;
  job->skipped.push_back(skipped);
  if (ctx.requireAll) ctx.stop = true;
}

// The factors of a picture whose region is fused, cut to the region in `cut`
// (allocated on first use); null when the picture has none. Throws
// std::bad_alloc when memory runs out.
const SBxPicBuf* RegionFactors(const cFusionJob& job, const LoadedFile& file, ScopedPicBuf* cut) {
  if (!file.factors) return nullptr;
  const SBxPicBuf& factors = **file.factors;
  if (!job.context->region) return &factors;
  const int width = job.right - job.left, height = job.bottom - job.top;
  if (IsEmpty(**cut) || (*cut)->bitsPerComponent != factors.bitsPerComponent) {
    CBxPicBufAPI::ReinitHeap(cut->get(), width, height, 1, factors.bitsPerComponent);
    if (IsEmpty(**cut)) throw std::bad_alloc();
  }
  CBxPicBufAPI::CopyRect(cut->get(), &factors, CBxPoint{0, 0}, CBxPoint{job.left, job.top},
                         CBxSize{width, height});
  return cut->get();
}

void AddPartFiles(cFusionJob* job) {
  SeriesContext& ctx = *job->context;
  // The picture a whole file's region is cut into; a region loader cuts it itself.
  ScopedPicBuf regionPicture;
  if (ctx.region && !ctx.regionLoader) {
    CBxPicBufAPI::ReinitHeap(regionPicture.get(), job->right - job->left, job->bottom - job->top,
                             job->components, job->bitsPerComponent);
    if (IsEmpty(*regionPicture)) {
      job->outOfMemory = true;
      ctx.stop = true;
      return;
    }
  }
  ScopedPicBuf regionFactors;
  PartReader reader(ctx, std::max(job->firstFile, ctx.firstLoaded), job->endFile);
  int index = 0;
  PicturePtr picture;
  while (!ctx.ShouldStop() && reader.Next(&index, &picture)) {
    if (!picture) {
      Skip(job, index, SeriesSkipReason::kUnreadable, nullptr);
    } else if (!SameGeometry(picture.geometry, ctx.reference)) {
      Skip(job, index, SeriesSkipReason::kOtherGeometry, &picture);
    } else {
      const SBxPicBuf* added = picture.picture->get();
      if (ctx.region && !picture.regionOnly) {
        CBxPicBufAPI::CopyRect(regionPicture.get(), picture.picture->get(), CBxPoint{0, 0},
                               CBxPoint{job->left, job->top},
                               CBxSize{regionPicture->width, regionPicture->height});
        added = regionPicture.get();
      }
      // The geometry is checked above (the factors' when they were loaded), so a
      // failed add means memory ran out.
      const SBxPicBuf* factors = RegionFactors(*job, picture, &regionFactors);
      if (FusionAddWeightedPicture(job->accumulator, added, factors) != 0) {
        job->outOfMemory = true;
        ctx.stop = true;
      } else {
        ++job->fusedCount;
      }
    }
    picture = {};
    ctx.Step();
  }
}

}  // namespace

int FusionWorker(cFusionJob* job) {
  try {
    AddPartFiles(job);
  } catch (const std::exception&) {
    // Out of memory, or no thread for the look-ahead: this part cannot be
    // finished, so neither can the fusion.
    job->outOfMemory = true;
    job->context->stop = true;
  }
  return 0;
}

namespace {

// Accumulators of one call, released however the call ends.
struct Accumulators {
  std::vector<cFusionAccumulator> items;
  explicit Accumulators(size_t count) : items(count) {}
  ~Accumulators() {
    for (cFusionAccumulator& a : items)
      FusionFree(&a);
  }
};

// Loads files from the first until one loads; it sets the series' geometry.
SeriesFusionStatus FindFirstPicture(SeriesContext* ctx, SeriesFusionReport* report) {
  const int count = static_cast<int>(ctx->files.size());
  for (int i = 0; i < count; ++i) {
    if (ctx->ShouldStop()) return SeriesFusionStatus::kCancelled;
    std::future<PicturePtr> loading = TakeEarly(ctx, i);
    if (i + 1 < count) {
      ctx->early = LaunchLoad(*ctx, i + 1);
      ctx->earlyIndex = i + 1;
    }
    ctx->preloaded = loading.valid() ? loading.get() : LoadOne(*ctx, i);
    if (ctx->preloaded) {
      ctx->firstLoaded = i;
      ctx->preloadedIndex = i;
      ctx->reference = ctx->preloaded.geometry;
      return SeriesFusionStatus::kFused;
    }
    report->skipped.push_back(
        {i, ctx->files[static_cast<size_t>(i)], SeriesSkipReason::kUnreadable, {}});
    ctx->Step();
    if (ctx->requireAll) return SeriesFusionStatus::kFileRejected;
  }
  return SeriesFusionStatus::kNoPicture;
}

// The region fused (the full pictures when none is given); false when it is
// empty or not inside the pictures.
bool FusedArea(const SeriesContext& ctx, CBxRect* area) {
  const SBxPicBuf& ref = ctx.reference;
  *area = ctx.region.value_or(CBxRect{0, 0, ref.width, ref.height});
  return area->left >= 0 && area->top >= 0 && area->left < area->right &&
         area->top < area->bottom && area->right <= ref.width && area->bottom <= ref.height;
}

// Runs the parts: part 0 on the caller's thread, the others on their own.
void RunParts(std::vector<cFusionJob>* jobs) {
  std::vector<std::thread> threads;
  for (size_t p = 1; p < jobs->size(); ++p) {
    try {
      threads.emplace_back(FusionWorker, &(*jobs)[p]);
    } catch (const std::system_error&) {
      FusionWorker(&(*jobs)[p]);  // no thread to be had: run it here
    }
  }
  FusionWorker(&(*jobs)[0]);
  for (std::thread& t : threads)
    t.join();
}

SeriesFusionStatus FuseParts(const SeriesFusionRequest& request, SeriesContext* ctx,
                             const CBxRect& area, const SBxPicBuf& fused, SBxPicBuf* output,
                             SeriesFusionReport* report) {
  const int count = static_cast<int>(request.files.size());
  const std::vector<SeriesPart> parts =
      request.parallel ? SplitSeries(count) : std::vector<SeriesPart>{{0, count}};
  Accumulators accs(parts.size());
  std::vector<cFusionJob> jobs(parts.size());
  for (size_t p = 0; p < parts.size(); ++p) {
    if (FusionInit(&accs.items[p], &fused, request.exposure) != 0)
      return SeriesFusionStatus::kOutOfMemory;
    jobs[p] = cFusionJob{&accs.items[p],
                         area.left,
                         area.top,
                         area.right,
                         area.bottom,
                         fused.components,
                         fused.bitsPerComponent,
                         request.exposure,
                         parts[p].first,
                         parts[p].end,
                         ctx,
                         {},
                         0,
                         false};
  }
  RunParts(&jobs);
  bool outOfMemory = false;
  for (size_t p = 0; p < jobs.size(); ++p) {
    report->skipped.insert(report->skipped.end(), jobs[p].skipped.begin(), jobs[p].skipped.end());
    report->fusedCount += jobs[p].fusedCount;
    outOfMemory = outOfMemory || jobs[p].outOfMemory;
    if (p > 0) {
      FusionMerge(&accs.items[0], &accs.items[p]);
      FusionFree(&accs.items[p]);
    }
  }
  std::sort(
      report->skipped.begin(), report->skipped.end(),
      [](const SeriesSkippedFile& a, const SeriesSkippedFile& b) { return a.index < b.index; });
  if (ctx->cancelled) return SeriesFusionStatus::kCancelled;
  if (request.requireAll && !report->skipped.empty()) return SeriesFusionStatus::kFileRejected;
  if (outOfMemory) return SeriesFusionStatus::kOutOfMemory;

  const bool allocated = IsEmpty(*output);
  if (allocated) CBxPicBufAPI::ReinitHeap(output, &fused);
  if (IsEmpty(*output) || FusionResult(output, &accs.items[0]) != 0) {
    if (allocated) CBxPicBufAPI::DoneHeap(output);
    return SeriesFusionStatus::kOutOfMemory;
  }
  ctx->Step();
  return SeriesFusionStatus::kFused;
}

SeriesFusionReport Fuse(const SeriesFusionRequest& request, SBxPicBuf* output) {
  SeriesFusionReport report;
  if (request.files.empty()) return report;  // kNoFiles
  SeriesContext ctx;
  ctx.files = request.files;
  ctx.loader = request.loader ? request.loader : SeriesLoader(LoadSeriesFile);
  ctx.weightedLoader = request.weightedLoader;
  ctx.regionLoader = request.regionLoader;
  ctx.region = request.region;
  ctx.requireAll = request.requireAll;
  ctx.progress = request.progress;
  // One step per file and one for the result.
  if (ctx.progress != nullptr)
    ctx.progress->SetRange(0, static_cast<int>(request.files.size()) + 1);

  report.status = FindFirstPicture(&ctx, &report);
  if (report.status != SeriesFusionStatus::kFused) return report;
  report.geometry = ctx.reference;
  CBxRect area;
  if (!FusedArea(ctx, &area)) {
    report.status = SeriesFusionStatus::kRegionOutside;
    return report;
  }
  SBxPicBuf fused = ctx.reference;
  fused.width = area.Width();
  fused.height = area.Height();
  if (!FusionGeometrySupported(fused)) {
    report.status = SeriesFusionStatus::kUnsupported;
  } else if (!IsEmpty(*output) && !SameGeometry(*output, fused)) {
    report.status = SeriesFusionStatus::kOutputMismatch;
  } else {
    report.status = FuseParts(request, &ctx, area, fused, output, &report);
  }
  return report;
}

}  // namespace

SeriesFusionReport FuseSeries(const SeriesFusionRequest& request, SBxPicBuf* output) {
  try {
    return Fuse(request, output);
  } catch (const std::bad_alloc&) {
    SeriesFusionReport report;
    report.status = SeriesFusionStatus::kOutOfMemory;
    return report;
  }
}

const char* SeriesFusionStatusText(SeriesFusionStatus status) {
  switch (status) {
    case SeriesFusionStatus::kFused:
      return "fused";
    case SeriesFusionStatus::kNoFiles:
      return "no files to fuse";
    case SeriesFusionStatus::kNoPicture:
      return "none of the files could be read";
    case SeriesFusionStatus::kUnsupported:
      return "the pictures cannot be fused: they need 8 or 16 bits per component and at least "
             "10 pixels on each side";
    case SeriesFusionStatus::kRegionOutside:
      return "the region to fuse lies outside the pictures";
    case SeriesFusionStatus::kOutputMismatch:
      return "the output picture does not have the fused size and format";
    case SeriesFusionStatus::kFileRejected:
      return "a file cannot be fused with the others";
    case SeriesFusionStatus::kOutOfMemory:
      return "not enough memory to fuse the series";
    case SeriesFusionStatus::kCancelled:
      return "cancelled";
  }
  return "";
}

const char* SeriesSkipReasonText(SeriesSkipReason reason) {
  return reason == SeriesSkipReason::kUnreadable
             ? "cannot be read or has an unsupported format"
             : "has another size, number of components or bit depth than the first picture";
}
