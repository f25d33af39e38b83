// The full-size fusion both front ends run on files: skipped files, every file required,
// refusals that leave the output alone, and a series that fails taking its files away.
#include <gtest/gtest.h>

#include "jobs/SeriesPipeline.h"
#include "picture/ImageSave.h"
#include "tests/fusion/TestPictures.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

class FuseFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (double gain : {0.5, 1.0, 2.2}) {
      ScopedPicBuf pic(72, 48, 3, 8);
      FillScene(pic.get(), gain);
      good_.push_back(Write("scene" + std::to_string(good_.size()) + ".png", *pic));
    }
    broken_ = folder_ / "broken.png";
    WriteTextFile(broken_, "not a picture");
    ScopedPicBuf wide(80, 48, 3, 8);
    FillScene(wide.get(), 1.0);
    wide_ = Write("wide.png", *wide);
  }
  fs::path Write(const std::string& name, const SBxPicBuf& pic) {
    const fs::path path = folder_ / name;
    EXPECT_FALSE(WriteImageFile(&pic, nullptr, path, {}, 0, 0));
    return path;
  }

  TempFolder folder_;
  std::vector<fs::path> good_;
  fs::path broken_, wide_;
};

class Cancelled : public JobProgress {
 public:
  Cancelled() { WatchCancelFlag(&flag_); }

 private:
  std::atomic<uint8_t> flag_{1};
};

TEST_F(FuseFilesTest, SkippedFilesAreListedAndTheOthersFusedAsIfAloneUnlessAllAreRequired) {
  const std::vector<fs::path> series{good_[0], broken_, good_[1], wide_, good_[2]};
  ScopedPicBuf want, got;
  ASSERT_EQ(FuseFiles(good_, 120, true, nullptr, want.get()).status, SeriesFusionStatus::kFused);

  const SeriesFusionReport report = FuseFiles(series, 120, false, nullptr, got.get());
  ASSERT_EQ(report.status, SeriesFusionStatus::kFused);
  EXPECT_EQ(report.fusedCount, 3);
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].index, 1);
  EXPECT_EQ(report.skipped[0].reason, SeriesSkipReason::kUnreadable);
  EXPECT_EQ(report.skipped[1].path, wide_);
  EXPECT_EQ(report.skipped[1].reason, SeriesSkipReason::kOtherGeometry);
  EXPECT_EQ(report.skipped[1].geometry.width, 80);
  EXPECT_EQ(report.geometry.width, 72);
  EXPECT_TRUE(SameSamples(*got, *want));

  // Every file required: the first that would be skipped stops it, the output untouched.
  for (const auto& [files, stopper] :
       {std::pair{series, broken_}, std::pair{std::vector{good_[0], good_[1], wide_}, wide_},
        std::pair{std::vector{broken_, good_[0], good_[1]}, broken_}}) {
    ScopedPicBuf untouched;
    const SeriesFusionReport required = FuseFiles(files, 120, true, nullptr, untouched.get());
    EXPECT_EQ(required.status, SeriesFusionStatus::kFileRejected) << stopper;
    ASSERT_EQ(required.skipped.size(), 1u) << stopper;
    EXPECT_EQ(required.skipped[0].path, stopper);
    EXPECT_TRUE(IsEmpty(*untouched)) << stopper;
  }
}

TEST_F(FuseFilesTest, RefusalsLeaveTheCallersOutputAsItWas) {
  ScopedPicBuf output(72, 48, 3, 16);  // another depth than the pictures'
  FillPattern(output.get(), 3);
  ScopedPicBuf before(72, 48, 3, 16);
  FillPattern(before.get(), 3);
  EXPECT_EQ(FuseFiles(good_, 120, false, nullptr, output.get()).status,
            SeriesFusionStatus::kOutputMismatch);
  EXPECT_EQ(FuseFiles({}, 120, false, nullptr, output.get()).status, SeriesFusionStatus::kNoFiles);
  EXPECT_EQ(FuseFiles(std::vector{broken_, broken_}, 120, false, nullptr, output.get()).status,
            SeriesFusionStatus::kNoPicture);
  Cancelled cancelled;
  ScopedPicBuf empty;
  EXPECT_EQ(FuseFiles(good_, 120, false, &cancelled, empty.get()).status,
            SeriesFusionStatus::kCancelled);
  EXPECT_TRUE(IsEmpty(*empty));
  EXPECT_TRUE(SameSamples(*output, *before));
}

// A series that cannot be written completely takes away the files it wrote; the files of a
// completed one stay, listed in fusion order.
TEST_F(FuseFilesTest, ASeriesThatFailsLeavesNoFileBehind) {
  ScopedPicBuf source(40, 30, 3, 8);
  FillScene(source.get(), 1.0);
  SeriesRequest request;
  SeriesTarget target;
  target.folder = folder_ / "series";
  fs::create_directories(target.folder / "file_004.tif");  // a folder where a file must go
  const SeriesOutcome failed = MakeSeries(*source, request, target, nullptr);
  EXPECT_EQ(failed.status, SeriesStatus::kWriteFailed);
  EXPECT_EQ(failed.failedPath, target.folder / "file_004.tif");
  EXPECT_EQ(failed.written.size(), 4u);
  for (const fs::path& file : failed.written)
    EXPECT_FALSE(fs::exists(file)) << file;

  fs::remove(target.folder / "file_004.tif");
  const SeriesOutcome made = MakeSeries(*source, request, target, nullptr);
  ASSERT_EQ(made.status, SeriesStatus::kCompleted);
  ASSERT_EQ(made.listed.size(), static_cast<size_t>(kSingleSeriesSize));
  for (const fs::path& file : made.listed)
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
}

}  // namespace
