// How long the fusion panels' preview takes on a 5-picture 12-megapixel series: the first
// preview (the pictures decoded into memory), then an update after the rectangle moved and
// after the slider changed (fused from memory). Prints the lowest of three runs each.
//
// Usage: melvaro_preview_bench [FOLDER]   (the series is written there; a temporary folder
// by default)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/PreviewFusion.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/CBxPicMap.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The bundled St. Louis exposures scaled to 12 megapixels, the fifth a copy of the first:
// real photographs, as the panel would see them, written as quality-95 JPEGs.
std::vector<fs::path> MakeSeries(const fs::path& folder) {
  const fs::path samples = fs::path(MELVARO_SAMPLES_DIR) / "bracketed" / "stlouis";
  std::vector<fs::path> files;
  for (int i = 0; i < 5; ++i) {
    const fs::path out = folder / ("preview" + std::to_string(i) + ".jpg");
    files.push_back(out);
    if (fs::exists(out)) continue;
    ScopedPicBuf photo, mask, big(kWidth, kHeight, 3, 8);
    const fs::path in = samples / ("stlouis" + std::to_string(i % 4) + ".jpg");
    if (LoadImageFile(photo.get(), mask.get(), in)) {
      std::fprintf(stderr, "cannot read %s\n", in.c_str());
      std::exit(1);
    }
    CBxPicMap map;
    map.Compute(kWidth / 2.0, kHeight / 2.0, photo->width / 2.0, photo->height / 2.0, 0.0,
                static_cast<double>(kWidth) / photo->width);
    CBxPicBufAPI::TransformBilinearFast(big.get(), photo.get(), map);
    if (WriteImageFile(big.get(), nullptr, out, {}, 0, 95)) std::exit(1);
  }
  return files;
}

template <typename F>
double LowestMs(int runs, F&& run) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

// The work region of the Multi Image panel's rectangle (500 x 500, its lower-right corner 150
// pixels beyond the point) about a point well inside the picture.
CBxRect RegionAt(int x, int y) {
  const CBxRect rect{x - 350, y - 350, x + 150, y + 150};
  return WorkRegion(rect, kWidth, kHeight);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "melvaro-preview-bench";
  fs::create_directories(folder);
  const std::vector<fs::path> files = MakeSeries(folder);
  const CBxRect first = RegionAt(kWidth / 2, kHeight / 2);
  const CBxRect moved = RegionAt(kWidth / 2 + 300, kHeight / 2 - 200);

  const double firstMs = LowestMs(3, [&] {
    SeriesPictureCache cache;
    ScopedPicBuf out;
    FusePreview(cache, files, first, 100, out.get());
  });
  SeriesPictureCache cache;
  {
    ScopedPicBuf out;
    FusePreview(cache, files, first, 100, out.get());
  }
  const double moveMs = LowestMs(3, [&] {
    ScopedPicBuf out;
    FusePreview(cache, files, moved, 100, out.get());
  });
  const double sliderMs = LowestMs(3, [&] {
    ScopedPicBuf out;
    FusePreview(cache, files, moved, 112, out.get());
  });
  std::printf("series: 5 pictures of %d x %d, work region %d x %d, %zu MB kept\n", kWidth, kHeight,
              first.Width(), first.Height(), cache.BytesKept() >> 20);
  std::printf("first preview (decoding):   %7.1f ms\n", firstMs);
  std::printf("rectangle moved:            %7.1f ms\n", moveMs);
  std::printf("slider changed:             %7.1f ms\n", sliderMs);
  return 0;
}
