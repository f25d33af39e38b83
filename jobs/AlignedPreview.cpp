#include "jobs/AlignedPreview.h"

#include <utility>

#include "align/Warp.h"
#include "jobs/PanelPreviews.h"

bool LoadAlignedPreviewRegion(SeriesPictureCache& cache, const std::filesystem::path& path,
                              const SeriesAlignment& alignment, int index, const CBxRect& region,
                              SBxPicBuf* picture, SBxPicBuf* coverage) {
  ScopedPicBuf geometry;
  if (!alignment.Moved(index)) return cache.LoadRegion(path, region, picture, geometry.get());
  const CBxSize size = alignment.size;
  const Homography& toSource = alignment.motions[static_cast<size_t>(index)].toSource;
  CBxRect needed = SourceRegionFor(toSource, region, size);
  // A picture moved clear of the region still gives its edge pixels, at no weight.
  if (needed.Width() <= 0 || needed.Height() <= 0) needed = CBxRect{0, 0, 1, 1};
  ScopedPicBuf part;
  if (cache.LoadRegion(path, needed, part.get(), geometry.get()) || IsEmpty(*part)) return true;
  return WarpRegion(*part, CBxPoint{needed.left, needed.top}, size, toSource, region, picture,
                    coverage);
}

SeriesFusionReport FuseAlignedPreview(SeriesPictureCache& cache,
                                      std::span<const std::filesystem::path> files,
                                      const SeriesAlignment& alignment, const CBxRect& region,
                                      int exposure, SBxPicBuf* output, JobProgress* progress) {
  // The pictures come in cut to the region already: the fusion sees region-sized pictures.
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.parallel = true;
  request.progress = progress;
  request.weightedLoader = [&](int index, const std::filesystem::path& path, SBxPicBuf* picture,
                               SBxPicBuf* coverage) {
    if (index >= static_cast<int>(alignment.motions.size())) return true;
    return LoadAlignedPreviewRegion(cache, path, alignment, index, region, picture, coverage);
  };
  return FuseSeries(request, output);
}

SeriesFusionReport FuseAlignedPreviewRect(SeriesPictureCache& cache,
                                          std::span<const std::filesystem::path> files,
                                          const SeriesAlignment& alignment, const CBxRect& region,
                                          const CBxRect& rect, int exposure, JobProgress* progress,
                                          SBxPicBuf* preview) {
  CBxPicBufAPI::DoneHeap(preview);
  ScopedPicBuf fused;
  const SeriesFusionReport report =
      FuseAlignedPreview(cache, files, alignment, region, exposure, fused.get(), progress);
  if (report.status == SeriesFusionStatus::kFused) CutPreviewRect(*fused, region, rect, preview);
  return report;
}

bool AlignShownPicture(const SeriesAlignment& alignment, int index, SBxPicBuf* picture) {
  if (index < 0 || index >= static_cast<int>(alignment.motions.size()) || !alignment.Moved(index) ||
      picture->width != alignment.size.width || picture->height != alignment.size.height)
    return false;
  ScopedPicBuf moved;
  if (WarpPicture(*picture, alignment.motions[static_cast<size_t>(index)].toSource, moved.get()))
    return true;
  std::swap(*picture, *moved);
  return false;
}
