// End-to-end runs of melvaro-cli tonemap and contrast: the options reach the
// engines exactly as the panels would pass them.
#include <array>

#include "jobs/ToneJobs.h"
#include "tests/cli/CliRunner.h"
#include "tone/SmartContrast.h"
#include "tone/ToneMap.h"

using namespace cli_test;

TEST(CliToneCommands, SlidersExtraColoursAndGainsReachTheEngines) {
  TempFolder folder;
  ScopedPicBuf pic;
  const std::string in = WriteScene(folder, "in.png", 70, 44, 1.0, 3, &pic),
                    out = (folder / "out.tif").string();
  const std::pair<std::vector<std::string>, ToneMapParams> tonemap[] = {
      {{"tonemap", "-o", out, in}, ToneMapParamsFromSliders(10, 10, 10, 10, true)},
      {{"tonemap", "--contrast", "3", "--noise", "20", "--details", "40", "--equalization", "7",
        "--extra-colors", "off", "-o", out, in},
       ToneMapParamsFromSliders(3, 20, 40, 7, false)}};
  for (const auto& [args, params] : tonemap) {
    ScopedPicBuf want(70, 44, 3, 8);
    ASSERT_FALSE(LocalLaplacianToneMap(want.get(), pic.get(), params, nullptr));
    ASSERT_TRUE(RunsCleanly(folder, args));
    ExpectFileHolds(out, *want);
  }
  const std::pair<std::vector<std::string>, std::array<int, 8>> contrast[] = {
      {{"contrast", "-o", out, in}, {10, 10, 10, 10, 10, 10, 10, 10}},
      {{"contrast", "--lod", "0,30,12,10,10,10,10,8", "-o", out, in},
       {0, 30, 12, 10, 10, 10, 10, 8}}};
  for (const auto& [args, lod] : contrast) {
    SmartContrastState state;
    ASSERT_FALSE(SmartContrastPrepare(&state, pic.get()));
    ASSERT_EQ(SmartContrastApply(&state, lod.data()), 0);
    ScopedPicBuf want(70, 44, 3, 8);
    SmartContrastCopyResult(want.get(), state);
    ASSERT_TRUE(RunsCleanly(folder, args));
    ExpectFileHolds(out, *want);
  }
}
