// melvaro-cli convert end to end, and the refusals and usage errors of every
// subcommand.
#include <iterator>
#include <sstream>

#include "tests/cli/CliRunner.h"
#include "tests/support/BadInputs.h"
#include "tests/support/FullDisk.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/Metadata.h"

using namespace cli_test;

TEST(CliConvert, SixteenBitRgbaPngBecomesTheSameSixteenBitRgbaTiff) {
  TempFolder folder;
  ScopedPicBuf pic(37, 11, 3, 16), mask(37, 11, 1, 16), back, backMask;
  FillPattern(pic.get(), 3);
  FillPattern(mask.get(), 4);
  ASSERT_FALSE(WriteImageFile(pic.get(), mask.get(), folder / "in.png", {}, 0, 0));
  const fs::path out = folder / "out.TIFF";
  ASSERT_TRUE(RunsCleanly(folder, {"convert", "-o", out.string(), (folder / "in.png").string()}));
  ASSERT_FALSE(LoadImageFile(back.get(), backMask.get(), out));
  EXPECT_TRUE(SameSamples(*back, *pic) && SameSamples(*backMask, *mask));
}

// --depth before or after the subcommand (JPEG and BMP stay 8 bits whatever it
// says), --jpeg-quality, and the input's metadata unless --no-metadata.
TEST(CliConvert, OptionsReachTheWriter) {
  TempFolder folder;
  ScopedPicBuf pic, deep, camera, mask;
  const std::string in = WriteScene(folder, "in.png", 24, 24, 1.0, 3, &pic);
  const FileMetadata cameraMetadata = MakeCameraJpeg(folder / "camera.jpg");
  const std::string cam = (folder / "camera.jpg").string(),
                    deepFile = (folder / "deep.tif").string(), bmp = (folder / "flat.bmp").string(),
                    q40 = (folder / "q40.jpg").string(), bare = (folder / "bare.jpg").string();
  ASSERT_TRUE(RunsCleanly(folder, {"--depth", "16", "convert", "-o", deepFile, in}));
  ASSERT_TRUE(RunsCleanly(folder, {"convert", "--depth", "16", "-o", bmp, deepFile}));
  ASSERT_TRUE(
      RunsCleanly(folder, {"--depth", "16", "convert", "--jpeg-quality", "40", "-o", q40, cam}));
  ASSERT_TRUE(RunsCleanly(folder, {"convert", "--no-metadata", "-o", bare, cam}));
  ASSERT_FALSE(LoadImageFile(deep.get(), mask.get(), deepFile));
  EXPECT_EQ(deep->bitsPerComponent, 16u);
  EXPECT_EQ(SampleAt(*deep, 4, 3, 2), SampleAt(*pic, 4, 3, 2) * 257);
  ExpectFileHolds(bmp, *pic);
  ASSERT_FALSE(LoadImageFile(camera.get(), mask.get(), cam));
  ASSERT_FALSE(WriteImageFile(camera.get(), nullptr, folder / "want.jpg", cam, 0, 40));
  EXPECT_EQ(ReadWholeFile(q40), ReadWholeFile(folder / "want.jpg"));
  EXPECT_EQ(ReadFileMetadata(q40), cameraMetadata);
  EXPECT_EQ(ReadFileMetadata(bare), (FileMetadata{"(none)", "(none)", ""}));
}

