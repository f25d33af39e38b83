#pragma once
// The 12-megapixel series the panel benchmarks work on.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/CBxPicMap.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"

inline constexpr int kWidth = 4000;
inline constexpr int kHeight = 3000;

// The bundled St. Louis exposures scaled to 12 megapixels, the fifth a copy of the first:
// real photographs, as the panel would see them, written as quality-95 JPEGs.
inline std::vector<std::filesystem::path> MakeSeries(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
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
