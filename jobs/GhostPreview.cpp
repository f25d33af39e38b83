#include "jobs/GhostPreview.h"

#include <algorithm>
#include <new>
#include <utility>

#include "jobs/AlignedPreview.h"
#include "jobs/GhostSeries.h"
#include "jobs/PanelPreviews.h"

namespace fs = std::filesystem;

namespace {

// The parts of the picture whose weights a lowered block reaches (its blocks and one more
// around them: the weights are interpolated between block centres), as runs of blocks per
// row of blocks.
std::vector<CBxRect> LoweredParts(const GhostWeights& weights) {
  const int columns = weights.columns, rows = weights.rows, b = weights.block;
  const auto lowered = [&](int c, int r) {
    return c >= 0 && r >= 0 && c < columns && r < rows &&
           weights.values[static_cast<size_t>(r * columns + c)] < 1.0f;
  };
  const auto reached = [&](int c, int r) {
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc)
        if (lowered(c + dc, r + dr)) return true;
    return false;
  };
  std::vector<CBxRect> parts;
  for (int r = 0; r < rows; ++r) {
    // The last row and column of blocks take in what is left of the picture.
    const int top = r * b,
              bottom = r == rows - 1 ? weights.height : std::min(weights.height, top + b);
    for (int c = 0; c < columns;) {
      if (!reached(c, r)) {
        ++c;
        continue;
      }
      const int first = c;
      while (c < columns && reached(c, r))
        ++c;
      const int right = c == columns ? weights.width : std::min(weights.width, c * b);
      if (top < bottom && first * b < right) parts.push_back({first * b, top, right, bottom});
    }
  }
  return parts;
}

CBxRect Intersection(const CBxRect& a, const CBxRect& b) {
  CBxRect both{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
  if (both.Width() <= 0 || both.Height() <= 0) return {};
  return both;
}

// The repair of picture `index` pasted into its `region` part.
void PasteRepaired(const SeriesGhosts& ghosts, int index, const CBxRect& region,
                   SBxPicBuf* picture) {
  const auto i = static_cast<size_t>(index);
  if (i >= ghosts.repaired.size() || picture->width != region.Width() ||
      picture->height != region.Height())
    return;
  for (const RepairedPart& part : ghosts.repaired[i]) {
    const SBxPicBuf& pixels = **part.pixels;
    const CBxRect both = Intersection(part.at, region);
    if (both.Width() <= 0 || pixels.components != picture->components ||
        pixels.bitsPerComponent != picture->bitsPerComponent)
      continue;
    CBxPicBufAPI::CopyRect(picture, &pixels, {both.left - region.left, both.top - region.top},
                           {both.left - part.at.left, both.top - part.at.top},
                           {both.Width(), both.Height()});
  }
}

// Keeps what the comparison of picture `index` (the detector's last) found, and its repair.
void KeepFound(const GhostDetector& detector, const SBxPicBuf& reference, int index,
               SBxPicBuf* picture, GhostWeights weights, SeriesGhosts* ghosts) {
  const auto i = static_cast<size_t>(index);
  ghosts->rejected[i] = weights.rejected;
  ghosts->found[i] = weights;
  ghosts->factors[i] = weights;  // until the repair raises them
  if (weights.AllOne()) return;
  const std::vector<CBxRect> parts = LoweredParts(weights);
  if (detector.Repair(reference, picture, &weights)) return;  // the weights alone serve
  std::vector<RepairedPart> repaired;
  for (const CBxRect& at : parts) {
    RepairedPart part{at, std::make_shared<ScopedPicBuf>()};
    CutRect(*picture, at, part.pixels->get());
    if (IsEmpty(**part.pixels)) throw std::bad_alloc();
    repaired.push_back(std::move(part));
  }
  ghosts->repaired[i] = std::move(repaired);
  ghosts->factors[i] = std::move(weights);
}

}  // namespace

int SeriesGhosts::KeptOutCount() const {
  return static_cast<int>(
      std::count_if(rejected.begin(), rejected.end(), [](float share) { return share > 0.0f; }));
}

float SeriesGhosts::LargestShare() const {
  return rejected.empty() ? 0.0f : *std::max_element(rejected.begin(), rejected.end());
}

