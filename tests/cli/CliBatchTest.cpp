// End-to-end runs of melvaro-cli batch: a card's worth of made-up series listed as they are
// grouped, results fused as `fuse` fuses them with their first picture's metadata, a rerun
// that keeps what is done, a failing series that stops no other, usage errors, and a stop
// that leaves the finished result and nothing else.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <optional>
#include <thread>

#include "tests/cli/CliRunner.h"
#include "tests/support/CameraShots.h"
#include "tests/support/Metadata.h"

using namespace cli_test;

namespace {

std::string Quoted(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& start) {
  std::vector<std::string> found;
  for (const std::string& line : Lines(text))
    if (line.starts_with(start)) found.push_back(line);
  return found;
}

// Series of small exposures of the test scene in folder "card", each series shot by its own
// body and 30 seconds after the one before.
class CliBatchTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(card_); }

  // Series `s` of `count` exposures, one a second; their files.
  std::vector<fs::path> Series(int s, int count, int width = 120, int height = 90) {
    std::vector<fs::path> files;
    for (int i = 0; i < count; ++i) {
      exif::Fields f;
      f.model = "Body " + std::to_string(s);
      f.dateTimeOriginal = exif::ExifTime(s * 30 + i);
      files.push_back(card_ / ("s" + std::to_string(s) + "_" + std::to_string(i) + ".jpg"));
      shots::WriteSceneShot(files.back(), 0.5 + 0.6 * i, f, width, height);
    }
    return files;
  }

  static fs::path ResultOf(const std::vector<fs::path>& series, const std::string& extension) {
    return series.front().parent_path() / (series.front().stem().string() + "-vtx" + extension);
  }

  std::vector<std::string> Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "batch");
    arguments.push_back(card_.string());
    return arguments;
  }

  TempFolder folder_;
  fs::path card_ = folder_ / "card";
};

}  // namespace

// Sets told apart by their bias pattern and by pauses, a long exposure inside a set, and a
// second camera shooting at the same time; --gap moves the limit. Nothing is written.
TEST_F(CliBatchTest, DryRunListsTheSeriesFoundWithTheirExposuresAndWhyEachEnded) {
  const fs::path sample = fs::path(MELVARO_SAMPLES_DIR) / "bracketed/rovinia/rovinia1.jpg";
  int n = 0;
  const auto shoot = [&](const char* prefix, double at, double exposure, std::optional<double> bias,
                         const char* serial) {
    char name[32];
    std::snprintf(name, sizeof name, "%s_%04d.jpg", prefix, ++n);
    exif::CopyJpegWithExif(sample, card_ / name, shots::ShotFields(at, exposure, bias, serial));
  };
  // Camera 111 brackets 0, -2, +2, then 0, -1, +1, -2, +2 less than 2 s later.
  for (double bias : {0, -2, 2})
    shoot("IMG", 0.5 * n, 1.0 / 125, bias, "111");
  for (double bias : {0, -1, 1, -2, 2})
    shoot("IMG", 3.0 + 0.5 * (n - 3), 1.0 / 125, bias, "111");
  // By hand around a 30-second exposure (ending at 94 s); 5.5 s after the set, two more.
  shoot("IMG", 60, 1.0 / 30, {}, "111");
  shoot("IMG", 61, 2.0, {}, "111");
  shoot("IMG", 64, 30.0, {}, "111");
  shoot("IMG", 95, 1.0 / 250, {}, "111");
  shoot("IMG", 100.5, 1.0 / 30, {}, "111");
  shoot("IMG", 101.5, 2.0, {}, "111");
  // Camera 222 beside it.
  n = 0;
  shoot("DSC", 0.2, 1.0 / 60, 0, "222");
  shoot("DSC", 0.6, 1.0 / 60, -1, "222");
  shoot("DSC", 1.1, 1.0 / 60, 1, "222");
  const std::vector<std::string> before = folder_.Entries();

  const CliRun run = RunCli(folder_, Run({"--dry-run"}));
  ASSERT_EQ(run.status, 0) << run.errors;
  const std::string card = card_.string() + "/";
  EXPECT_TRUE(run.output.starts_with("5 series of 17 pictures\n")) << run.output;
  EXPECT_EQ(LinesStartingWith(run.output, "Series "),
            (std::vector<std::string>{
                "Series 1: 3 pictures -> " + card +
                    "IMG_0001-vtx.jpg (ended: exposure bias pattern restarted)",
                "Series 2: 5 pictures -> " + card + "IMG_0004-vtx.jpg (ended: pause of 55 s)",
                "Series 3: 4 pictures -> " + card + "IMG_0009-vtx.jpg (ended: pause of 5.5 s)",
                "Series 4: 2 pictures -> " + card + "IMG_0013-vtx.jpg (ended: camera changed)",
                "Series 5: 3 pictures -> " + card + "DSC_0001-vtx.jpg (ended: last picture)"}))
      << run.output;
  // Each picture with its exposure.
  const std::vector<std::string> longExposure = LinesStartingWith(run.output, "  IMG_0011.jpg  ");
  ASSERT_EQ(longExposure.size(), 1u) << run.output;
  EXPECT_NE(longExposure.front().find("  30 s"), std::string::npos) << longExposure.front();
  const std::vector<std::string> under = LinesStartingWith(run.output, "  IMG_0002.jpg  ");
  ASSERT_EQ(under.size(), 1u) << run.output;
  EXPECT_TRUE(under.front().ends_with("1/125 s  -2 EV")) << under.front();
  EXPECT_EQ(folder_.Entries(), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(card_), {}), 17);

  // Pauses up to a minute keep camera 111's last three sets together.
  const CliRun lenient = RunCli(folder_, Run({"--gap", "60", "--dry-run"}));
  ASSERT_EQ(lenient.status, 0) << lenient.errors;
  EXPECT_EQ(LinesStartingWith(lenient.output, "Series 2: "),
            (std::vector<std::string>{"Series 2: 11 pictures -> " + card +
                                      "IMG_0004-vtx.jpg (ended: camera changed)"}));
}

