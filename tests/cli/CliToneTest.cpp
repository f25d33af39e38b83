// End-to-end runs of melvaro-cli tonemap and contrast: the options reach the
// engines exactly as the panels would pass them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/TestFiles.h"
#include "tone/SmartContrast.h"
#include "tone/ToneMap.h"

namespace fs = std::filesystem;

using namespace cli_test;

namespace {

// Exit status of a quiet run; stderr into *errors when asked.
int RunTool(const TempFolder& folder, const std::vector<std::string>& arguments,
            std::string* errors = nullptr) {
  CliRun run = RunCli(folder, arguments);
  if (errors) *errors = std::move(run.errors);
  return run.status;
}

// A small colour photograph-like picture written as PNG.
std::string WriteInput(const TempFolder& folder, ScopedPicBuf* pic) {
  CBxPicBufAPI::ReinitHeap(pic->get(), 70, 44, 3, 8);
  for (int y = 0; y < 44; ++y)
    for (int x = 0; x < 70 * 3; ++x)
      RowPtr(**pic, y)[x] =
          static_cast<uint8_t>(40 + x / 2 + y + ((x / 3 / 9 + y / 7) % 2) * 30 + (x * 7 + y) % 5);
  const std::string in = (folder / "in.png").string();
  EXPECT_FALSE(WriteImageFile(pic->get(), nullptr, in, {}, 0, 0));
  return in;
}

void Load(const fs::path& path, ScopedPicBuf* pic) {
  ScopedPicBuf mask;
  ASSERT_FALSE(LoadImageFile(pic->get(), mask.get(), path));
}

}  // namespace

TEST(CliTonemap, SlidersAndExtraColoursReachTheEngineAsThePanelMapsThem) {
  TempFolder folder;
  ScopedPicBuf pic;
  const std::string in = WriteInput(folder, &pic);
  struct Case {
    std::vector<std::string> options;
    ToneMapParams params;
  };
  const Case cases[] = {
      {{}, ToneMapParamsFromSliders(10, 10, 10, 10, true)},
      {{"--contrast", "3", "--noise", "20", "--details", "40", "--equalization", "7",
        "--extra-colors", "off"},
       ToneMapParamsFromSliders(3, 20, 40, 7, false)},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"tonemap", "-o", (folder / "out.tif").string(), in};
    arguments.insert(arguments.begin() + 1, c.options.begin(), c.options.end());
    std::string errors;
    ASSERT_EQ(RunTool(folder, arguments, &errors), 0) << errors;
    ScopedPicBuf want(70, 44, 3, 8);
    ASSERT_FALSE(LocalLaplacianToneMap(want.get(), pic.get(), c.params, nullptr));
    ScopedPicBuf got;
    Load(folder / "out.tif", &got);
    EXPECT_TRUE(SameSamples(*got, *want));
  }
}

TEST(CliContrast, LevelGainsReachTheEngine) {
  TempFolder folder;
  ScopedPicBuf pic;
  const std::string in = WriteInput(folder, &pic);
  const int lod[8] = {0, 30, 12, 10, 10, 10, 10, 10};
  ASSERT_EQ(RunTool(folder, {"contrast", "--lod", "0,30,12,10,10,10,10,10", "-o",
                             (folder / "out.png").string(), in}),
            0);
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, pic.get()));
  ASSERT_EQ(SmartContrastApply(&state, lod), 0);
  ScopedPicBuf want(70, 44, 3, 8);
  SmartContrastCopyResult(want.get(), state);
  ScopedPicBuf got, same;
  Load(folder / "out.png", &got);
  EXPECT_TRUE(SameSamples(*got, *want));

  ASSERT_EQ(RunTool(folder, {"contrast", "-o", (folder / "same.png").string(), in}), 0);
  Load(folder / "same.png", &same);
  for (int y = 0; y < 44; ++y)  // all gains 10: the picture back, within truncation
    for (int x = 0; x < 70 * 3; ++x)
      ASSERT_LE(RowPtr(*pic, y)[x] - RowPtr(*same, y)[x], 1);
}

TEST(CliToneCommands, OutOfRangeValuesAreUsageErrorsAndWriteNothing) {
  TempFolder folder;
  ScopedPicBuf pic;
  const std::string in = WriteInput(folder, &pic);
  const std::string out = (folder / "out.png").string();
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"tonemap", "--contrast", "0", "-o", out, in},
           {"tonemap", "--equalization", "51", "-o", out, in},
           {"tonemap", "--extra-colors", "yes", "-o", out, in},
           {"contrast", "--lod", "10,10,10,10,10,10,10", "-o", out, in},
           {"contrast", "--lod", "10,10,10,31,10,10,10,10", "-o", out, in},
           {"contrast", "--lod", "10,10,10,-1,10,10,10,10", "-o", out, in}}) {
    EXPECT_EQ(RunTool(folder, arguments), 2) << arguments[1] << " " << arguments[2];
  }
  EXPECT_FALSE(fs::exists(out));
  std::string errors;
  EXPECT_EQ(RunTool(folder, {"tonemap", "-o", out, (folder / "missing.png").string()}, &errors), 1);
  EXPECT_NE(errors.find("Image format not supported!"), std::string::npos);
  EXPECT_FALSE(fs::exists(out));
}
