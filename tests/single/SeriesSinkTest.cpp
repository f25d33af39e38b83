// The generators hand their pictures to a sink: one that keeps no files must get exactly
// the pictures a series folder would hold, in the order the folder's list gives them.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "picture/ImageLoad.h"
#include "single/Exposure.h"
#include "single/SeriesJobSupport.h"
#include "single/SeriesJobs.h"
#include "tests/single/TestHelpers.h"

namespace fs = std::filesystem;

namespace {

// Keeps the samples and numbers of every picture it takes, as a fusion would see them.
class RecordingSink final : public SeriesSink {
 public:
  explicit RecordingSink(int count) : count_(count) {}
  int FusionOrderCount() const override { return count_; }
  bool Take(const SBxPicBuf& picture, int number, SeriesOutcome*) override {
    numbers.push_back(number);
    samples.push_back(Samples(picture));
    return true;
  }

  std::vector<int> numbers;
  std::vector<std::vector<uint32_t>> samples;

 private:
  int count_;
};

class SeriesSinkTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    target_.folder = root_ / "series";
  }
  std::vector<uint32_t> FileSamples(const fs::path& path) {
    ScopedPicBuf picture, mask;
    EXPECT_FALSE(LoadImageFile(picture.get(), mask.get(), path)) << path;
    return Samples(*picture);
  }

  SeriesTarget target_;
};

// Noisy sources of both depths and both colour models.
std::vector<std::unique_ptr<ScopedPicBuf>> Sources() {
  std::vector<std::unique_ptr<ScopedPicBuf>> sources;
  for (const auto& [components, bits] : {std::pair{3u, 8u}, {1u, 8u}, {3u, 16u}}) {
    sources.push_back(std::make_unique<ScopedPicBuf>(23, 17, components, bits));
    FillNoisy(sources.back()->get(), 5 + bits + components, 40);
  }
  return sources;
}

TEST_F(SeriesSinkTest, DaylightMakesOnlyTheFirstOfTheListInListOrder) {
  for (const auto& source : Sources()) {
    for (DaylightDirection direction : {DaylightDirection::kUp, DaylightDirection::kDown}) {
      const SeriesOutcome files = RunDaylightSeries(**source, direction, target_, nullptr);
      ASSERT_EQ(files.status, SeriesStatus::kCompleted);
      ASSERT_EQ(files.listed.size(), 39u);
      for (int wanted : {1, 15, 39}) {
        RecordingSink sink(wanted);
        const SeriesOutcome made = MakeDaylightSeries(**source, direction, {}, &sink, nullptr);
        ASSERT_EQ(made.status, SeriesStatus::kCompleted);
        ASSERT_EQ(sink.samples.size(), static_cast<size_t>(wanted));
        for (int p = 0; p < wanted; ++p)
          EXPECT_EQ(sink.samples[static_cast<size_t>(p)],
                    FileSamples(files.listed[static_cast<size_t>(p)]))
              << "bits " << (*source)->bitsPerComponent << " components " << (*source)->components
              << " place " << p << " of " << wanted;
      }
    }
  }
}

TEST_F(SeriesSinkTest, TheWholeFamilyComesInGenerationOrderWhateverTheKeys) {
  ScopedPicBuf source(16, 9, 3, 8);
  FillNoisy(source.get(), 3, 40);
  RecordingSink sink(SeriesSink::kWholeSeries);
  ASSERT_EQ(MakeDaylightSeries(*source, DaylightDirection::kUp, {}, &sink, nullptr).status,
            SeriesStatus::kCompleted);
  ASSERT_EQ(sink.numbers.size(), 39u);
  for (int n = 0; n < 39; ++n)
    EXPECT_EQ(sink.numbers[static_cast<size_t>(n)], n);
}

TEST_F(SeriesSinkTest, TheBracketingHandsOverTheElevenFilesInOrder) {
  for (const auto& source : Sources()) {
    const SeriesOutcome files = RunSingleSeries(**source, kDenoiseHigh, target_, nullptr);
    ASSERT_EQ(files.status, SeriesStatus::kCompleted);
    RecordingSink sink(11);
    ASSERT_EQ(MakeSingleSeries(**source, kDenoiseHigh, {}, &sink, nullptr).status,
              SeriesStatus::kCompleted);
    ASSERT_EQ(sink.samples.size(), 11u);
    for (size_t i = 0; i < 11; ++i)
      EXPECT_EQ(sink.samples[i], FileSamples(files.listed[i])) << i;
  }
}

// The per-sample passes run over row bands on several threads: every row once, and the
// samples of the one-band pass.
TEST(RowBands, CoverEveryRowOnceAndKeepTheSamplesOfOnePass) {
  for (int height : {0, 1, 63, 128, 129, 1001}) {
    std::vector<std::atomic<int>> hits(static_cast<size_t>(height));
    ForRowBands(height, [&](int first, int end) {
      for (int y = first; y < end; ++y)
        ++hits[static_cast<size_t>(y)];
    });
    for (int y = 0; y < height; ++y)
      EXPECT_EQ(hits[static_cast<size_t>(y)].load(), 1) << height << " row " << y;
  }
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf source(37, 301, 3, bits), banded(37, 301, 3, bits), whole(37, 301, 3, bits);
    FillNoisy(source.get(), 11, 40);
    const uint32_t k = bits == 8 ? 1 : 256;
    LevelsWindow(banded.get(), source.get(), 30 * k, 200 * k);
    if (bits == 8) {
      LevelsWindow_x8(whole.get(), source.get(), 30 * k, 200 * k);
    } else {
      LevelsWindow_x16(whole.get(), source.get(), 30 * k, 200 * k);
    }
    EXPECT_TRUE(SamePixels(*banded, *whole)) << bits;
  }
}

}  // namespace
