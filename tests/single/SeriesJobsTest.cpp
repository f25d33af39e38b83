#include "single/SeriesJobs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "picture/ImageLoad.h"
#include "single/Denoise.h"
#include "single/Exposure.h"
#include "single/ProcessorCount.h"
#include "tests/single/TestPictures.h"

namespace fs = std::filesystem;

namespace {

// Remembers what a job reported and raises the cancel flag at a chosen
// progress position, as the progress window's "Abort" would.
class RecordingProgress : public JobProgress {
 public:
  RecordingProgress() { WatchCancelFlag(&cancel_); }
  void SetRange(int minimum, int maximum) override { range = {minimum, maximum}; }
  void SetPosition(int position) override {
    positions.push_back(position);
    if (position == cancelAt) cancel_.store(1);
  }
  void SetText(const std::string& text) override { texts.push_back(text); }

  std::pair<int, int> range{-1, -1};
  std::vector<int> positions;
  std::vector<std::string> texts;
  int cancelAt = -1;

 private:
  std::atomic<uint8_t> cancel_{0};
};

// A folder of its own for every test, which is also where the settings and
// the cache live while it runs.
class SeriesJobs : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-series-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    target_.folder = TemporaryFolder();
  }
  void TearDown() override { fs::remove_all(root_); }

  static const SBxPicBuf& Load(ScopedPicBuf* pic, const fs::path& path) {
    ScopedPicBuf mask;
    EXPECT_FALSE(LoadImageFile(pic->get(), mask.get(), path)) << path;
    return **pic;
  }
  std::vector<std::string> FileNames() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(target_.folder))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The listed files' brightness keys never fall.
  bool ListedByBrightness() const {
    ScopedPicBuf file;
    uint32_t last = 0;
    for (int p = 0; p < list_.count; ++p) {
      const uint32_t key = BrightnessKey(Load(&file, list_.entries[p]));
      if (key < last) return false;
      last = key;
    }
    return true;
  }

  fs::path root_;
  SeriesTarget target_;
  SourceList list_;
};

// A colour picture holding every 8-bit value in each component.
void Ramp(ScopedPicBuf* pic, int w, int h, uint32_t bits) {
  CBxPicBufAPI::ReinitHeap(pic->get(), w, h, 3, bits);
  const uint32_t scale = bits == 8 ? 1 : 257;
  Fill(pic->get(), [&](int x, int y, int c) {
    return static_cast<uint32_t>((x + y * w + c * 85) % 256) * scale;
  });
}

// True when every sample of `pic` satisfies pred(source sample, sample).
template <typename T, typename Pred>
bool EverySample(const SBxPicBuf& source, const SBxPicBuf& pic, Pred pred) {
  for (int y = 0; y < pic.height; ++y) {
    for (int x = 0; x < pic.width; ++x) {
      for (int c = 0; c < static_cast<int>(pic.components); ++c) {
        if (!pred(Sample<T>(source, x, y, c), Sample<T>(pic, x, y, c))) return false;
      }
    }
  }
  return true;
}

TEST_F(SeriesJobs, EightBitSeriesWithoutDenoiseWritesTheElevenWindows) {
  ScopedPicBuf source;
  Ramp(&source, 32, 16, 8);
  RecordingProgress progress;
  const SeriesOutcome out = RunSingleSeries(*source, kDenoiseNone, target_, &list_, &progress);
  ASSERT_EQ(out.status, SeriesStatus::kCompleted);
  EXPECT_EQ(out.written.size(), 11u);
  ASSERT_EQ(list_.count, 11);
  EXPECT_EQ(list_.index, 0);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(list_.entries[i], SeriesFileName(target_.folder, i));

  ScopedPicBuf file;
  EXPECT_TRUE(SamePixels(Load(&file, list_.entries[5]), *source));
  EXPECT_TRUE(EverySample<uint8_t>(*source, Load(&file, list_.entries[4]),
                                   [](int s, int v) { return s < 80 || v == 255; }));
  EXPECT_TRUE(EverySample<uint8_t>(*source, Load(&file, list_.entries[10]),
                                   [](int s, int v) { return s > 200 || v == 0; }));
  EXPECT_TRUE(EverySample<uint8_t>(*source, Load(&file, list_.entries[0]), [](int s, int v) {
    return v == (s >= 240 ? 255 : s * 255 / 240);
  }));

  EXPECT_EQ(progress.range, std::make_pair(0, 100));
  EXPECT_EQ(progress.positions, (std::vector<int>{5, 5, 30, 55, 80, 82, 84, 86, 88, 90, 92}));
  EXPECT_EQ(progress.texts.front(), "Progress: 5%");
  EXPECT_EQ(progress.texts.back(), "Progress: 92%");
}