// Every refusal: exit status 1, one line naming the file, an existing output
// untouched and no file left behind.
TEST(CliCommands, BadFilesFailWithOneLineNamingThemAndLeaveNothing) {
  TempFolder folder;
  const std::string a = WriteScene(folder, "a.png", 64, 48, 0.7),
                    b = WriteScene(folder, "b.png", 64, 48, 1.2),
                    wide = WriteScene(folder, "wide.png", 65, 48),
                    tiny = WriteScene(folder, "tiny.png", 64, 9),
                    grey = WriteScene(folder, "grey.png", 64, 48, 1.0, 1);
  const std::string out = (folder / "out.tif").string(), plain = (folder / "plain").string(),
                    depth = (folder / "float.tif").string();
  WriteTextFile(out, "existing");
  WriteTextFile(plain, "x");
  fs::create_directory(folder / "taken.tif");
  const std::string unsupported = "\": Image format not supported!";
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"fuse", "-o", out, a}, a},                           // one input
      {{"fuse", "-o", out, a, b, wide}, wide},               // another size
      {{"fuse", "-o", out, a, grey}, grey},                  // another number of components
      {{"fuse", "-o", out, tiny, tiny}, tiny},               // too small to fuse
      {{"tonemap", "-o", out, depth}, depth + unsupported},  // a depth no engine takes
      {{"contrast", "-o", out, depth}, depth + unsupported},
      {{"single", "-o", out, depth}, depth + unsupported},
      {{"daylight", "down", "-o", out, depth}, depth + unsupported},
      {{"daylight", "down", "--series-dir", plain, "-o", out, a}, plain}};
  for (const fs::path& bad : MakeUnreadableInputs(folder)) {
    const bool cut = bad.filename() == "cut.png";  // a PNG cut short says so
    cases.push_back({{"convert", "-o", out, bad},
                     bad.string() + (cut ? "\": its picture data is truncated" : unsupported)});
    cases.push_back({{"fuse", "-o", out, a, bad, b}, bad.string()});
    cases.push_back({{"fuse", "-o", out, bad, a}, bad.string()});
  }
  for (const fs::path& to :
       {folder / "no-folder" / "x.tif", fs::path("/proc/melvaro-test.png"), folder / "x.xyz",
        folder / "x.gif", folder / "noextension", folder / "taken.tif"})
    cases.push_back({{"convert", "-o", to, a}, to.string()});
  const std::vector<std::string> before = folder.Entries();
  for (const auto& [args, named] : cases)
    ExpectFailureNaming(RunCli(folder, args), named);
  EXPECT_EQ(ReadWholeFile(out), "existing");
  EXPECT_EQ(folder.Entries(), before);
}

// A full disk: exit status 1, one line saying so, the existing output (and a
// link to it) as it was, no temporary file.
TEST(CliConvert, AFullDiskFailsWithOneLineAndKeepsTheExistingOutput) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "in.png", 96, 64);
  FullFileSystem disk(folder / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a file system here (needs root)";
  WriteTextFile(disk.path() / "out.tif", "existing");
  fs::create_symlink(disk.path() / "out.tif", folder / "link.tif");
  disk.Fill();
  for (const fs::path& out :
       {disk.path() / "out.tif", disk.path() / "new.png", folder / "link.tif"}) {
    const CliRun run = RunCli(folder, {"convert", "-o", out.string(), in});
    ExpectFailureNaming(run, out.string());
    EXPECT_NE(run.errors.find("the disk is full"), std::string::npos) << run.errors;
  }
  EXPECT_EQ(ReadWholeFile(disk.path() / "out.tif"), "existing");
  EXPECT_TRUE(fs::is_symlink(folder / "link.tif"));
  EXPECT_EQ(std::distance(fs::directory_iterator(disk.path()), fs::directory_iterator()), 2);
}

