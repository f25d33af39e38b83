#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/BadInputs.h"
#include "tests/support/Metadata.h"

namespace fs = std::filesystem;

using namespace cli_test;

namespace {}  // namespace

TEST(CliConvert, SixteenBitRgbaPngBecomesTheSameSixteenBitRgbaTiff) {
  TempFolder folder;
  ScopedPicBuf pic(37, 11, 3, 16), mask(37, 11, 1, 16);
  FillPattern(pic.get(), 3);
  FillPattern(mask.get(), 4);
  ASSERT_FALSE(WriteImageFile(pic.get(), mask.get(), folder / "in.png", {}, 0, 0));
  const CliRun run = RunCli(
      folder, {"convert", "-o", (folder / "out.TIFF").string(), (folder / "in.png").string()});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  ScopedPicBuf back, backMask;
  ASSERT_FALSE(LoadImageFile(back.get(), backMask.get(), folder / "out.TIFF"));
  EXPECT_TRUE(SameSamples(*back, *pic));
  EXPECT_TRUE(SameSamples(*backMask, *mask));
  EXPECT_FALSE(fs::exists(folder / "config"));  // the settings file is never touched
}

TEST(CliConvert, DepthAndQualityFollowTheOptionsJpegAndBmpStayEightBits) {
  TempFolder folder;
  ScopedPicBuf pic(24, 24, 3, 8), mask;
  FillPattern(pic.get());
  const std::string in = (folder / "in.png").string();
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, in, {}, 0, 0));
  const std::string deep = (folder / "deep.tif").string();
  ASSERT_EQ(RunCli(folder, {"--depth", "16", "convert", "-o", deep, in}).status, 0);
  ScopedPicBuf back;
  ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), deep));
  ASSERT_EQ(back->bitsPerComponent, 16u);
  EXPECT_EQ(SampleAt(*back, 4, 3, 2), SampleAt(*pic, 4, 3, 2) * 257);
  for (const char* name : {"flat.bmp", "flat.jpg"}) {
    ASSERT_EQ(
        RunCli(folder, {"convert", "--depth", "16", "-o", (folder / name).string(), deep}).status,
        0);
    ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), folder / name));
    EXPECT_EQ(back->bitsPerComponent, 8u) << name;
  }
  ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), folder / "flat.bmp"));
  EXPECT_TRUE(SameSamples(*back, *pic));

  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "q40.jpg", {}, 0, 40));
  ASSERT_EQ(
      RunCli(folder, {"convert", "--jpeg-quality", "40", "-o", (folder / "a.jpg").string(), in})
          .status,
      0);
  EXPECT_EQ(ReadWholeFile(folder / "a.jpg"), ReadWholeFile(folder / "q40.jpg"));
}

TEST(CliConvert, KeepsExifAndProfileUnlessAskedNotTo) {
  TempFolder folder;
  const FileMetadata camera = MakeCameraJpeg(folder / "in.jpg");
  const std::string in = (folder / "in.jpg").string();
  ASSERT_EQ(RunCli(folder, {"convert", "-o", (folder / "kept.tif").string(), in}).status, 0);
  ASSERT_EQ(
      RunCli(folder, {"convert", "--no-metadata", "-o", (folder / "bare.jpg").string(), in}).status,
      0);
  EXPECT_EQ(ReadFileMetadata(folder / "kept.tif"), camera);
  EXPECT_EQ(ReadFileMetadata(folder / "bare.jpg"), (FileMetadata{"(none)", "(none)", ""}));
}

TEST(CliConvert, UnreadableInputsFailWithOneLineAndNoOutput) {
  TempFolder folder;
  WriteTextFile(folder / "out.tif", "existing");
  for (const fs::path& in : MakeUnreadableInputs(folder)) {
    for (const char* out : {"out.tif", "new.png"}) {
      const CliRun run = RunCli(folder, {"convert", "-o", (folder / out).string(), in.string()});
      ExpectFailureNaming(run, in.string());
      EXPECT_NE(run.errors.find("Image format not supported!"), std::string::npos);
    }
  }
  EXPECT_EQ(ReadWholeFile(folder / "out.tif"), "existing");
  EXPECT_FALSE(fs::exists(folder / "new.png"));
}

TEST(CliConvert, UnwritableOutputsFailWithOneLineAndLeaveNothing) {
  TempFolder folder;
  ScopedPicBuf pic(6, 6, 1, 8);
  FillPattern(pic.get());
  const std::string in = (folder / "in.png").string();
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, in, {}, 0, 0));
  fs::create_directory(folder / "taken.tif");
  for (const fs::path& out :
       {folder / "no-folder" / "x.tif", fs::path("/proc/melvaro-test.png"), folder / "x.xyz",
        folder / "x.gif", folder / "noextension", folder / "taken.tif"})
    ExpectFailureNaming(RunCli(folder, {"convert", "-o", out.string(), in}), out.string());
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"in.png", "taken.tif"}));
}

TEST(CliConvert, UsageErrorsExitWithTwoAndHelpWithZero) {
  TempFolder folder;
  const std::string in = (folder / "in.png").string(), out = (folder / "out.png").string();
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"convert", in},
                                               {"convert", "-o", out},
                                               {"convert", "--depth", "12", "-o", out, in},
                                               {"--jpeg-quality", "5", "convert", "-o", out, in},
                                               {"convert", "--frobnicate", "-o", out, in},
                                               {"explode", "-o", out, in}})
    EXPECT_EQ(RunCli(folder, args).status, 2) << args.size();
  for (const char* help : {"--help", "--version"})
    EXPECT_EQ(RunCli(folder, {help}).status, 0);
  EXPECT_EQ(RunCli(folder, {"convert", "--help"}).status, 0);
  EXPECT_FALSE(fs::exists(out));
}