TEST_F(SeriesJobs, SixteenBitSourcesUseBoundsTimes256) {
  ScopedPicBuf source(4, 1, 1, 16), file;
  const uint32_t samples[] = {30720, 61439, 61440, 60160};
  Fill(source.get(), [&](int x, int, int) { return samples[x]; });
  ASSERT_EQ(RunSingleSeries(*source, kDenoiseNone, target_, &list_, nullptr).status,
            SeriesStatus::kCompleted);
  Load(&file, list_.entries[0]);  // window [0, 61440)
  ASSERT_EQ(file->bitsPerComponent, 16u);
  EXPECT_EQ(Sample<uint16_t>(*file, 0, 0), 32767);
  EXPECT_EQ(Sample<uint16_t>(*file, 1, 0), 65533);
  EXPECT_EQ(Sample<uint16_t>(*file, 2, 0), 65535);
  ASSERT_EQ(RunDaylightSeries(*source, DaylightDirection::kUp, target_, &list_, nullptr).status,
            SeriesStatus::kCompleted);
  Load(&file, FamilyFileName(target_.folder, 0, 1));  // white point 235 * 256 = 60160
  EXPECT_EQ(Sample<uint16_t>(*file, 0, 0), static_cast<uint16_t>(30720.0 / 60160 * 65535));
  EXPECT_EQ(Sample<uint16_t>(*file, 3, 0), 65535);
}

TEST_F(SeriesJobs, HighLevelDenoisesOnlyTheThreeBrightestFiles) {
  EXPECT_EQ(SeriesDenoiseStrength(kDenoiseHigh, 1), 0);
  EXPECT_EQ(SeriesDenoiseStrength(kDenoiseLow, 4), 6);
  EXPECT_EQ(SeriesDenoiseStrength(kDenoiseMedium, 3), 11);
  EXPECT_EQ(SeriesDenoiseStrength(kDenoiseNone, 4), 0);

  ScopedPicBuf source(48, 40, 3, 8);
  FillNoisy(source.get(), 17, 20);
  ASSERT_EQ(RunSingleSeries(*source, kDenoiseHigh, target_, &list_, nullptr).status,
            SeriesStatus::kCompleted);
  // What the files must hold: plain windows, files 2..4 denoised at 10, 14 and
  // 18 with the noise measured once, on file 2.
  NoiseRecord noise;
  ScopedPicBuf window(48, 40, 3, 8), expected(48, 40, 3, 8), file;
  const int strengths[] = {0, 0, 10, 14, 18, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    if (i < 5) {
      LevelsWindow_x8(window.get(), source.get(), 0, static_cast<uint32_t>(6 - i) * 40);
    } else {
      LevelsWindow_x8(window.get(), source.get(), static_cast<uint32_t>(i - 5) * 40, 255);
    }
    CBxPicBufAPI::Copy(expected.get(), window.get());
    if (strengths[i]) {
      ASSERT_EQ(DenoiseTiled(expected.get(), window.get(), strengths[i], strengths[i], 1.0, &noise,
                             ProcessorCount()),
                0);
      EXPECT_FALSE(SamePixels(*expected, *window));
    }
    EXPECT_TRUE(SamePixels(Load(&file, list_.entries[i]), *expected));
  }
}