// A write the file system refuses part-way, as a full disk does, here through a
// limit on the size of the program's files that needs no root: exit status 1,
// one line saying why, no partial file, the existing output (and a link to it)
// as it was, and the files of a series taken away again.
TEST(CliConvert, AFileSizeLimitFailsWithOneLineAndLeavesNoPartialFile) {
  TempFolder folder;
  const std::string in = WriteScene(folder, "in.png", 96, 64);
  WriteTextFile(folder / "out.tif", "existing");
  fs::create_symlink(folder / "out.tif", folder / "link.tif");
  fs::create_directory(folder / "series");
  const std::vector<std::string> before = folder.Entries();
  constexpr rlim_t kLimit = 4096;  // the pictures need some 18 KB
  for (const fs::path& out : {folder / "out.tif", folder / "new.png", folder / "link.tif"}) {
    const CliRun run = RunCli(folder, {"convert", "-o", out.string(), in}, kLimit);
    ExpectFailureNaming(run, out.string());
    EXPECT_NE(run.errors.find("the file would be larger than the system allows"), std::string::npos) << run.errors;
  }
  const CliRun fused =
      RunCli(folder, {"fuse", "-o", (folder / "new.tif").string(), in, in}, kLimit);
  ExpectFailureNaming(fused, (folder / "new.tif").string());
  const CliRun series = RunCli(folder,
                               {"single", "--series-dir", (folder / "series").string(), "-o",
                                (folder / "new.tif").string(), in},
                               kLimit);
  ExpectFailureNaming(series, (folder / "series" / "file_000.tif").string());
  EXPECT_EQ(ReadWholeFile(folder / "out.tif"), "existing");
  EXPECT_TRUE(fs::is_symlink(folder / "link.tif"));
  EXPECT_EQ(folder.Entries(), before);
  EXPECT_TRUE(fs::is_empty(folder / "series"));
}

// Headers claiming pictures the files cannot hold, and a file cut short: exit
// status 1 and one line naming the file and what it claims.
TEST(CliConvert, HostileFilesFailWithOneLineSayingWhy) {
  TempFolder folder;
  const std::string out = (folder / "out.tif").string();
  const std::string cut = WriteScene(folder, "cut.bmp", 64, 48);
  WriteTextFile(cut, ReadWholeFile(cut).substr(0, 4000));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"bomb.png", hostile::PngClaiming(30000, 30000)},
      {"bomb.bmp", hostile::BmpClaiming(30000, 30000, 310)},
      {"bomb.tif", hostile::TiffClaiming(65000, 65000, 1, "", 408)},
      {"bomb.jpg", hostile::JpegClaiming(folder, 30000, 30000)}};
  for (const auto& [name, bytes] : files) {
    WriteTextFile(folder / name, bytes);
    const CliRun run = RunCli(folder, {"convert", "-o", out, (folder / name).string()});
    ExpectFailureNaming(run, (folder / name).string() + "\": claims ");
  }
  const CliRun run = RunCli(folder, {"convert", "-o", out, cut});
  ExpectFailureNaming(run, cut + "\": claims 64 x 48 pixels");
  EXPECT_NE(run.errors.find("truncated"), std::string::npos) << run.errors;
  EXPECT_FALSE(fs::exists(out));
}

// Exit status 2 for what the command line cannot mean, before any file is read.
TEST(CliUsage, BadCommandLinesExitWithTwoAndHelpWithZero) {
  TempFolder folder;
  for (const char* line :
       {"", "convert in.png", "convert -o o.png", "convert --depth 12 -o o.png in.png",
        "--jpeg-quality 5 convert -o o.png in.png", "fuse --exposure bright -o o.png a.png b.png",
        "single --denoise extreme -o o.png in.png", "daylight sideways -o o.png in.png",
        "tonemap --contrast 0 -o o.png in.png", "tonemap --equalization 51 -o o.png in.png",
        "tonemap --extra-colors yes -o o.png in.png",
        "contrast --lod 10,10,10,10,10,10,10 -o o.png in.png",
        "contrast --lod 10,10,10,31,10,10,10,10 -o o.png in.png",
        "contrast --lod 10,10,10,-1,10,10,10,10 -o o.png in.png"}) {
    std::istringstream words(line);
    EXPECT_EQ(RunCli(folder, {std::istream_iterator<std::string>(words), {}}).status, 2) << line;
  }
  for (const char* help : {"--help", "--version"})
    EXPECT_EQ(RunCli(folder, {help}).status, 0) << help;
}