// Edited pictures carry no capture data: the batch names them and asks for --group.
TEST_F(CliBatchTest, PicturesWithoutCaptureDataAreNamedAndTakenOnlyByAFixedCount) {
  const fs::path sample = fs::path(MELVARO_SAMPLES_DIR) / "bracketed/rovinia/rovinia1.jpg";
  for (const char* name : {"edit1.jpg", "edit2.jpg", "edit3.jpg", "edit4.jpg", "edit5.jpg"})
    fs::copy_file(sample, card_ / name);
  ExpectUsageError(folder_, Run({}),
                   "5 of 5 pictures carry no capture time (edit1.jpg, edit2.jpg, edit3.jpg and 2 "
                   "more)");

  const CliRun grouped = RunCli(folder_, Run({"--group", "2", "--dry-run"}));
  ASSERT_EQ(grouped.status, 0) << grouped.errors;
  const std::string card = card_.string() + "/";
  EXPECT_EQ(LinesStartingWith(grouped.output, "Series "),
            (std::vector<std::string>{
                "Series 1: 2 pictures -> " + card + "edit1-vtx.jpg (ended: fixed group)",
                "Series 2: 2 pictures -> " + card + "edit3-vtx.jpg (ended: fixed group)",
                "Series 3: 1 picture, left as it is (ended: last picture)"}))
      << grouped.output;
  EXPECT_NE(grouped.output.find("  edit5.jpg  no capture data\n"), std::string::npos);
}

// Each result is what `fuse` makes of its series, with the first picture's metadata; a rerun
// keeps what exists (so a stopped batch resumes), --overwrite writes it again.
TEST_F(CliBatchTest, ResultsAreFusedWithTheFirstPicturesMetadataAndKeptOnARerun) {
  const std::vector<fs::path> first = Series(1, 3), second = Series(2, 3);
  const std::vector<std::string> pattern = {"--quiet", "-o", "{folder}/{first}-vtx.tif"};
  const CliRun run = RunCli(folder_, Run(pattern));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.output, "2 series fused\n");
  EXPECT_EQ(run.errors, "");
  const struct {
    const std::vector<fs::path>& series;
    std::string model;
    int taken;
  } results[] = {{first, "Body 1", 30}, {second, "Body 2", 60}};
  for (const auto& r : results) {
    ExpectFusionOf(r.series, 100, ResultOf(r.series, ".tif"));
    const FileMetadata metadata = ReadFileMetadata(ResultOf(r.series, ".tif"));
    EXPECT_EQ(metadata.model, r.model);
    EXPECT_EQ(metadata.taken, exif::ExifTime(r.taken));
  }

  // A result that exists is not touched, whatever it holds.
  WriteTextFile(ResultOf(first, ".tif"), "kept as it is");
  const CliRun rerun = RunCli(folder_, Run(pattern));
  EXPECT_EQ(rerun.status, 0) << rerun.errors;
  EXPECT_EQ(rerun.output, "0 series fused, 2 already done\n");
  EXPECT_EQ(ReadWholeFile(ResultOf(first, ".tif")), "kept as it is");
  std::vector<std::string> listing = pattern;
  listing.push_back("--dry-run");
  const CliRun dryRun = RunCli(folder_, Run(listing));
  EXPECT_EQ(dryRun.status, 0) << dryRun.errors;
  EXPECT_NE(dryRun.output.find("Left out, results of an earlier run: s1_0-vtx.tif s2_0-vtx.tif\n"
                               "2 results exist already and are kept (--overwrite writes them "
                               "again)\n"),
            std::string::npos)
      << dryRun.output;

  std::vector<std::string> again = pattern;
  again.insert(again.end(), {"--overwrite", "--exposure", "120"});
  const CliRun overwritten = RunCli(folder_, Run(again));
  EXPECT_EQ(overwritten.status, 0) << overwritten.errors;
  EXPECT_EQ(overwritten.output, "2 series fused\n");
  ExpectFusionOf(first, 120, ResultOf(first, ".tif"));
  ExpectFusionOf(second, 120, ResultOf(second, ".tif"));
}

