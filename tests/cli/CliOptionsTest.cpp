// The command line itself: values that cannot mean anything are usage errors (exit status 2,
// one line naming the option, nothing read or written), and a fusion takes 2 to 99 pictures.
#include "tests/cli/CliRunner.h"

using namespace cli_test;

TEST(CliOptions, AnEmptyValueIsAUsageErrorForEveryOptionThatTakesOne) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "in.png", 40, 30);
  const std::string out = (folder / "out.png").string();
  const struct {
    std::vector<std::string> arguments;
    std::string option;
  } cases[] = {
      {{"fuse", "--exposure", "", "-o", out, in, in}, "--exposure"},
      {{"fuse", "--exposure=", "-o", out, in, in}, "--exposure"},
      {{"single", "--exposure", "", "-o", out, in}, "--exposure"},
      {{"single", "--series-dir", "", "-o", out, in}, "--series-dir"},
      {{"single", "--denoise", "", "-o", out, in}, "--denoise"},
      {{"daylight", "up", "--power", "", "-o", out, in}, "--power"},
      {{"daylight", "", "-o", out, in}, "direction"},
      {{"tonemap", "--details", "", "-o", out, in}, "--details"},
      {{"tonemap", "--extra-colors", "", "-o", out, in}, "--extra-colors"},
      {{"contrast", "--lod", "", "-o", out, in}, "--lod"},
      {{"--jpeg-quality", "", "convert", "-o", out, in}, "--jpeg-quality"},
      {{"--depth", "", "convert", "-o", out, in}, "--depth"},
      {{"convert", "-o", "", in}, "--output"},
      {{"convert", "-o", out, ""}, "input"},
      {{"fuse", "-o", out, in, ""}, "inputs"},
      {{"batch", "--gap", "", in}, "--gap"},
      {{"batch", "--group", "", in}, "--group"},
      {{"batch", "-o", "", in}, "--output"},
      {{"batch", ""}, "inputs"},
  };
  for (const auto& c : cases)
    ExpectUsageError(folder, c.arguments, c.option);
}

// The limit is the program's own: a series holds 99 pictures. More are refused before any is
// read; 99 are taken (and here fail as files that are not there, exit status 1).
TEST(CliOptions, FuseTakesAtMostNinetyNinePictures) {
  TempFolder folder;
  const std::string out = (folder / "out.png").string();
  std::vector<std::string> arguments{"fuse", "-o", out};
  for (int i = 0; i < 99; ++i)
    arguments.push_back((folder / ("missing" + std::to_string(i) + ".png")).string());
  const CliRun taken = RunCli(folder, arguments);
  EXPECT_EQ(taken.status, 1) << taken.errors;
  arguments.push_back((folder / "one-too-many.png").string());
  ExpectUsageError(folder, arguments, "at most 99 pictures");
}
