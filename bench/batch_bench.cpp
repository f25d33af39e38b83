// The pictures bench/batch_vs_fuse.sh times `melvaro-cli batch` on, against one
// `melvaro-cli fuse` per series: series of three 12-megapixel JPEGs with capture data that
// groups them, as a camera's card holds them.
//
// Usage: melvaro_batch_bench FOLDER [SERIES]   writes SERIES (default 10) series of three
//                                               4000 x 3000 JPEGs (quality 95)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/CBxPicMap.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "tests/support/ExifWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The St. Louis exposures of 1/30 s, 1/4 s and 15 s scaled to 12 megapixels.
std::vector<std::string> MakeFrames() {
  const fs::path samples = fs::path(MELVARO_SAMPLES_DIR) / "bracketed" / "stlouis";
  const fs::path scratch =
      fs::temp_directory_path() / ("melvaro-batch-bench-" + std::to_string(getpid()) + ".jpg");
  std::vector<std::string> frames;
  for (const char* name : {"stlouis0.jpg", "stlouis1.jpg", "stlouis3.jpg"}) {
    ScopedPicBuf photo, mask, big(kWidth, kHeight, 3, 8);
    if (LoadImageFile(photo.get(), mask.get(), samples / name)) return {};
    CBxPicMap map;
    map.Compute(kWidth / 2.0, kHeight / 2.0, photo->width / 2.0, photo->height / 2.0, 0.0,
                static_cast<double>(kWidth) / photo->width);
    CBxPicBufAPI::TransformBilinearFast(big.get(), photo.get(), map);
    if (WriteImageFile(big.get(), nullptr, scratch, samples / name, 0, 95)) return {};
    frames.push_back(ReadWholeFile(scratch));
  }
  fs::remove(scratch);
  return frames;
}

// Series shot 30 seconds apart, each with its 15-second exposure last: the capture data
// groups them, as a camera's would.
int Make(const fs::path& folder, int count) {
  fs::create_directories(folder);
  const std::vector<std::string> frames = MakeFrames();
  if (frames.empty()) {
    std::fprintf(stderr, "cannot make the frames from the samples\n");
    return 1;
  }
  const std::pair<uint32_t, uint32_t> exposures[] = {{1, 30}, {1, 4}, {15, 1}};
  for (int s = 0; s < count; ++s)
    for (int i = 0; i < 3; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "IMG_%04d.jpg", s * 3 + i + 1);
      exif::Fields f;
      f.make = "Canon";
      f.model = "Canon PowerShot S3 IS";
      f.dateTimeOriginal = exif::ExifTime(s * 30 + i);
      f.exposure = exposures[i];
      WriteTextFile(folder / name, exif::JpegWithExif(frames[static_cast<size_t>(i)], f));
    }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 || argc == 3) return Make(argv[1], argc == 3 ? std::atoi(argv[2]) : 10);
  std::fprintf(stderr, "usage: %s FOLDER [SERIES]\n", argv[0]);
  return 2;
}
