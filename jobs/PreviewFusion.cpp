#include "jobs/PreviewFusion.h"

#include "jobs/SeriesPipeline.h"

SeriesFusionReport FusePreview(SeriesPictureCache& cache,
                               std::span<const std::filesystem::path> files, const CBxRect& region,
                               int exposure, SBxPicBuf* output, JobProgress* progress) {
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = static_cast<uint32_t>(exposure);
  request.region = region;
  request.parallel = true;
  request.progress = progress;
  request.regionLoader = [&cache](const std::filesystem::path& path, const CBxRect& area,
                                  SBxPicBuf* picture, SBxPicBuf* geometry) {
    return cache.LoadRegion(path, area, picture, geometry);
  };
  return FuseSeries(request, output);
}

SeriesFusionReport FuseFromCache(SeriesPictureCache& cache,
                                 std::span<const std::filesystem::path> files, int exposure,
                                 JobProgress* progress, SBxPicBuf* output) {
  return FuseFiles(files, exposure, false, progress, output,
                   [&cache](const std::filesystem::path& path, SBxPicBuf* picture) {
                     return cache.Load(path, picture);
                   });
}