// A picture that cannot be read fails its series when its turn comes; the other series is
// still fused and the run ends with the summary and exit status 1.
TEST_F(CliBatchTest, AFailingSeriesIsReportedAndTheOthersAreStillFused) {
  const std::vector<fs::path> first = Series(1, 3), second = Series(2, 3);
  // Its header (and capture data) is whole, its picture cut short.
  const std::string bytes = ReadWholeFile(first[1]);
  WriteTextFile(first[1], bytes.substr(0, bytes.size() * 2 / 3));
  const CliRun run = RunCli(folder_, Run({"--quiet", "-o", "{folder}/{first}-vtx.png"}));
  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> errors = ErrorLines(run.errors);
  ASSERT_EQ(errors.size(), 1u) << run.errors;
  EXPECT_TRUE(errors.front().starts_with("melvaro-cli: series 1: " + Quoted(first[1])))
      << errors.front();
  EXPECT_TRUE(run.output.starts_with("1 series fused, 1 failed: series 1: " + Quoted(first[1])))
      << run.output;
  EXPECT_FALSE(fs::exists(ResultOf(first, ".png")));
  ExpectFusionOf(second, 100, ResultOf(second, ".png"));

  // A folder that is not there fails the batch before any series is fused.
  const fs::path missing = folder_ / "missing";
  const CliRun nowhere = RunCli(folder_, Run({"-o", (missing / "{n}.jpg").string()}));
  ExpectFailureNaming(nowhere, (missing / "1.jpg").string());
  EXPECT_NE(nowhere.errors.find("the folder does not exist"), std::string::npos);
  EXPECT_EQ(nowhere.output, "");

  // Results alone have nothing to be fused.
  const CliRun results = RunCli(folder_, {"batch", ResultOf(second, ".png").string()});
  ExpectFailureNaming(results, "no pictures to fuse: the picture is the result of an earlier run");
}

TEST_F(CliBatchTest, WhatCannotBeDoneAsAskedIsAUsageError) {
  Series(1, 3);
  Series(2, 3);
  const struct {
    std::vector<std::string> arguments;
    std::string what;
  } cases[] = {
      {{"--gap", "5", "--group", "3"}, "--gap excludes --group"},
      {{"--gap", "0.05"}, "--gap"},
      {{"--gap", "nan"}, "--gap"},
      {{"--gap", "3601"}, "--gap"},
      {{"--group", "1"}, "--group"},
      {{"--group", "100"}, "--group"},
      {{"-o", "{frist}.jpg"}, "unknown field {frist}"},
      {{"-o", "{first}.gif"}, "must end in .jpg"},
      {{"-o", "{folder}/{first}.jpg"}, "would write over"},
      {{"-o", (folder_ / "fused.jpg").string()}, "would both be written"},
      {{"--crop"}, "--crop requires --align"},
      {{"--align", "--reference", "0"}, "--reference"},
  };
  for (const auto& c : cases)
    ExpectUsageError(folder_, Run(c.arguments), c.what);
  EXPECT_EQ(std::distance(fs::directory_iterator(card_), {}), 6);
}

// Stopped while the second series is fused: the first result stays whole, the second is never
// started on disk, and no temporary file is left.
TEST_F(CliBatchTest, ATermSignalStopsBetweenSeriesAndKeepsTheFinishedResult) {
  const std::vector<fs::path> small = Series(1, 3);
  Series(2, 5, 1600, 1200);  // long enough to be stopped inside
  Series(3, 3);
  std::vector<std::string> before;
  for (const auto& entry : fs::directory_iterator(card_))
    before.push_back(entry.path().filename().string());
  const fs::path done = ResultOf(small, ".png");
  CliProcess cli(folder_, Run({"--quiet", "-o", "{folder}/{first}-vtx.png"}));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(done) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(fs::exists(done));
  cli.Interrupt(SIGTERM);
  EXPECT_EQ(cli.Wait(), 1);
  EXPECT_EQ(ErrorLines(cli.errorText), (std::vector<std::string>{"melvaro-cli: interrupted"}));
  EXPECT_EQ(cli.outputText, "1 series fused; stopped with 2 of 3 series not run\n");
  before.push_back(done.filename().string());
  std::vector<std::string> after;
  for (const auto& entry : fs::directory_iterator(card_))
    after.push_back(entry.path().filename().string());
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
  ExpectFusionOf(small, 100, done);
}