SeriesGhosts EstimateSeriesGhosts(std::span<const fs::path> files, const SeriesAlignment* alignment,
                                  int strength, JobProgress* progress, const SeriesLoader& loader) {
  SeriesGhosts ghosts;
  const int count = static_cast<int>(files.size());
  ghosts.strength = parameter::kDeghostStrength.Clamp(strength);
  ghosts.aligned = alignment != nullptr;
  ghosts.found.resize(files.size());
  ghosts.factors.resize(files.size());
  ghosts.rejected.assign(files.size(), 0.0f);
  ghosts.repaired.resize(files.size());
  // Unaligned, the series as it lies, with the command line's default reference.
  SeriesAlignment still;
  still.reference = AlignReferenceIndex(AlignSettings{}.reference, count);
  still.motions.resize(files.size());
  const SeriesAlignment& frame = alignment != nullptr ? *alignment : still;
  if (count == 0 || frame.motions.size() != files.size()) return ghosts;
  if (progress != nullptr) {
    progress->SetStage("Finding ghosts in " + std::to_string(count) + " pictures");
    progress->SetRange(0, count);
  }
  try {
    ScopedPicBuf reference;
    GhostDetector detector;
    const auto referenceFile = files[static_cast<size_t>(frame.reference)];
    // A reference that cannot be read or compared keeps every picture as it is.
    if (LoadAlignedPicture(referenceFile, frame, frame.reference, reference.get(), nullptr,
                           loader) ||
        detector.Start(*reference, count, frame.reference, ghosts.strength)) {
      ghosts.status = SeriesGhostStatus::kEstimated;
      return ghosts;
    }
    ghosts.size = {reference->width, reference->height};
    for (int index = 0; index < count; ++index) {
      if (progress != nullptr && progress->CancelRequested()) {
        ghosts.status = SeriesGhostStatus::kCancelled;
        return ghosts;
      }
      ScopedPicBuf picture;
      GhostWeights weights;
      // The reference is compared as it is in memory; an unreadable file keeps weights all 1.
      const bool unread =
          index != frame.reference && LoadAlignedPicture(files[static_cast<size_t>(index)], frame,
                                                         index, picture.get(), nullptr, loader);
      const SBxPicBuf& compared = index == frame.reference ? *reference : *picture;
      detector.Add(index, unread ? SBxPicBuf{} : compared, &weights);
      if (!unread && index != frame.reference)
        KeepFound(detector, *reference, index, picture.get(), std::move(weights), &ghosts);
      if (progress != nullptr) progress->Advance(1);
    }
  } catch (const std::bad_alloc&) {
    return ghosts;  // kOutOfMemory
  }
  ghosts.status = SeriesGhostStatus::kEstimated;
  return ghosts;
}

SeriesFusionReport FuseGhostPreviewRect(SeriesPictureCache& cache, std::span<const fs::path> files,
                                        const SeriesAlignment* alignment,
                                        const SeriesGhosts& ghosts, const CBxRect& region,
                                        const CBxRect& rect, int exposure, JobProgress* progress,
                                        SBxPicBuf* preview) {
  CBxPicBufAPI::DoneHeap(preview);
  SeriesAlignment still;
  still.motions.resize(files.size());
  const SeriesAlignment& frame = alignment != nullptr ? *alignment : still;
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.parallel = true;
  request.progress = progress;
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* factors) {
    const auto i = static_cast<size_t>(index);
    if (i >= frame.motions.size()) return true;
    ScopedPicBuf coverage;
    if (LoadAlignedPreviewRegion(cache, path, frame, index, region, picture, coverage.get()))
      return true;
    if (i >= ghosts.factors.size()) return GhostFactors({}, region, coverage.get(), factors);
    PasteRepaired(ghosts, index, region, picture);
    return GhostFactors(ghosts.factors[i], region, coverage.get(), factors);
  };
  ScopedPicBuf fused;
  const SeriesFusionReport report = FuseSeries(request, fused.get());
  if (report.status == SeriesFusionStatus::kFused) CutPreviewRect(*fused, region, rect, preview);
  return report;
}

bool GhostOverlayPlane(const SeriesGhosts& ghosts, SBxPicBuf* plane) {
  const int width = ghosts.size.width, height = ghosts.size.height;
  CBxPicBufAPI::DoneHeap(plane);
  if (width <= 0 || height <= 0) return true;
  CBxPicBufAPI::ReinitHeap(plane, width, height, 1, 8);
  if (IsEmpty(*plane)) return true;
  CBxPicBufAPI::SetConst(plane, 0);
  std::vector<float> row(static_cast<size_t>(width));
  for (const GhostWeights& weights : ghosts.found) {
    if (weights.AllOne() || weights.width != width || weights.height != height) continue;
    for (int y = 0; y < height; ++y) {
      weights.Row(y, 0, width, row.data());
      uint8_t* out = RowPtr(*plane, y);
      for (int x = 0; x < width; ++x) {
        const auto keptOut =
            static_cast<uint8_t>((1.0f - row[static_cast<size_t>(x)]) * 255.0f + 0.5f);
        out[x] = std::max(out[x], keptOut);
      }
    }
  }
  return false;
}
