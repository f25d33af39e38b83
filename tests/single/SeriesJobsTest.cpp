#include "single/SeriesJobs.h"

#include <gtest/gtest.h>

#include <atomic>

#include "picture/ImageLoad.h"
#include "single/Denoise.h"
#include "single/Exposure.h"
#include "single/ProcessorCount.h"
#include "tests/single/TestHelpers.h"

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

  std::atomic<uint8_t> cancel_{0};
};

class SeriesJobs : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    target_.folder = root_ / "series";
    target_.texts = {"Progress: 5%", "Progress: "};
  }
  SeriesOutcome Single(uint32_t level, JobProgress* progress) {
    SeriesOutcome out = RunSingleSeries(*source_, level, target_, progress);
    list_ = out.listed;
    return out;
  }
  SeriesOutcome Daylight(DaylightDirection direction, JobProgress* progress) {
    SeriesOutcome out = RunDaylightSeries(*source_, direction, target_, progress);
    list_ = out.listed;
    return out;
  }
  // The source: a colour picture holding every 8-bit value in each component.
  void Ramp(int w, int h) {
    CBxPicBufAPI::ReinitHeap(source_.get(), w, h, 3, 8);
    Fill(source_.get(), [&](int x, int y, int c) { return (x + y * w + c * 85) % 256u; });
  }
  const SBxPicBuf& Load(const fs::path& path) {
    ScopedPicBuf mask;
    EXPECT_FALSE(LoadImageFile(file_.get(), mask.get(), path)) << path;
    return *file_;
  }
  // True when every sample of the file satisfies pred(source sample, sample).
  template <typename Pred>
  bool EverySample(const fs::path& path, Pred pred) {
    const std::vector<uint32_t> from = Samples(*source_), to = Samples(Load(path));
    return std::equal(from.begin(), from.end(), to.begin(), to.end(), pred);
  }
  // The listed files' brightness keys never fall.
  bool ListedByBrightness() {
    std::vector<uint32_t> keys;
    for (int p = 0; p < static_cast<int>(list_.size()); ++p)
      keys.push_back(BrightnessKey(Load(list_[p])));
    return std::is_sorted(keys.begin(), keys.end());
  }

  SeriesTarget target_;
  std::vector<fs::path> list_;
  ScopedPicBuf source_, file_;
  RecordingProgress progress_;
};

TEST_F(SeriesJobs, EightBitSeriesWithoutDenoiseWritesTheElevenWindows) {
  Ramp(32, 16);
  const SeriesOutcome out = Single(kDenoiseNone, &progress_);
  ASSERT_EQ(out.status, SeriesStatus::kCompleted);
  ASSERT_EQ(static_cast<int>(list_.size()), 11);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(list_[i], SeriesFileName(target_.folder, i));
  EXPECT_TRUE(SamePixels(Load(list_[5]), *source_));
  EXPECT_TRUE(EverySample(list_[4], [](int s, int v) { return s < 80 || v == 255; }));
  EXPECT_TRUE(EverySample(list_[10], [](int s, int v) { return s > 200 || v == 0; }));
  EXPECT_TRUE(
      EverySample(list_[0], [](int s, int v) { return v == (s >= 240 ? 255 : s * 255 / 240); }));
  EXPECT_EQ(progress_.range, std::make_pair(0, 100));
  EXPECT_EQ(progress_.positions, (std::vector<int>{5, 5, 30, 55, 80, 82, 84, 86, 88, 90, 92}));
  EXPECT_EQ(progress_.texts.front(), "Progress: 5%");
  EXPECT_EQ(progress_.texts.back(), "Progress: 92%");
}

TEST_F(SeriesJobs, SixteenBitSourcesUseBoundsTimes256) {
  CBxPicBufAPI::ReinitHeap(source_.get(), 4, 1, 1, 16);
  const uint32_t samples[] = {30720, 61439, 61440, 60160};
  Fill(source_.get(), [&](int x, int, int) { return samples[x]; });
  ASSERT_EQ(Single(kDenoiseNone, nullptr).status, SeriesStatus::kCompleted);
  // Window [0, 61440) and, from the daylight family, white point 235 * 256 = 60160.
  EXPECT_EQ(Samples(Load(list_[0])), (std::vector<uint32_t>{32767, 65533, 65535, 64169}));
  ASSERT_EQ(Daylight(DaylightDirection::kUp, nullptr).status, SeriesStatus::kCompleted);
  EXPECT_EQ(Samples(Load(FamilyFileName(target_.folder, 0, 1))),
            (std::vector<uint32_t>{33464, 65535, 65535, 65535}));
}

