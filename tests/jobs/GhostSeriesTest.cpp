// The fusion with ghost removal as a job: each file decoded once (the reference kept from its
// first read, aligned or not), a thing that moved kept out where it moved, and the same result
// whichever way the pictures reach the fusion.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/GhostSeries.h"
#include "jobs/MemoryNeed.h"
#include "jobs/SeriesPipeline.h"
#include "tests/align/AlignScenes.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 240, kHeight = 180;

// The scene with a dark square where a person stood in one frame.
struct WithSquare {
  const Scene& scene;
  double left, top;

  void At(double x, double y, uint32_t count, double* values) const {
    scene.At(x, y, count, values);
    if (x < left || x >= left + 40 || y < top || y >= top + 40) return;
    for (uint32_t c = 0; c < count; ++c)
      values[c] = 0.08 + 0.02 * c;
  }
};

// Frames at -1, 0 and +1 EV held in memory, read through a loader that counts the reads of
// every file.
class CountedFrames {
 public:
  // Frame k seen through toScene[k]; the first frame has a square in it.
  explicit CountedFrames(const std::vector<Homography>& toScene) {
    const Scene scene(7);
    const WithSquare square{scene, 150.0, 60.0};
    for (size_t k = 0; k < toScene.size(); ++k) {
      auto frame = std::make_unique<ScopedPicBuf>(kWidth, kHeight, 3, 8);
      const double ev = static_cast<double>(k) - 1.0;
      if (k == 0) {
        RenderScene(square, toScene[k], ev, frame->get());
      } else {
        RenderScene(scene, toScene[k], ev, frame->get());
      }
      AddNoise(0.003, static_cast<uint32_t>(k + 1), frame->get());
      paths.emplace_back("frame" + std::to_string(k));
      frames[paths.back().string()] = std::move(frame);
    }
  }
  SeriesLoader Loader() {
    return [this](const fs::path& path, SBxPicBuf* picture) {
      const auto found = frames.find(path.string());
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++reads[path.string()];
      }
      if (found == frames.end()) return true;
      CBxPicBufAPI::ReinitHeap(picture, found->second->get());
      CBxPicBufAPI::Copy(picture, found->second->get());
      return false;
    };
  }
  int Reads(int k) {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads[paths[static_cast<size_t>(k)].string()];
  }
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    reads.clear();
  }

  std::vector<fs::path> paths;
  std::map<std::string, std::unique_ptr<ScopedPicBuf>> frames;

 private:
  std::mutex mutex_;
  std::map<std::string, int> reads;
};

Homography Shift(double dx, double dy) {
  Homography h;
  h.m = {1, 0, dx, 0, 1, dy, 0, 0, 1};
  return h;
}

#if !defined(__SANITIZE_ADDRESS__)
// The process's resident memory in bytes.
uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// How far the resident memory rises above where it stood while `job` runs, sampled every
// millisecond.
uint64_t PeakGrowth(const std::function<void()>& job) {
  const uint64_t before = ResidentBytes();
  std::atomic<bool> done{false};
  std::atomic<uint64_t> peak{before};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max<uint64_t>(peak, ResidentBytes());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  job();
  done = true;
  sampler.join();
  return std::max<uint64_t>(peak, ResidentBytes()) - before;
}
#endif

}  // namespace

// Every file decoded once, the reference too (whichever it is): it is kept from its first read
// for the comparison and handed to the fusion at its turn; aligned, from the estimation's read,
// each picture going on to the fusion as its motion settles. The moved square is kept out.
TEST(GhostSeries, EveryFileDecodedOnceAlignedOrNot) {
  CountedFrames still({Homography{}, Homography{}, Homography{}});
  CountedFrames moved({Shift(3.0, -2.0), Homography{}, Shift(-2.5, 1.5)});
  for (const bool aligned : {false, true}) {
    for (const int reference : {1, 2, 3}) {
      CountedFrames& series = aligned ? moved : still;
      SCOPED_TRACE(testing::Message()
                   << (aligned ? "aligned" : "as they lie") << ", reference " << reference);
      series.Forget();
      ScopedPicBuf fused;
      const AlignSettings settings{AlignModel::kAuto, reference, false};
      const GhostFusionReport report = FuseDeghostedFiles(
          series.paths, 100, true, settings, aligned, 5, nullptr, fused.get(), series.Loader());
      ASSERT_EQ(report.fused.fusion.status, SeriesFusionStatus::kFused);
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(series.Reads(k), 1) << "file " << k;
      // The square stands in the first frame only: kept out there unless that is the reference.
      EXPECT_EQ(report.rejected[0] > 0.0f, reference != 1);
      EXPECT_EQ(report.rejected[static_cast<size_t>(reference - 1)], 0.0f);
    }
  }
}

