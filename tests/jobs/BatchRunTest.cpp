// Running a batch: each series fused as `fuse` fuses it, a stopped batch resumed, a failing
// series reported while the others go on, and a cancel that leaves no partial file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <mutex>

#include "jobs/BatchRun.h"
#include "jobs/SeriesPipeline.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "tests/fusion/TestPictures.h"
#include "tests/support/CameraShots.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Records the stages and positions a run reports; asks to stop when `stopAt` says so.
class Recorder final : public JobProgress {
 public:
  Recorder() { WatchCancelFlag(&cancel_); }
  void SetRange(int minimum, int maximum) override {
    std::lock_guard<std::mutex> lock(mutex_);
    maximum_ = maximum;
    (void)minimum;
  }
  void SetPosition(int position) override {
    std::lock_guard<std::mutex> lock(mutex_);
    positions.push_back(position);
    if (stopAtPosition && position >= stopAtPosition) cancel_ = 1;
  }
  void SetStage(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    stages.push_back(text);
    if (stopAtStage && stopAtStage(text)) cancel_ = 1;
  }
  std::vector<std::string> stages;
  std::vector<int> positions;
  std::function<bool(const std::string&)> stopAtStage;
  int stopAtPosition = 0;
  int Maximum() const { return maximum_; }

 private:
  std::mutex mutex_;
  std::atomic<uint8_t> cancel_{0};
  int maximum_ = 0;
};

class BatchRunTest : public ::testing::Test {
 protected:
  // A small JPEG exposure of the scene with a capture time, as a camera writes it.
  fs::path Shot(const std::string& name, double gain, int second, int width = 120) {
    exif::Fields f;
    f.model = "Body";
    f.dateTimeOriginal = exif::ExifTime(second);
    const fs::path path = folder_ / name;
    shots::WriteSceneShot(path, gain, f, width);
    return path;
  }

  // Three series of three exposures each, results as PNG beside them.
  BatchPlan ThreeSeries() {
    BatchPlan plan;
    for (int s = 0; s < 3; ++s) {
      BatchSeries series;
      for (int i = 0; i < 3; ++i) {
        BatchPicture p;
        p.path = Shot("s" + std::to_string(s) + "_" + std::to_string(i) + ".jpg",
                      0.5 + 0.6 * i + 0.1 * s, s * 10 + i);
        p.headerRead = !ReadCaptureData(p.path, &p.capture);
        series.pictures.push_back(p);
      }
      plan.series.push_back(series);
    }
    plan.outputs = NameBatchOutputs("{folder}/{first}-fused.png", plan.series).outputs;
    return plan;
  }

  // The result `fuse` gives for the series.
  void ExpectFusedAsFuseDoes(const BatchSeries& series, const fs::path& output) {
    std::vector<fs::path> files;
    for (const BatchPicture& p : series.pictures)
      files.push_back(p.path);
    ScopedPicBuf want, got, mask;
    ASSERT_EQ(FuseFiles(files, 100, true, nullptr, want.get()).status, SeriesFusionStatus::kFused);
    ASSERT_FALSE(LoadImageFile(got.get(), mask.get(), output)) << output;
    EXPECT_TRUE(SameSamples(*got, *want)) << output;
  }

  static ino_t Inode(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
  }

  TempFolder folder_;
};

}  // namespace

TEST_F(BatchRunTest, EverySeriesIsFusedAsFuseFusesItWithProgressOverTheSeries) {
  const BatchPlan plan = ThreeSeries();
  Recorder progress;
  const BatchRunSummary summary = RunBatch(plan, {}, &progress);
  EXPECT_EQ(summary.Text(), "3 series fused");
  EXPECT_FALSE(summary.AnyFailed());
  for (size_t i = 0; i < plan.series.size(); ++i)
    ExpectFusedAsFuseDoes(plan.series[i], plan.outputs[i]);
  EXPECT_EQ(progress.stages,
            (std::vector<std::string>{
                "Series 1 of 3: fusing 3 pictures", "Series 1 of 3: writing s0_0-fused.png",
                "Series 2 of 3: fusing 3 pictures", "Series 2 of 3: writing s1_0-fused.png",
                "Series 3 of 3: fusing 3 pictures", "Series 3 of 3: writing s2_0-fused.png"}));
  EXPECT_EQ(progress.Maximum(), 300);
  EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
  EXPECT_EQ(progress.positions.back(), 300);
}

TEST_F(BatchRunTest, ResultsCarryTheFirstPicturesCaptureDataAndTheDefaultFormat) {
  BatchPlan plan = ThreeSeries();
  plan.outputs = NameBatchOutputs(kDefaultOutputPattern, plan.series).outputs;
  BatchRunOptions options;
  options.write.jpegQuality = 90;
  ASSERT_EQ(RunBatch(plan, options, nullptr).Text(), "3 series fused");
  for (size_t i = 0; i < plan.series.size(); ++i) {
    CaptureData result;
    ASSERT_FALSE(ReadCaptureData(plan.outputs[i], &result));
    EXPECT_EQ(result.timeMicroseconds, plan.series[i].pictures.front().capture.timeMicroseconds);
    EXPECT_EQ(result.width, 120u);
  }
}

