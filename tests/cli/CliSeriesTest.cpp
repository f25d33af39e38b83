// End-to-end runs of melvaro-cli single and daylight.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fusion/SeriesFusion.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "single/SeriesJobs.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

using namespace cli_test;

namespace {

// A colour photograph-like input as a PNG file.
fs::path WriteInput(const TempFolder& folder, int w, int h) {
  ScopedPicBuf pic(w, h, 3, 8);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        RowPtr(*pic, y)[3 * x + c] =
            static_cast<uint8_t>((x * 5 + y * 3 + c * 40 + (x * y) % 13) % 256);
      }
    }
  }
  const fs::path path = folder / "in.png";
  EXPECT_FALSE(WriteImageFile(pic.get(), nullptr, path, {}, 0, 0));
  return path;
}

// What `fuse` makes of these files: the output must be exactly that.
void ExpectFusionOf(const std::vector<fs::path>& files, uint32_t exposure, const fs::path& out) {
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = exposure;
  ScopedPicBuf expected, got, mask;
  ASSERT_EQ(FuseSeries(request, expected.get()).status, SeriesFusionStatus::kFused);
  ASSERT_FALSE(LoadImageFile(got.get(), mask.get(), out));
  EXPECT_TRUE(SameSamples(*got, *expected));
}

std::vector<fs::path> SeriesFiles(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (IsSeriesFileName(e.path().filename().string())) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(CliSeries, SingleKeepsTheUsersFolderAndFusesTheElevenFiles) {
  TempFolder folder;
  const fs::path in = WriteInput(folder, 60, 40), dir = folder / "series", out = folder / "out.tif";
  fs::create_directories(dir / "sub");
  WriteTextFile(dir / "holiday.jpg", "x");
  WriteTextFile(dir / "file_003_002.tif", "x");  // a daylight family of an earlier run
  const CliRun run =
      RunCli(folder, {"single", "--denoise", "High", "--exposure", "120", "--series-dir",
                      dir.string(), "-o", out.string(), in.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  const std::vector<fs::path> files = SeriesFiles(dir);
  ASSERT_EQ(files.size(), 11u);
  EXPECT_EQ(files.back().filename(), "file_010.tif");
  EXPECT_TRUE(fs::exists(dir / "holiday.jpg"));
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
  ExpectFusionOf(files, 120, out);
  EXPECT_FALSE(fs::exists(folder / "config"));
}

TEST(CliSeries, WithoutSeriesFolderNothingIsLeftBehind) {
  TempFolder folder;
  const fs::path in = WriteInput(folder, 40, 30), out = folder / "out.png";
  const CliRun run =
      RunCli(folder, {"single", "--denoise", "none", "-o", out.string(), in.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(fs::exists(out));
  const fs::path cache = folder / "cache" / "Melvaro";
  EXPECT_TRUE(!fs::exists(cache) || fs::is_empty(cache));
}

TEST(CliSeries, DaylightFusesTheFirstPowerFilesByBrightness) {
  TempFolder folder;
  const fs::path in = WriteInput(folder, 36, 30), dir = folder / "family", out = folder / "out.tif";
  const CliRun run = RunCli(folder, {"daylight", "up", "--power", "5", "--series-dir", dir.string(),
                                     "-o", out.string(), in.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  std::vector<fs::path> files = SeriesFiles(dir);  // generation order: row, then column
  ASSERT_EQ(files.size(), 39u);
  std::vector<std::pair<uint32_t, fs::path>> keyed;
  for (const fs::path& f : files) {
    ScopedPicBuf pic, mask;
    ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(), f));
    keyed.emplace_back(BrightnessKey(*pic), f);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<fs::path> first;
  for (int i = 0; i < 5; ++i)
    first.push_back(keyed[i].second);
  ExpectFusionOf(first, 128, out);
}

TEST(CliSeries, SeriesFolderThatCannotBeMadeFailsWithOneLine) {
  TempFolder folder;
  const fs::path in = WriteInput(folder, 20, 20), out = folder / "o.png";
  WriteTextFile(folder / "plain", "x");
  const CliRun run = RunCli(folder, {"daylight", "down", "--series-dir",
                                     (folder / "plain").string(), "-o", out.string(), in.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  EXPECT_NE(run.errors.find("plain"), std::string::npos);
  EXPECT_FALSE(fs::exists(out));
}

TEST(CliSeries, InterruptStopsBetweenFilesAndTakesTheFilesAway) {
  TempFolder folder;
  // Large enough that denoising the bright files takes far longer than
  // noticing the first file.
  const fs::path in = WriteInput(folder, 1600, 1200), dir = folder / "series";
  const fs::path out = folder / "out.png";
  fs::create_directories(dir);
  WriteTextFile(dir / "notes.txt", "x");
  CliProcess cli(folder, {"single", "--denoise", "high", "--series-dir", dir.string(), "-o",
                          out.string(), in.string()});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(dir / "file_000.tif") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  cli.Interrupt();
  EXPECT_EQ(cli.Wait(), 1);
  EXPECT_NE(cli.errorText.find("interrupted"), std::string::npos) << cli.errorText;
  EXPECT_TRUE(SeriesFiles(dir).empty());
  EXPECT_TRUE(fs::exists(dir / "notes.txt"));
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
