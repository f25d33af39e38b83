// End-to-end runs of melvaro-cli fuse --align and melvaro-cli align: a tripod series keeps the
// plain fusion's bits, a hand-held one made from a bundled photograph fuses closer to the
// unmoved scene, the aligned pictures are written under PATTERN's names with their inputs'
// metadata, and bad options are usage errors that write nothing.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "align/Warp.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/Metadata.h"

using namespace cli_test;

namespace {

const fs::path kSamples = MELVARO_SAMPLES_DIR;
constexpr int kWidth = 480, kHeight = 360;
// The frame less the 12 pixels along its sides that a moved picture may leave uncovered.
constexpr CBxRect kInside{12, 12, kWidth - 12, kHeight - 12};

// Every sample times `gain`, limited to 255.
void Expose(SBxPicBuf* picture, double gain) {
  for (int y = 0; y < picture->height; ++y) {
    uint8_t* row = RowPtr(*picture, y);
    for (size_t i = 0; i < static_cast<size_t>(picture->width) * picture->components; ++i)
      row[i] = static_cast<uint8_t>(std::min(255.0, std::floor(row[i] * gain + 0.5)));
  }
}

// Frames of the central kWidth x kHeight window of a bundled photograph at three exposures,
// each seen through its own motion of the camera (identity: unmoved), written as PNG files.
std::vector<fs::path> WriteFrames(const TempFolder& folder, const std::string& prefix,
                                  const std::vector<Homography>& toPhoto) {
  ScopedPicBuf photo, mask;
  EXPECT_FALSE(LoadImageFile(photo.get(), mask.get(), kSamples / "photos/picosdeeuropa.jpg"));
  const CBxPoint corner{(photo->width - kWidth) / 2, (photo->height - kHeight) / 2};
  const double gains[] = {0.55, 1.0, 1.7};
  std::vector<fs::path> files;
  for (size_t k = 0; k < toPhoto.size(); ++k) {
    ScopedPicBuf moved, frame(kWidth, kHeight, 3, 8);
    EXPECT_FALSE(WarpPicture(*photo, toPhoto[k], moved.get()));
    CBxPicBufAPI::CopyRect(frame.get(), moved.get(), {0, 0}, corner, {kWidth, kHeight});
    Expose(frame.get(), gains[k % 3]);
    files.push_back(folder / (prefix + std::to_string(k) + ".png"));
    EXPECT_FALSE(WriteImageFile(frame.get(), nullptr, files.back(), {}, 0, 0));
  }
  return files;
}

// A turn of the camera about the photograph's centre.
Homography Turn(double degrees, double dx, double dy) {
  const double a = degrees * 3.14159265358979 / 180.0, cx = 599.5, cy = 449.5;
  Homography h;
  h.m = {std::cos(a),
         -std::sin(a),
         cx + dx - cx * std::cos(a) + cy * std::sin(a),
         std::sin(a),
         std::cos(a),
         cy + dy - cx * std::sin(a) - cy * std::cos(a),
         0,
         0,
         1};
  return h;
}

}  // namespace

// A tripod series: every picture still, so --align (cropped or not) writes the plain fusion's
// bits, and says so per picture.
TEST(CliAlign, StillSeriesFusesToThePlainFusionsBits) {
  TempFolder folder;
  const std::vector<fs::path> files = WriteFrames(folder, "still", {{}, {}, {}});
  const fs::path plain = folder / "plain.tif", aligned = folder / "aligned.tif";
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "-o", plain.string()}, files)));
  const auto want = LoadPicture(plain);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--align"}, {"--align", "rigid", "--crop"}}) {
    std::vector<std::string> args{"fuse", "-o", aligned.string()};
    args.insert(args.begin() + 1, options.begin(), options.end());
    const CliRun run = RunCli(folder, Args(args, files));
    ASSERT_EQ(run.status, 0) << run.errors;
    ExpectFileHolds(aligned, **want);
    EXPECT_NE(run.errors.find("picture 1 \"" + files[0].string() + "\": still"), std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("picture 2 \"" + files[1].string() + "\": reference"),
              std::string::npos);
  }
}

