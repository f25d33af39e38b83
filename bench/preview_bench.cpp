// How long the fusion panels' preview takes on a 5-picture 12-megapixel series: the first
// preview (the pictures decoded into memory), then an update after the rectangle moved and
// after the slider changed (fused from memory). Then the panels' whole preview update as
// their worker and their interface thread make it (fused and cut, pasted into the shown
// picture) and the Tone Mapping preview of a 512 x 512 rectangle of the first picture.
// Prints the lowest of three runs each.
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

#include "bench/BenchSeries.h"
#include "fusion/SeriesGeometry.h"
#include "jobs/PanelPreviews.h"
#include "jobs/PreviewFusion.h"
#include "picture/CBxPicBufAPI.h"

namespace fs = std::filesystem;

namespace {

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

// The Multi Image rectangle (500 x 500, its lower-right corner 150 pixels beyond the point)
// about a point well inside the picture.
CBxRect PreviewRectAt(int x, int y) {
  return {x - 350, y - 350, x + 150, y + 150};
}

// The work region of that rectangle.
CBxRect RegionAt(int x, int y) {
  return WorkRegion(PreviewRectAt(x, y), kWidth, kHeight);
}

// The panels' update after the rectangle moved: the worker's fusion and cut, then the paste
// into the shown picture on the interface thread.
void PanelUpdates(SeriesPictureCache& cache, const std::vector<fs::path>& files) {
  ScopedPicBuf source, mask, shown;
  if (LoadImageFile(source.get(), mask.get(), files[0])) std::exit(1);
  CBxRect pasted{};
  ScopedPicBuf preview;
  const CBxRect rect = PreviewRectAt(kWidth / 2, kHeight / 2);
  FusePreviewRect(cache, files, WorkRegion(rect, kWidth, kHeight), rect, 100, nullptr,
                  preview.get());
  ShowPreview(*source, *preview, rect, &pasted, shown.get());  // the whole copy, once
  int step = 0;
  double pasteMs = 1e300;
  const double updateMs = LowestMs(3, [&] {
    const CBxRect moved = PreviewRectAt(kWidth / 2 + 300 - 40 * step, kHeight / 2 - 200);
    ++step;
    FusePreviewRect(cache, files, WorkRegion(moved, kWidth, kHeight), moved, 100, nullptr,
                    preview.get());
    pasteMs = std::min(
        pasteMs, LowestMs(1, [&] { ShowPreview(*source, *preview, moved, &pasted, shown.get()); }));
  });
  std::printf("panel update, moved (all):  %7.1f ms\n", updateMs);
  std::printf("  of it the paste:          %7.2f ms\n", pasteMs);

  // The Tone Mapping preview: the middle of the first picture, default sliders, extra colours.
  ScopedPicBuf part, mapped;
  CutRect(*source, {kWidth / 2 - 256, kHeight / 2 - 256, kWidth / 2 + 256, kHeight / 2 + 256},
          part.get());
  const double toneMs =
      LowestMs(3, [&] { ToneMapPreview(*part, ToneSliders{}, nullptr, mapped.get()); });
  std::printf("tone mapping 512 x 512:     %7.1f ms\n", toneMs);
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
  PanelUpdates(cache, files);
  return 0;
}