TEST_F(SeriesJobs, CancelDuringBrightFilesStillWritesTheSource) {
  ScopedPicBuf source(16, 8, 3, 8);
  FillNoisy(source.get(), 9);
  RecordingProgress progress;
  progress.cancelAt = 30;  // reported once file 2 is written
  const SeriesOutcome out = RunSingleSeries(*source, kDenoiseNone, target_, &list_, &progress);
  EXPECT_EQ(out.status, SeriesStatus::kCancelled);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"file_000.tif", "file_001.tif", "file_002.tif",
                                                   "file_005.tif"}));
  EXPECT_EQ(out.written.size(), 4u);
  EXPECT_EQ(list_.count, 5);
  EXPECT_TRUE(list_.entries[3].empty());
  EXPECT_EQ(list_.entries[5], SeriesFileName(target_.folder, 5));
  EXPECT_EQ(progress.positions.back(), 82);
  EXPECT_EQ(progress.texts.back(), "");
}

TEST_F(SeriesJobs, UnwritableFileStopsTheSeriesAndIsNamed) {
  fs::create_directories(target_.folder / "file_003.tif");  // a folder where a file must go
  ScopedPicBuf source(8, 8, 1, 8);
  FillNoisy(source.get(), 4);
  const SeriesOutcome out = RunSingleSeries(*source, kDenoiseNone, target_, &list_, nullptr);
  EXPECT_EQ(out.status, SeriesStatus::kWriteFailed);
  EXPECT_EQ(out.failedPath, SeriesFileName(target_.folder, 3));
  EXPECT_EQ(out.written.size(), 3u);
  EXPECT_EQ(list_.count, 0);
}

TEST_F(SeriesJobs, DaylightUpListsThe39FilesFromDarkestToBrightest) {
  ScopedPicBuf source;
  Ramp(&source, 24, 12, 8);
  RecordingProgress progress;
  ASSERT_EQ(RunDaylightSeries(*source, DaylightDirection::kUp, target_, &list_, &progress).status,
            SeriesStatus::kCompleted);
  ASSERT_EQ(list_.count, 39);
  EXPECT_EQ(FileNames().size(), 39u);
  ScopedPicBuf file;
  EXPECT_TRUE(SamePixels(Load(&file, FamilyFileName(target_.folder, 0, 0)), *source));
  EXPECT_TRUE(ListedByBrightness());
  EXPECT_EQ(progress.range, std::make_pair(0, 40));
  EXPECT_EQ(progress.texts.back(), "Progress: 100%");
  EXPECT_EQ(progress.positions.back(), 39);
}

TEST_F(SeriesJobs, DaylightDownClipsTheShadowsOfTheLastColumn) {
  ScopedPicBuf source, file;
  Ramp(&source, 24, 12, 8);
  ASSERT_EQ(RunDaylightSeries(*source, DaylightDirection::kDown, target_, &list_, nullptr).status,
            SeriesStatus::kCompleted);
  EXPECT_TRUE(EverySample<uint8_t>(*source, Load(&file, FamilyFileName(target_.folder, 0, 8)),
                                   [](int s, int v) { return s > 96 || v == 0; }));
  // Down mirrors the sorted records on the file numbers.
  EXPECT_EQ(list_.count, 39);
  EXPECT_EQ(list_.entries[0].filename(), "file_000_000.tif");
}

TEST_F(SeriesJobs, DaylightCancelDuringTenthFileListsNineSorted) {
  ScopedPicBuf source;
  Ramp(&source, 16, 8, 8);
  RecordingProgress progress;
  progress.cancelAt = 10;  // the tenth file's progress
  const SeriesOutcome out =
      RunDaylightSeries(*source, DaylightDirection::kUp, target_, &list_, &progress);
  EXPECT_EQ(out.status, SeriesStatus::kCancelled);
  EXPECT_EQ(out.written.size(), 10u);
  ASSERT_EQ(list_.count, 9);  // the tenth file, file_001_000.tif, is written but not counted
  for (int p = 0; p < 9; ++p)
    EXPECT_NE(list_.entries[p].filename(), "file_001_000.tif");
  EXPECT_TRUE(ListedByBrightness());
}

TEST(BrightnessKey, GreyIsThreeTimesTheMeanRounded) {
  ScopedPicBuf grey(3, 1, 1, 8);
  Fill(grey.get(), [](int x, int, int) { return std::vector<uint32_t>{10, 11, 11}[x]; });
  EXPECT_EQ(BrightnessKey(*grey), 32u);  // 3 * 10.667 = 32.0
}

}  // namespace
