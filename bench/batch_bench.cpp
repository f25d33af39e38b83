// The batch job on a folder of 12-megapixel series, through the same calls the front ends
// make: the files collected, their capture data read, the series planned and run. The script
// bench/batch_vs_fuse.sh times it against one `melvaro-cli fuse` per series.
//
// Usage: melvaro_batch_bench make FOLDER [SERIES]   writes SERIES (default 10) series of three
//                                                   4000 x 3000 JPEGs (quality 95), once
//        melvaro_batch_bench run FOLDER OUTFOLDER    fuses every series found in FOLDER into
//                                                   OUTFOLDER (results written over)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/BatchRun.h"
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

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Run(const fs::path& folder, const fs::path& outFolder) {
  const auto start = std::chrono::steady_clock::now();
  const std::vector<fs::path> inputs = {folder};
  const CollectedFiles files = CollectBatchFiles(inputs);
  std::vector<BatchPicture> pictures;
  ReadBatchPictures(files.files, nullptr, &pictures);
  BatchPlanRequest request;
  request.pattern = (outFolder / "{first}-vtx.jpg").string();
  const BatchPlan plan = PlanBatch(pictures, request);
  if (!files.refusal.empty() || !plan.refusal.empty()) {
    std::fprintf(stderr, "%s%s\n", files.refusal.c_str(), plan.refusal.c_str());
    return 1;
  }
  const double planned = Since(start);
  fs::create_directories(outFolder);
  BatchRunOptions options;
  options.overwrite = true;
  options.write.jpegQuality = 95;
  const BatchRunSummary summary = RunBatch(plan, options, nullptr);
  std::printf("%zu pictures, %zu series; planned in %.3f s, whole run %.2f s: %s\n",
              pictures.size(), plan.series.size(), planned, Since(start), summary.Text().c_str());
  return summary.AnyFailed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make" && (argc == 3 || argc == 4))
    return Make(argv[2], argc == 4 ? std::atoi(argv[3]) : 10);
  if (mode == "run" && argc == 4) return Run(argv[2], argv[3]);
  std::fprintf(stderr, "usage: %s make FOLDER [SERIES] | run FOLDER OUTFOLDER\n", argv[0]);
  return 2;
}
