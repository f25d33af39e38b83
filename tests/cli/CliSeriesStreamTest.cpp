// `single` and `daylight` without --series-dir fuse each picture as it is made: the output
// must hold the same samples as a run through the files of a series folder, and a stopped
// or refused run must end as the run through files does.
#include <chrono>
#include <thread>

#include "tests/cli/CliRunner.h"

using namespace cli_test;

namespace {

void LoadOutput(const fs::path& file, ScopedPicBuf* picture) {
  ScopedPicBuf mask;
  EXPECT_FALSE(LoadImageFile(picture->get(), mask.get(), file)) << file;
}

// No file anywhere in the cache the runs were given.
bool NothingCached(const TempFolder& folder) {
  const fs::path cache = folder / "cache";
  if (!fs::exists(cache)) return true;
  for (const auto& entry : fs::recursive_directory_iterator(cache))
    if (!entry.is_directory()) return false;
  return true;
}

// Runs `command` once through a series folder and once without, and compares the outputs.
void ExpectSameWithAndWithoutFolder(const TempFolder& folder, const std::string& in,
                                    const std::vector<std::string>& command) {
  std::string name;
  for (const std::string& word : command)
    name += word + " ";
  const fs::path viaFiles = folder / "via-files.tif", streamed = folder / "streamed.tif";
  std::vector<std::string> args = command;
  args.insert(args.end(),
              {"--series-dir", (folder / "series").string(), "-o", viaFiles.string(), in});
  ASSERT_TRUE(RunsCleanly(folder, args)) << name << in;
  args = command;
  args.insert(args.end(), {"-o", streamed.string(), in});
  ASSERT_TRUE(RunsCleanly(folder, args)) << name << in;
  ScopedPicBuf want, got;
  LoadOutput(viaFiles, &want);
  LoadOutput(streamed, &got);
  EXPECT_TRUE(SameGeometry(*got, *want)) << name << in;
  EXPECT_TRUE(SameSamples(*got, *want)) << name << in;
}

// Colour and grey, 8 and 16 bits; the bracketing with and without the denoiser, both
// daylight directions with a part and with all of the family.
TEST(CliSeriesStream, FusesTheSameSamplesAsTheSeriesFiles) {
  TempFolder folder;
  const std::string colour = WriteScene(folder, "colour.png", 72, 48);
  const std::string grey = WriteScene(folder, "grey.png", 40, 52, 1.3, 1);
  const std::string deep = (folder / "deep.tif").string();
  ASSERT_TRUE(RunsCleanly(folder, {"--depth", "16", "convert", "-o", deep, colour}));
  const std::vector<std::vector<std::string>> commands = {
      {"single"},
      {"single", "--denoise", "high", "--exposure", "140"},
      {"single", "--denoise", "none"},
      {"daylight", "up"},
      {"daylight", "down"},
      {"daylight", "up", "--power", "39"},
      {"daylight", "down", "--power", "3"},
  };
  for (const std::string& in : {colour, grey, deep})
    for (const std::vector<std::string>& command : commands)
      ExpectSameWithAndWithoutFolder(folder, in, command);
  EXPECT_TRUE(NothingCached(folder));
}

// A picture too small to fuse is refused with the same line either way.
TEST(CliSeriesStream, APictureTooSmallToFuseIsRefusedAsThroughFiles) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "tiny.png", 9, 30);
  for (const std::string sub : {"single", "daylight"}) {
    std::vector<std::string> args = {sub, "-o", (folder / "out.tif").string(), in};
    if (sub == "daylight") args.insert(args.begin() + 1, "up");
    const CliRun streamed = RunCli(folder, args);
    args.insert(args.end() - 1, {"--series-dir", (folder / "series").string()});
    const CliRun viaFiles = RunCli(folder, args);
    EXPECT_EQ(streamed.status, 1) << sub;
    EXPECT_EQ(viaFiles.status, 1) << sub;
    EXPECT_EQ(ErrorLines(streamed.errors), ErrorLines(viaFiles.errors)) << sub;
    EXPECT_EQ(ErrorLines(streamed.errors).size(), 1u) << streamed.errors;
    EXPECT_FALSE(fs::exists(folder / "out.tif"));
  }
}

// Ctrl+C while the pictures are being made and fused stops the run between pictures:
// no output and nothing left behind.
TEST(CliSeriesStream, CtrlCStopsBetweenPicturesAndWritesNothing) {
  TempFolder folder;
  // Large enough that denoising the bright pictures takes far longer than noticing
  // that the run has started making them.
  const std::string in = WriteScene(folder, "in.png", 1600, 1200);
  const fs::path out = folder / "out.png";
  CliProcess cli(folder, {"single", "--denoise", "high", "-o", out.string(), in});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadWholeFile(folder / "stderr.txt").find("Making") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  cli.Interrupt();
  EXPECT_EQ(cli.Wait(), 1);
  EXPECT_NE(cli.errorText.find("interrupted"), std::string::npos) << cli.errorText;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(NothingCached(folder));
}

}  // namespace
