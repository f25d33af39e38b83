// End-to-end runs of melvaro-cli fuse, single and daylight: each output is
// exactly what the series fusion makes of its files.
#include <chrono>
#include <iterator>
#include <thread>

#include "single/SeriesJobs.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/Metadata.h"

using namespace cli_test;

// All inputs in order, the exposure limited to 48..160, the first input's metadata.
TEST(CliFuse, FusesWhatOkFusesWithTheFirstInputsMetadata) {
  TempFolder folder;
  const FileMetadata camera = MakeCameraJpeg(folder / "camera.jpg");  // 24 x 16, black
  const std::vector<fs::path> files = {folder / "camera.jpg",
                                       WriteScene(folder, "b.png", 24, 16, 0.8),
                                       WriteScene(folder, "c.png", 24, 16, 1.6)};
  const fs::path out = folder / "fused.tif";
  const std::pair<std::vector<std::string>, uint32_t> cases[] = {
      {{}, 100}, {{"--exposure", "500"}, 160}, {{"--exposure", "0"}, 48}};
  for (const auto& [options, exposure] : cases) {
    std::vector<std::string> args = {"fuse", "-o", out.string()};
    args.insert(args.begin() + 1, options.begin(), options.end());
    args.insert(args.end(), files.begin(), files.end());
    ASSERT_TRUE(RunsCleanly(folder, args));
    ExpectFusionOf(files, exposure, out);
    EXPECT_EQ(ReadFileMetadata(out), camera);
  }
  EXPECT_FALSE(fs::exists(folder / "config"));  // the settings file is never touched
}

// A folder named by the user: only the series files of an earlier run go.
TEST(CliSeries, SingleFusesItsElevenFilesAndKeepsTheUsersOthers) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "in.png", 60, 40);
  const fs::path dir = folder / "series", out = folder / "out.tif";
  fs::create_directories(dir / "sub");
  WriteTextFile(dir / "holiday.jpg", "x");
  WriteTextFile(dir / "file_003_002.tif", "x");  // a daylight family of an earlier run
  ASSERT_TRUE(RunsCleanly(folder, {"single", "--denoise", "High", "--exposure", "120",
                                   "--series-dir", dir.string(), "-o", out.string(), in}));
  EXPECT_FALSE(fs::exists(dir / "file_003_002.tif"));
  EXPECT_TRUE(fs::exists(dir / "holiday.jpg") && fs::is_directory(dir / "sub"));
  std::vector<fs::path> files;
  for (int i = 0; i < 11; ++i)
    files.push_back(SeriesFileName(dir, i));
  ExpectFusionOf(files, 120, out);
  EXPECT_FALSE(fs::exists(folder / "config"));
}

// The first --power files of the list by brightness, not of the folder; without
// --series-dir nothing stays in the cache.
TEST(CliSeries, DaylightFusesTheFirstPowerFilesOfItsListAndLeavesNoFolder) {
  TempFolder folder;
  ScopedPicBuf pic;
  const std::string in = WriteScene(folder, "in.png", 36, 30, 1.0, 3, &pic);
  const fs::path out = folder / "out.tif";
  ASSERT_TRUE(RunsCleanly(folder, {"daylight", "up", "--power", "5", "-o", out.string(), in}));
  const fs::path cache = folder / "cache" / "Melvaro";
  EXPECT_TRUE(!fs::exists(cache) || fs::is_empty(cache));
  SeriesTarget target;
  target.folder = folder / "want";
  const SeriesOutcome want = RunDaylightSeries(*pic, DaylightDirection::kUp, target, nullptr);
  ASSERT_EQ(want.status, SeriesStatus::kCompleted);
  ExpectFusionOf({want.listed.data(), 5}, 128, out);
}

// Waits until the run has written its first series file.
bool FirstFileWritten(const fs::path& dir) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(dir / "file_000.tif") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return fs::exists(dir / "file_000.tif");
}

TEST(CliSeries, CtrlCTermAndHangUpStopBetweenFilesAndTakeTheFilesAway) {
  TempFolder folder;
  // Large enough that denoising the bright files takes far longer than
  // noticing the first file.
  const std::string in = WriteScene(folder, "in.png", 1600, 1200);
  const fs::path dir = folder / "series", out = folder / "out.png";
  fs::create_directories(dir);
  WriteTextFile(dir / "notes.txt", "x");
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    CliProcess cli(folder, {"single", "--denoise", "high", "--series-dir", dir.string(), "-o",
                            out.string(), in});
    ASSERT_TRUE(FirstFileWritten(dir)) << signal;
    cli.Interrupt(signal);
    EXPECT_EQ(cli.Wait(), 1) << signal;
    EXPECT_NE(cli.errorText.find("interrupted"), std::string::npos) << cli.errorText;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);  // notes.txt
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST(CliSeries, ASeriesFolderInUseStopsASecondRunAtOnce) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "in.png", 1600, 1200);
  const fs::path dir = folder / "series";
  CliProcess first(folder, {"single", "--denoise", "high", "--series-dir", dir.string(), "-o",
                            (folder / "first.png").string(), in});
  ASSERT_TRUE(FirstFileWritten(dir));
  const CliRun second = RunCli(
      folder, {"single", "--series-dir", dir.string(), "-o", (folder / "second.png").string(), in});
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.errors.find("in use"), std::string::npos) << second.errors;
  EXPECT_FALSE(fs::exists(folder / "second.png"));
  first.Interrupt();
  EXPECT_EQ(first.Wait(), 1);
}

namespace {

// What a run says while it works: one line per stage into a log, one redrawn line with the
// stage's percentage on a terminal, never the engines' own "Progress: 5%" texts.
TEST(CliProgressLine, StagesOneLineEachIntoALogAndWithOnePercentageOnATerminal) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "in.png", 40, 30);
  const std::string out = (folder / "out.tif").string();
  const CliRun logged = RunCli(folder, {"single", "--denoise", "none", "-o", out, in});
  ASSERT_EQ(logged.status, 0) << logged.errors;
  EXPECT_EQ(Lines(logged.errors),
            (std::vector<std::string>{"Reading in.png", "Making 11 exposures", "Fusing 11 pictures",
                                      "Writing out.tif"}));
  EXPECT_EQ(logged.errors.find('\r'), std::string::npos);
  EXPECT_TRUE(RunCli(folder, {"--quiet", "fuse", "-o", out, in, in}).errors.empty());

  // A terminal, through script(1)'s pseudo-terminal.
  const fs::path typescript = folder / "typescript";
  const std::string command =
      std::string(MELVARO_CLI_PATH) + " single --denoise none -o " + out + " " + in + " 2>&1";
  const std::string run = "XDG_CACHE_HOME=" + (folder / "cache").string() + " script -qec '" +
                          command + "' " + typescript.string() + " >/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string screen = ReadWholeFile(typescript);
  EXPECT_NE(screen.find("\rMaking 11 exposures 92%"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\rFusing 11 pictures 100%"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("Progress"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("% "), std::string::npos) << screen;  // never a percentage twice
}

}  // namespace
