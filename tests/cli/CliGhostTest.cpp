// End-to-end runs of melvaro-cli fuse --deghost: a still series keeps the plain fusion's bits,
// a thing pasted elsewhere in one frame appears once, as the reference has it, and bad
// strengths are usage errors.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/cli/CliRunner.h"
#include "tests/jobs/MovingSeries.h"

using namespace cli_test;

namespace {

using moving_series::kHeight;
using moving_series::kWidth;
constexpr CBxRect kThere = moving_series::kPatchStays, kElsewhere = moving_series::kPatchMoved;

// Three exposures with a patch of the scene at kThere in every frame, or at kElsewhere in the
// frames `movedIn` names.
std::vector<fs::path> WriteFrames(const TempFolder& folder, const std::string& prefix,
                                  const std::vector<bool>& movedIn) {
  std::vector<fs::path> files = moving_series::WriteMovingSeries(folder.path(), prefix, movedIn);
  EXPECT_EQ(files.size(), movedIn.size());
  return files;
}

}  // namespace

// Nothing moved: with ghost removal, at any strength and with a reference named, the plain
// fusion's very bits, and no picture is reported.
TEST(CliGhost, StillSeriesKeepsThePlainFusionsBits) {
  TempFolder folder;
  const std::vector<fs::path> files = WriteFrames(folder, "still", {false, false, false});
  const fs::path plain = folder / "plain.tif", deghosted = folder / "deghosted.tif";
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "-o", plain.string()}, files)));
  const auto want = LoadPicture(plain);
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--deghost"},
                                                  {"--deghost", "10", "--reference", "1"},
                                                  {"--deghost", "0"},
                                                  {"--align", "--deghost"}}) {
    std::vector<std::string> args{"fuse", "-o", deghosted.string()};
    args.insert(args.begin() + 1, options.begin(), options.end());
    const CliRun run = RunCli(folder, Args(args, files));
    ASSERT_EQ(run.status, 0) << run.errors;
    ExpectFileHolds(deghosted, **want);
    EXPECT_EQ(run.errors.find("ghosts removed"), std::string::npos) << run.errors;
  }
}

// A patch pasted elsewhere in the first frame: fused plainly it shows twice, half transparent;
// with ghost removal the result lies close to the fusion of the frames in which it stays put,
// and the frame is named.
TEST(CliGhost, MovedThingAppearsOnceAsTheReferenceHasIt) {
  TempFolder folder;
  const std::vector<fs::path> still = WriteFrames(folder, "still", {false, false, false});
  const std::vector<fs::path> moved = WriteFrames(folder, "moved", {true, false, false});
  const fs::path truth = folder / "truth.png", plain = folder / "plain.png",
                 deghosted = folder / "deghosted.png";
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "-o", truth.string()}, still)));
  ASSERT_TRUE(RunsCleanly(folder, Args({"fuse", "-o", plain.string()}, moved)));
  const CliRun run = RunCli(folder, Args({"fuse", "--deghost", "-o", deghosted.string()}, moved));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.errors.find("picture 1 \"" + moved[0].string() + "\": ghosts removed from"),
            std::string::npos)
      << run.errors;
  const auto want = LoadPicture(truth), before = LoadPicture(plain), after = LoadPicture(deghosted);
  for (const CBxRect& area : {kThere, kElsewhere}) {
    const double without = MeanDifference(**before, **want, area);
    const double with = MeanDifference(**after, **want, area);
    EXPECT_GT(without, 8.0);
    EXPECT_LT(with, 3.0);
  }
  EXPECT_LT(MeanDifference(**after, **want, {0, 200, 150, kHeight}), 0.5);  // far from both
}

// Strengths outside 0..10, a reference beyond the pictures, and --reference without --align or
// --deghost are usage errors; a bare --deghost before the inputs takes none of them.
TEST(CliGhost, BadStrengthAndReferenceAreUsageErrors) {
  TempFolder folder;
  const std::string a = WriteScene(folder, "a.png", 40, 30),
                    b = WriteScene(folder, "b.png", 40, 30);
  const std::string out = (folder / "out.png").string();
  for (const char* strength : {"11", "100", "x", "-1"})
    ExpectUsageError(folder, {"fuse", "--deghost=" + std::string(strength), "-o", out, a, b},
                     "--deghost");
  ExpectUsageError(folder, {"fuse", "--deghost", "--reference", "3", "-o", out, a, b},
                   "--reference");
  ExpectUsageError(folder, {"fuse", "--reference", "1", "-o", out, a, b}, "--reference");
  ASSERT_TRUE(RunsCleanly(folder, {"fuse", "-o", out, "--deghost", a, b}));
}

// A batch with --deghost removes each series' ghosts exactly as `fuse --deghost` does with the
// same reference, aligned or not, names the frames kept out per series, and --reference alone
// is refused there too.
TEST(CliGhost, BatchRemovesGhostsAsFuseDoes) {
  TempFolder folder;
  const std::vector<fs::path> moved = WriteFrames(folder, "moved", {true, false, false});
  const std::string pattern = (folder / "{first}-batch.png").string();
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--deghost", "7", "--reference", "3"}, {"--align", "--deghost"}}) {
    const fs::path alone = folder / "alone.png";
    std::vector<std::string> fuse{"fuse", "-o", alone.string()};
    fuse.insert(fuse.begin() + 1, options.begin(), options.end());
    ASSERT_TRUE(RunsCleanly(folder, Args(fuse, moved)));
    std::vector<std::string> batch{"batch", "--overwrite", "--group", "3", "-o", pattern};
    batch.insert(batch.begin() + 1, options.begin(), options.end());
    const CliRun run = RunCli(folder, Args(batch, moved));
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("series 1:"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("ghosts removed from"), std::string::npos) << run.errors;
    ExpectFileHolds(folder / "moved0-batch.png", **LoadPicture(alone));
  }
  ExpectUsageError(folder, Args({"batch", "--group", "3", "--reference", "1"}, moved),
                   "--reference");
}