// Cut to the covered area, the motions are all estimated before the fusion reads the files
// again: the reference is still decoded once, the others twice; and the stage gives the same
// result as streaming where nothing is cut.
TEST(GhostSeries, TwoPassesDecodeTheReferenceOnce) {
  CountedFrames still({Homography{}, Homography{}, Homography{}});
  ScopedPicBuf streamed, twoPasses;
  ASSERT_EQ(FuseDeghostedFiles(still.paths, 100, true, {AlignModel::kAuto, 2, false}, true, 5,
                               nullptr, streamed.get(), still.Loader())
                .fused.fusion.status,
            SeriesFusionStatus::kFused);
  still.Forget();
  const GhostFusionReport report =
      FuseDeghostedFiles(still.paths, 100, true, {AlignModel::kAuto, 2, true}, true, 5, nullptr,
                         twoPasses.get(), still.Loader());
  ASSERT_EQ(report.fused.fusion.status, SeriesFusionStatus::kFused);
  EXPECT_FALSE(report.fused.cropped);  // still: every picture covers the frame
  EXPECT_EQ(still.Reads(0), 2);
  EXPECT_EQ(still.Reads(1), 1);
  EXPECT_EQ(still.Reads(2), 2);
  EXPECT_GT(report.rejected[0], 0.0f);
  EXPECT_TRUE(SameSamples(*streamed, *twoPasses));
}

// A reference that cannot be read compares nothing and never blocks the others: the fusion
// reports the file, as it does without ghost removal.
TEST(GhostSeries, UnreadableReferenceIsReportedNotCompared) {
  CountedFrames still({Homography{}, Homography{}, Homography{}});
  still.frames.erase(still.paths[1].string());
  for (const bool aligned : {false, true}) {
    ScopedPicBuf fused;
    const GhostFusionReport report =
        FuseDeghostedFiles(still.paths, 100, true, {AlignModel::kAuto, 2, false}, aligned, 5,
                           nullptr, fused.get(), still.Loader());
    EXPECT_EQ(report.fused.fusion.status, SeriesFusionStatus::kFileRejected) << aligned;
    EXPECT_EQ(report.rejected, std::vector<float>(3, 0.0f));
  }
}

// The memory the ghost removal adds to the fusion, as the job refuses work by it: never below
// what a run takes, and within twice it (an estimate far too high refuses work that fits).
TEST(GhostSeries, MemoryNeedIsHonest) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory hides the job's";
#else
  // Large blocks go back to the system when freed, so the resident memory follows what the
  // job holds, and one run leaves nothing for the next to reuse.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024);
  constexpr int kW = 2400, kH = 1600;
  std::map<std::string, std::unique_ptr<ScopedPicBuf>> frames;
  std::vector<fs::path> paths;
  for (int k = 0; k < 3; ++k) {
    auto frame = std::make_unique<ScopedPicBuf>(kW, kH, 3, 8);
    // A square stands somewhere else in the first frame: its weights are lowered there.
    const int left = k == 0 ? 300 : 1500;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        for (int c = 0; c < 3; ++c) {
          const bool square = x >= left && x < left + 400 && y >= 500 && y < 900;
          const int scene = square ? 8 : 24 + (x / 16 + y / 16 + c) % 5 * 12;
          RowPtr(**frame, y)[x * 3 + c] = static_cast<uint8_t>(std::min(255, scene << k));
        }
    paths.emplace_back("frame" + std::to_string(k));
    frames[paths.back().string()] = std::move(frame);
  }
  const SeriesLoader loader = [&](const fs::path& path, SBxPicBuf* picture) {
    const auto found = frames.find(path.string());
    if (found == frames.end()) return true;
    CBxPicBufAPI::ReinitHeap(picture, found->second->get());
    CBxPicBufAPI::Copy(picture, found->second->get());
    return false;
  };
  const SBxPicBuf& geometry = **frames.begin()->second;
  for (const bool aligned : {false, true}) {
    SCOPED_TRACE(aligned ? "aligned" : "as they lie");
    std::vector<float> rejected;
    const uint64_t plain = PeakGrowth([&] {
      ScopedPicBuf fused;
      if (aligned) {
        FuseAlignedFiles(paths, 100, true, {}, nullptr, fused.get(), loader);
      } else {
        FuseFiles(paths, 100, true, nullptr, fused.get(), loader);
      }
    });
    const uint64_t deghosted = PeakGrowth([&] {
      ScopedPicBuf fused;
      rejected = FuseDeghostedFiles(paths, 100, true, {}, aligned, 5, nullptr, fused.get(), loader)
                     .rejected;
    });
    ASSERT_GT(rejected[0], 0.0f);  // the factor planes were made
    const uint64_t measured = deghosted > plain ? deghosted - plain : 0;
    const uint64_t estimated = GhostFusionBytes(geometry, aligned) -
                               (aligned ? AlignedFusionBytes(geometry) : FusionBytes(geometry));
    EXPECT_GE(estimated, measured);
    EXPECT_LE(estimated, 2 * measured) << "measured " << measured;
  }
#endif
}