// A hand-held series with a known turn and shift: aligned, the fusion lies much closer to that
// of the unmoved frames than without alignment; each motion is reported in px and degrees, and
// the crop keeps the area every frame covers.
TEST(CliAlign, HandHeldSeriesFusesCloserToTheUnmovedScene) {
  TempFolder folder;
  const std::vector<fs::path> unmoved = WriteFrames(folder, "unmoved", {{}, {}, {}});
  const std::vector<fs::path> moved =
      WriteFrames(folder, "moved", {Turn(0.8, 5.3, -3.6), {}, Turn(-0.5, -4.2, 2.7)});
  const fs::path truth = folder / "truth.png", plain = folder / "plain.png",
                 aligned = folder / "aligned.png", cropped = folder / "cropped.png";
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "-o", truth.string()}, unmoved)));
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "-o", plain.string()}, moved)));
  const CliRun run = RunCli(folder, Args({"fuse", "--align", "-o", aligned.string()}, moved));
  ASSERT_EQ(run.status, 0) << run.errors;
  for (const char* picture : {"picture 1 \"", "picture 3 \""}) {
    const size_t line = run.errors.find(picture);
    ASSERT_NE(line, std::string::npos) << run.errors;
    const std::string text = run.errors.substr(line, run.errors.find('\n', line) - line);
    EXPECT_NE(text.find(" px, rotation "), std::string::npos) << text;
    EXPECT_NE(text.find(" deg"), std::string::npos) << text;
  }
  const double withAlign = MeanDifference(**LoadPicture(aligned), **LoadPicture(truth), kInside);
  const double without = MeanDifference(**LoadPicture(plain), **LoadPicture(truth), kInside);
  EXPECT_LT(withAlign, 2.5);  // two resamplings soften the finest detail a little
  EXPECT_LT(4.0 * withAlign, without);

  ASSERT_TRUE(
      RunsCleanly(folder, Args({"fuse", "--align", "--crop", "-o", cropped.string()}, moved)));
  const auto cut = LoadPicture(cropped);
  EXPECT_LT((*cut)->width, kWidth - 8);  // at least both sideways shifts off
  EXPECT_GT((*cut)->width, kWidth - 40);
  EXPECT_LT((*cut)->height, kHeight - 5);
}

// A batch with --align fuses each series exactly as `fuse --align` fuses it alone, and names
// the motions it found per series.
TEST(CliAlign, BatchAlignsEachSeriesAsFuseDoes) {
  TempFolder folder;
  const std::vector<fs::path> moved =
      WriteFrames(folder, "moved", {Turn(0.6, 4.1, -2.2), {}, Turn(-0.4, -3.3, 1.9)});
  const fs::path alone = folder / "alone.png";
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "--align", "-o", alone.string()}, moved)));
  const std::string pattern = (folder / "{first}-batch.png").string();
  const CliRun run =
      RunCli(folder, Args({"batch", "--group", "3", "--align", "-o", pattern}, moved));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.errors.find("series 1:"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find(" px, rotation "), std::string::npos) << run.errors;
  const auto single = LoadPicture(alone);
  const auto batched = LoadPicture(folder / "moved0-batch.png");
  ASSERT_EQ((*batched)->width, (*single)->width);
  ASSERT_EQ((*batched)->height, (*single)->height);
  EXPECT_EQ(MeanDifference(**batched, **single, {0, 0, kWidth, kHeight}), 0.0);
}

