#pragma once
// A memory card's worth of bracketed series for the Batch tests: copies of the bundled sample
// series, each picture with capture data of its own, series 30 seconds apart.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/CameraShots.h"
#include "tests/support/ExifWriter.h"

namespace batch_card {

inline const std::filesystem::path kBracketed =
    std::filesystem::path(MELVARO_SAMPLES_DIR) / "bracketed";

// The sample series a card series is copied from, in turn.
inline std::vector<std::filesystem::path> SampleSeries(int s) {
  if (s % 2 == 0)
    return {kBracketed / "rovinia/rovinia1.jpg", kBracketed / "rovinia/rovinia2.jpg",
            kBracketed / "rovinia/rovinia3.jpg"};
  return {kBracketed / "secretbeach/SecretBeach1.jpg", kBracketed / "secretbeach/SecretBeach2.jpg",
          kBracketed / "secretbeach/SecretBeach3.jpg"};
}

// Writes `count` series of three into `card` as IMG_0001.jpg, IMG_0002.jpg, ...: one camera,
// a frame a second bracketed 0, -2, +2 EV, each series 30 seconds after the one before. The
// files of each series, in order.
inline std::vector<std::vector<std::filesystem::path>> WriteCard(const std::filesystem::path& card,
                                                                 int count) {
  std::filesystem::create_directories(card);
  std::vector<std::vector<std::filesystem::path>> series(count);
  int n = 0;
  for (int s = 0; s < count; ++s) {
    const std::vector<std::filesystem::path> samples = SampleSeries(s);
    for (size_t i = 0; i < samples.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "IMG_%04d.jpg", ++n);
      const double bias = i == 0 ? 0.0 : i == 1 ? -2.0 : 2.0;
      series[s].push_back(card / name);
      exif::CopyJpegWithExif(
          samples[i], series[s].back(),
          shots::ShotFields(30.0 * s + static_cast<double>(i), 1.0 / 125, bias, "4711"));
    }
  }
  return series;
}

// Where a series' result goes by default: beside it, after its first picture.
inline std::filesystem::path ResultBeside(const std::vector<std::filesystem::path>& series) {
  return series.front().parent_path() / (series.front().stem().string() + "-vtx.jpg");
}

}  // namespace batch_card