TEST_F(SeriesJobs, HighLevelDenoisesFiles2To4At10_14_18WithTheNoiseMeasuredOnce) {
  CBxPicBufAPI::ReinitHeap(source_.get(), 48, 40, 3, 8);
  FillNoisy(source_.get(), 17, 20);
  ASSERT_EQ(Single(kDenoiseHigh, nullptr).status, SeriesStatus::kCompleted);
  NoiseRecord noise;
  ScopedPicBuf window(48, 40, 3, 8), expected(48, 40, 3, 8);
  const int strengths[] = {0, 0, 10, 14, 18, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    const uint32_t low = i < 5 ? 0 : (i - 5) * 40u, high = i < 5 ? (6 - i) * 40u : 255;
    LevelsWindow_x8(window.get(), source_.get(), low, high);
    CBxPicBufAPI::Copy(expected.get(), window.get());
    if (strengths[i]) {
      ASSERT_EQ(DenoiseTiled(expected.get(), window.get(), strengths[i], strengths[i], 1.0, &noise,
                             ProcessorCount()),
                0);
      EXPECT_FALSE(SamePixels(*expected, *window));
    }
    EXPECT_TRUE(SamePixels(Load(list_[i]), *expected));
  }
}

TEST_F(SeriesJobs, CancelStopsAfterTheFileInProgress) {
  Ramp(16, 8);
  progress_.cancelAt = 30;  // reported once file 2 is written; file 5, the source, still follows
  SeriesOutcome out = Single(kDenoiseNone, &progress_);
  EXPECT_EQ(out.status, SeriesStatus::kCancelled);
  EXPECT_EQ(FileNames(target_.folder), (std::vector<std::string>{"file_000.tif", "file_001.tif",
                                                                 "file_002.tif", "file_005.tif"}));
  EXPECT_EQ(out.written.size(), 4u);
  EXPECT_EQ(static_cast<int>(list_.size()), 5);
  EXPECT_TRUE(list_[3].empty());
  EXPECT_EQ(progress_.positions.back(), 82);
  EXPECT_EQ(progress_.texts.back(), "");

  RecordingProgress daylight;
  daylight.cancelAt = 10;  // the tenth file's progress
  out = Daylight(DaylightDirection::kUp, &daylight);
  EXPECT_EQ(out.status, SeriesStatus::kCancelled);
  EXPECT_EQ(out.written.size(), 10u);
  ASSERT_EQ(static_cast<int>(list_.size()),
            9);  // the tenth file, file_001_000.tif, is written but not counted
  for (int p = 0; p < 9; ++p)
    EXPECT_NE(list_[p].filename(), "file_001_000.tif");
  EXPECT_TRUE(ListedByBrightness());
}

TEST_F(SeriesJobs, UnwritableFileStopsTheSeriesAndIsNamed) {
  fs::create_directories(target_.folder / "file_003.tif");  // a folder where a file must go
  Ramp(8, 8);
  const SeriesOutcome out = Single(kDenoiseNone, nullptr);
  EXPECT_EQ(out.status, SeriesStatus::kWriteFailed);
  EXPECT_EQ(out.failedPath, SeriesFileName(target_.folder, 3));
  EXPECT_EQ(out.written.size(), 3u);
  EXPECT_EQ(static_cast<int>(list_.size()), 0);
}

TEST_F(SeriesJobs, DaylightWrites39FilesUpListsThemDarkestFirstDownClipsTheShadows) {
  Ramp(24, 12);
  ASSERT_EQ(Daylight(DaylightDirection::kUp, &progress_).status, SeriesStatus::kCompleted);
  ASSERT_EQ(static_cast<int>(list_.size()), 39);
  EXPECT_EQ(FileNames(target_.folder).size(), 39u);
  EXPECT_TRUE(SamePixels(Load(FamilyFileName(target_.folder, 0, 0)), *source_));
  EXPECT_TRUE(ListedByBrightness());
  EXPECT_EQ(progress_.range, std::make_pair(0, 40));
  EXPECT_EQ(progress_.texts.back(), "Progress: 100%");
  EXPECT_EQ(progress_.positions.back(), 39);

  ASSERT_EQ(Daylight(DaylightDirection::kDown, nullptr).status, SeriesStatus::kCompleted);
  EXPECT_TRUE(EverySample(FamilyFileName(target_.folder, 0, 8),
                          [](int s, int v) { return s > 96 || v == 0; }));
  EXPECT_EQ(list_[0].filename(), "file_000_000.tif");  // the sorted order, mirrored
}

TEST(BrightnessKey, SumsTheComponentMeansOrTriplesTheGreyMeanRounded) {
  ScopedPicBuf grey(3, 1, 1, 8), colour(5, 3, 3, 8);
  Fill(grey.get(), [](int x, int, int) { return x == 0 ? 10u : 11u; });
  EXPECT_EQ(BrightnessKey(*grey), 32u);  // 3 * 10.667 = 32.0
  Fill(colour.get(), [](int x, int y, int c) {
    return c == 0 ? 10u : c == 1 ? x * 10u + y : 255u;
  });
  double m0 = 0, m1 = 0, m2 = 0;
  ChannelMeans_3x8(&m0, &m1, &m2, colour.get());
  EXPECT_EQ(std::vector<double>({m0, m1, m2}), std::vector<double>({10.0, 21.0, 255.0}));
  EXPECT_EQ(BrightnessKey(*colour), 286u);
}

}  // namespace
