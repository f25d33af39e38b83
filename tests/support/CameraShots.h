#pragma once

// Pictures as a camera leaves them on its card, for the batch tests: small exposures of the
// test scene, or copies of the sample photographs, each with capture data of its own.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "tests/fusion/TestPictures.h"
#include "tests/support/ExifWriter.h"

namespace shots {

// A JPEG of the test scene at `gain` (an exposure) with the capture data `fields`.
inline void WriteSceneShot(const std::filesystem::path& path, double gain,
                           const exif::Fields& fields, int width = 120, int height = 90) {
  ScopedPicBuf pic(width, height, 3, 8);
  FillScene(pic.get(), gain);
  if (WriteImageFile(pic.get(), nullptr, path, {}, 0, 95))
    throw std::runtime_error("cannot write " + path.string());
  WriteTextFile(path, exif::JpegWithExif(ReadWholeFile(path), fields));
}

// The capture data of a shot by camera `serial`, `at` seconds after ten in the morning (to the
// hundredth), exposed for `exposure` seconds with the exposure bias `bias` EV (in thirds).
inline exif::Fields ShotFields(double at, double exposure, std::optional<double> bias,
                               const std::string& serial) {
  exif::Fields f;
  f.make = "Maker";
  f.model = "Body";
  f.serial = serial;
  f.dateTimeOriginal = exif::ExifTime(static_cast<int>(at));
  const int hundredths = static_cast<int>(std::lround((at - std::floor(at)) * 100));
  f.subSecOriginal = (hundredths < 10 ? "0" : "") + std::to_string(hundredths);
  f.exposure = exposure < 1 ? std::pair<uint32_t, uint32_t>{1, std::lround(1 / exposure)}
                            : std::pair<uint32_t, uint32_t>{std::lround(exposure), 1};
  if (bias) f.bias = {{static_cast<int32_t>(std::lround(*bias * 3)), 3}};
  return f;
}

}  // namespace shots