// One file per input under PATTERN's names, numbered from 1; the reference as it was, the moved
// pictures with transparency where they do not cover the frame, each with its input's metadata.
TEST(CliAlign, AlignWritesOneFilePerPictureUnderThePatternsNames) {
  TempFolder folder;
  const std::vector<fs::path> moved =
      WriteFrames(folder, "moved", {Turn(0.4, 3.0, 2.0), {}, Turn(0.0, -2.5, 0.0)});
  fs::create_directories(folder / "out");
  ASSERT_TRUE(RunsCleanly(
      folder,
      Args({"align", "--model", "rigid", "-o", (folder / "out/al_%02d.tif").string()}, moved)));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder / "out"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"al_01.tif", "al_02.tif", "al_03.tif"}));
  ExpectFileHolds(folder / "out/al_02.tif", **LoadPicture(moved[1]));
  for (const char* name : {"out/al_01.tif", "out/al_03.tif"}) {
    ScopedPicBuf picture, alpha;
    ASSERT_FALSE(LoadImageFile(picture.get(), alpha.get(), folder / name));
    EXPECT_FALSE(IsEmpty(*alpha)) << name;
  }

  // Camera files: each output carries its own input's metadata.
  const std::vector<fs::path> camera{kSamples / "bracketed/stlouis/stlouis1.jpg",
                                     kSamples / "bracketed/stlouis/stlouis2.jpg"};
  ASSERT_TRUE(RunsCleanly(
      folder, Args({"align", "--crop", "-o", (folder / "cam%d.jpg").string()}, camera)));
  for (size_t i = 0; i < camera.size(); ++i) {
    const fs::path out = folder / ("cam" + std::to_string(i + 1) + ".jpg");
    EXPECT_EQ(ReadFileMetadata(out), ReadFileMetadata(camera[i])) << out;
  }
}

// A picture that cannot be read stops the run after the files before it were written: they
// are taken away again. An output that would replace an input is refused before any work.
TEST(CliAlign, AFailedRunLeavesNoFileBehind) {
  TempFolder folder;
  std::vector<fs::path> files = WriteFrames(folder, "moved", {Turn(0.3, 2.0, 1.0), {}, {}});
  WriteTextFile(files[2], "not a picture");
  const std::vector<std::string> before = folder.Entries();
  const CliRun run = RunCli(folder, Args({"align", "-o", (folder / "a%d.png").string()}, files));
  ExpectFailureNaming(run, files[2].filename().string());
  EXPECT_EQ(folder.Entries(), before);

  files = WriteFrames(folder, "frame", {{}, {}});
  ExpectUsageError(folder, Args({"align", "-o", (folder / "frame%d.png").string()}, files),
                   "would replace an input picture");
}

// Usage errors (exit status 2, nothing written): a PATTERN without exactly one integer field,
// a reference beyond the pictures, a model that does not exist, an empty value, and the
// alignment options of fuse without --align.
TEST(CliAlign, BadPatternReferenceAndModelAreUsageErrors) {
  TempFolder folder;
  const std::string a = WriteScene(folder, "a.png", 40, 30),
                    b = WriteScene(folder, "b.png", 40, 30);
  const std::string out = (folder / "out.png").string();
  for (const char* pattern : {"al.png", "al_%d_%d.png", "al_%s.png", "al_%5.2f.png", "al_%ld.png",
                              "al_%.png", "al_%123d.png"})
    ExpectUsageError(folder, {"align", "-o", (folder / pattern).string(), a, b}, "--output");
  const std::string pattern = (folder / "al_%d.png").string();
  for (const char* reference : {"0", "3", "x", "100"}) {
    ExpectUsageError(folder, {"align", "--reference", reference, "-o", pattern, a, b},
                     "--reference");
    ExpectUsageError(folder, {"fuse", "--align", "--reference", reference, "-o", out, a, b},
                     "--reference");
  }
  ExpectUsageError(folder, {"align", "--model", "affine", "-o", pattern, a, b}, "--model");
  ExpectUsageError(folder, {"align", "--model", "", "-o", pattern, a, b}, "--model");
  ExpectUsageError(folder, {"fuse", "--align=affine", "-o", out, a, b}, "--align");
  ExpectUsageError(folder, {"fuse", "--align=", "-o", out, a, b}, "--align");
  ExpectUsageError(folder, {"fuse", "--crop", "-o", out, a, b}, "--crop");
  ExpectUsageError(folder, {"fuse", "--reference", "1", "-o", out, a, b}, "--reference");
  // A percent sign written twice is a percent sign, not a field.
  ASSERT_TRUE(RunsCleanly(folder, {"align", "-o", (folder / "100%%_%d.png").string(), a, b}));
  EXPECT_TRUE(fs::exists(folder / "100%_1.png") && fs::exists(folder / "100%_2.png"));
}
