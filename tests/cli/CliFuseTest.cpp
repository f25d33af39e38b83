// melvaro-cli fuse end to end: files in, one file out, and the refusals a
// script relies on (exit status 1, one line naming the file, nothing written).
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
#include "tests/fusion/TestPictures.h"
#include "tests/support/BadInputs.h"
#include "tests/support/Metadata.h"

namespace fs = std::filesystem;

using namespace cli_test;

namespace {

// The test scene at some exposure, written as a PNG without metadata.
std::string WriteScene(const TempFolder& folder, const std::string& name, int w, int h,
                       double gain) {
  ScopedPicBuf pic(w, h, 3, 8);
  FillScene(pic.get(), gain);
  EXPECT_FALSE(WriteImageFile(pic.get(), nullptr, folder / name, {}, 0, 0));
  return (folder / name).string();
}

}  // namespace

TEST(CliFuse, FusesABracketedSeriesToTheMiddleBrightness) {
  TempFolder folder;
  const std::string a = WriteScene(folder, "a.png", 120, 90, 0.5),
                    b = WriteScene(folder, "b.png", 120, 90, 1.0),
                    c = WriteScene(folder, "c.png", 120, 90, 1.6);
  const fs::path out = folder / "fused.tif";
  const CliRun run = RunCli(folder, {"fuse", "-o", out.string(), a, b, c});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  ScopedPicBuf fused, mask, middle(120, 90, 3, 8);
  ASSERT_FALSE(LoadImageFile(fused.get(), mask.get(), out));
  ASSERT_EQ(fused->width, 120);
  ASSERT_EQ(fused->height, 90);
  ASSERT_EQ(fused->bitsPerComponent, 8u);
  FillScene(middle.get(), 1.0);
  EXPECT_NEAR(MeanSample(*fused), MeanSample(*middle), 0.2 * MeanSample(*middle));
  EXPECT_FALSE(fs::exists(folder / "config"));  // the settings file is never touched
}

TEST(CliFuse, ExposureIsLimitedToItsRangeAndChangesTheResult) {
  TempFolder folder;
  const std::string a = WriteScene(folder, "a.png", 64, 48, 0.6),
                    b = WriteScene(folder, "b.png", 64, 48, 1.4);
  const auto fuse = [&](const std::string& exposure) {
    const fs::path out = folder / ("e" + exposure + ".png");
    EXPECT_EQ(RunCli(folder, {"fuse", "--exposure", exposure, "-o", out.string(), a, b}).status, 0);
    return ReadWholeFile(out);
  };
  EXPECT_EQ(fuse("500"), fuse("160"));
  EXPECT_EQ(fuse("0"), fuse("48"));
  EXPECT_NE(fuse("48"), fuse("160"));
  EXPECT_EQ(RunCli(folder, {"fuse", "--exposure", "bright", "-o", "x.png", a, b}).status, 2);
}

TEST(CliFuse, MetadataComesFromTheFirstInput) {
  TempFolder folder;
  const FileMetadata camera = MakeCameraJpeg(folder / "camera.jpg");  // 24 x 16
  const std::string plain = WriteScene(folder, "plain.png", 24, 16, 1.0);
  const std::string cameraFile = (folder / "camera.jpg").string();
  ASSERT_EQ(
      RunCli(folder, {"fuse", "-o", (folder / "first.tif").string(), cameraFile, plain}).status, 0);
  ASSERT_EQ(
      RunCli(folder, {"fuse", "-o", (folder / "second.tif").string(), plain, cameraFile}).status,
      0);
  EXPECT_EQ(ReadFileMetadata(folder / "first.tif"), camera);
  EXPECT_EQ(ReadFileMetadata(folder / "second.tif").model, "(none)");
}

TEST(CliFuse, FusesTheBundledSeries) {
  TempFolder folder;
  const fs::path dir = fs::path(MELVARO_SAMPLES_DIR) / "bracketed" / "stlouis";
  std::vector<std::string> args = {"fuse", "-o", (folder / "stlouis.jpg").string()};
  for (int i = 0; i < 4; ++i)
    args.push_back((dir / ("stlouis" + std::to_string(i) + ".jpg")).string());
  const CliRun run = RunCli(folder, args);
  ASSERT_EQ(run.status, 0) << run.errors;
  ScopedPicBuf fused, mask;
  ASSERT_FALSE(LoadImageFile(fused.get(), mask.get(), folder / "stlouis.jpg"));
  EXPECT_EQ(fused->width, 1408);
  EXPECT_EQ(fused->height, 1056);
}

// Each refusal: exit status 1, one line naming the file, no output.
TEST(CliFuse, BadInputsAreRefusedWithTheFileNamed) {
  TempFolder folder;
  const std::string a = WriteScene(folder, "a.png", 64, 48, 0.7),
                    b = WriteScene(folder, "b.png", 64, 48, 1.2),
                    wide = WriteScene(folder, "wide.png", 65, 48, 1.0),
                    tiny = WriteScene(folder, "tiny.png", 64, 9, 1.0);
  ScopedPicBuf grey(64, 48, 1, 8);
  FillScene(grey.get(), 1.0);
  ASSERT_FALSE(WriteImageFile(grey.get(), nullptr, folder / "grey.png", {}, 0, 0));
  const std::string greyFile = (folder / "grey.png").string();
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{a}, a},                   // one input
      {{a, b, wide}, wide},       // another size
      {{a, greyFile}, greyFile},  // another number of components
      {{tiny, tiny}, tiny},       // too small to fuse
  };
  for (const fs::path& bad : MakeUnreadableInputs(folder)) {
    cases.push_back({{a, bad.string(), b}, bad.string()});
    cases.push_back({{bad.string(), a}, bad.string()});
  }
  const std::vector<std::string> before = folder.Entries();
  for (const auto& [files, named] : cases) {
    SCOPED_TRACE(named);
    std::vector<std::string> args = {"fuse", "-o", (folder / "out.png").string()};
    args.insert(args.end(), files.begin(), files.end());
    const CliRun run = RunCli(folder, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_NE(run.errors.find(named), std::string::npos) << run.errors;
    EXPECT_EQ(folder.Entries(), before);
  }
}