TEST_F(BatchRunTest, AStoppedBatchResumesWithTheSeriesItHadNotFinished) {
  const BatchPlan plan = ThreeSeries();
  Recorder stop;
  // Asked to stop while series 1 is written: that write is finished, nothing after it starts.
  stop.stopAtStage = [](const std::string& stage) { return stage.starts_with("Series 1 of 3: w"); };
  BatchRunSummary first = RunBatch(plan, {}, &stop);
  EXPECT_TRUE(first.cancelled);
  EXPECT_EQ(first.Text(), "1 series fused; stopped with 2 of 3 series not run");
  EXPECT_TRUE(fs::exists(plan.outputs[0]));
  EXPECT_FALSE(fs::exists(plan.outputs[1]) || fs::exists(plan.outputs[2]));
  const ino_t kept = Inode(plan.outputs[0]);

  const BatchRunSummary resumed = RunBatch(plan, {}, nullptr);
  EXPECT_EQ(resumed.Text(), "2 series fused, 1 already done");
  EXPECT_EQ(resumed.series[0].status, BatchSeriesStatus::kAlreadyDone);
  EXPECT_EQ(Inode(plan.outputs[0]), kept);
  for (size_t i = 0; i < plan.series.size(); ++i)
    ExpectFusedAsFuseDoes(plan.series[i], plan.outputs[i]);

  BatchRunOptions overwrite;
  overwrite.overwrite = true;
  EXPECT_EQ(RunBatch(plan, overwrite, nullptr).Text(), "3 series fused");
  EXPECT_NE(Inode(plan.outputs[0]), kept);
}

TEST_F(BatchRunTest, ACancelInsideASeriesLeavesNoFileOfIt) {
  const BatchPlan plan = ThreeSeries();
  const std::vector<std::string> before = folder_.Entries();
  Recorder stop;
  stop.stopAtPosition = 110;  // while the second series is fused
  std::vector<size_t> told;
  BatchRunOptions options;
  options.seriesDone = [&told](size_t series, const BatchSeriesResult&) { told.push_back(series); };
  const BatchRunSummary summary = RunBatch(plan, options, &stop);
  EXPECT_TRUE(summary.cancelled);
  EXPECT_EQ(told, std::vector<size_t>{0});  // not the series it was stopped in
  EXPECT_EQ(summary.series[1].status, BatchSeriesStatus::kNotRun);
  std::vector<std::string> after = before;
  after.push_back(plan.outputs[0].filename().string());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(folder_.Entries(), after);  // series 1's result and nothing else, no temporary
}

TEST_F(BatchRunTest, AFailingSeriesIsReportedAndTheOthersAreFused) {
  BatchPlan plan = ThreeSeries();
  const auto picture = [](const fs::path& path) {
    BatchPicture p;
    p.path = path;
    return p;
  };
  const fs::path broken = folder_ / "broken.jpg";
  WriteTextFile(broken, "not a picture");
  const fs::path wide = Shot("wide.jpg", 1.0, 50, 160);
  plan.series[1].pictures.push_back(picture(broken));
  plan.series.push_back({{picture(plan.series[0].pictures[0].path), picture(wide)}, {}, 0});
  plan.series.push_back({{picture(wide)}, {}, 0});
  plan.series.push_back(plan.series[2]);
  plan.outputs = NameBatchOutputs("{folder}/{n}.png", plan.series).outputs;
  plan.outputs[5] = folder_ / "missing" / "6.png";
  plan.series.push_back(plan.series[0]);
  plan.outputs.push_back(folder_ / "7.png");

  // Each series is told as soon as it ends, in order.
  std::vector<std::pair<size_t, BatchSeriesStatus>> told;
  BatchRunOptions options;
  options.seriesDone = [&told](size_t series, const BatchSeriesResult& result) {
    told.emplace_back(series, result.status);
  };
  const BatchRunSummary summary = RunBatch(plan, options, nullptr);
  ASSERT_EQ(told.size(), summary.series.size());
  for (size_t i = 0; i < told.size(); ++i)
    EXPECT_EQ(told[i], std::make_pair(i, summary.series[i].status)) << i;
  EXPECT_TRUE(summary.AnyFailed());
  EXPECT_EQ(summary.Text(),
            "3 series fused, 1 single picture left as it is, 3 failed: series 2: \"" +
                broken.string() + "\" cannot be read or has an unsupported format; series 4: \"" +
                wide.string() +
                "\" has another size, number of components or bit depth than the first picture "
                "(160x90, 3 components, 8 bits; \"" +
                plan.series[0].pictures[0].path.string() +
                "\": 120x90, 3 components, 8 bits); series 6: cannot write \"" +
                plan.outputs[5].string() + "\": its folder does not exist");
  for (size_t i : {size_t{0}, size_t{2}, size_t{6}})
    ExpectFusedAsFuseDoes(plan.series[i], plan.outputs[i]);
  for (size_t i : {size_t{1}, size_t{3}, size_t{4}})
    EXPECT_FALSE(fs::exists(plan.outputs[i])) << i;
}
