#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "picture/TiffSafeLoad.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
  int status = -1;
  std::string errors;  // stderr
};

// Appends ' text ' to the command. Built piece by piece: GCC 12 misreports
// `"'" + text` at -O3.
void AppendQuoted(std::string* command, const std::string& text) {
  *command += " '";
  *command += text;
  *command += '\'';
}

// Runs melvaro-cli with the arguments; the settings folder points into the
// test folder so a stray write would show.
CliRun RunCli(const TempFolder& folder, const std::vector<std::string>& arguments) {
  std::string command = "env";
  AppendQuoted(&command, "XDG_CONFIG_HOME=" + (folder / "config").string());
  AppendQuoted(&command, MELVARO_CLI_PATH);
  for (const std::string& argument : arguments)
    AppendQuoted(&command, argument);
  const fs::path errors = folder.path() / "stderr.txt";
  command += " >/dev/null 2>";
  AppendQuoted(&command, errors.string());
  const int raw = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.errors = ReadWholeFile(errors);
  fs::remove(errors);
  return run;
}

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text)
    lines += c == '\n';
  return lines;
}

std::string ModelOf(FIBITMAP* b) {
  FITAG* tag = nullptr;
  return FreeImage_GetMetadata(FIMD_EXIF_MAIN, b, "Model", &tag)
             ? FreeImage_TagToString(FIMD_EXIF_MAIN, tag)
             : "(none)";
}

}  // namespace

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

TEST(CliConvert, DepthFollowsTheOptionExceptForJpegAndBmp) {
  TempFolder folder;
  ScopedPicBuf pic(9, 5, 3, 8);
  FillPattern(pic.get());
  const std::string in = (folder / "in.png").string();
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, in, {}, 0, 0));

  ASSERT_EQ(
      RunCli(folder, {"--depth", "16", "convert", "-o", (folder / "deep.tif").string(), in}).status,
      0);
  ScopedPicBuf deep, mask;
  ASSERT_FALSE(LoadImageFile(deep.get(), mask.get(), folder / "deep.tif"));
  ASSERT_EQ(deep->bitsPerComponent, 16u);
  EXPECT_EQ(SampleAt(*deep, 4, 3, 2), SampleAt(*pic, 4, 3, 2) * 257);

  // Back from 16 bits, and 16 bits asked of formats that hold only 8.
  for (const char* name : {"back.png", "flat.bmp", "flat.jpg"}) {
    const CliRun run = RunCli(folder, {"convert", "--depth", name[0] == 'b' ? "8" : "16", "-o",
                                       (folder / name).string(), (folder / "deep.tif").string()});
    ASSERT_EQ(run.status, 0) << name << run.errors;
    ScopedPicBuf out;
    ASSERT_FALSE(LoadImageFile(out.get(), mask.get(), folder / name));
    EXPECT_EQ(out->bitsPerComponent, 8u) << name;
  }
  ScopedPicBuf back;
  ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), folder / "back.png"));
  EXPECT_TRUE(SameSamples(*back, *pic));
}

TEST(CliConvert, JpegQualityOptionAndDefault) {
  TempFolder folder;
  ScopedPicBuf pic(24, 24, 3, 8);
  FillPattern(pic.get());
  const std::string in = (folder / "in.bmp").string();
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, in, {}, 0, 0));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "q40.jpg", {}, 0, 40));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "q85.jpg", {}, 0, 85));
  ASSERT_EQ(
      RunCli(folder, {"convert", "--jpeg-quality", "40", "-o", (folder / "a.jpg").string(), in})
          .status,
      0);
  ASSERT_EQ(RunCli(folder, {"convert", "-o", (folder / "b.jpg").string(), in}).status, 0);
  EXPECT_EQ(ReadWholeFile(folder / "a.jpg"), ReadWholeFile(folder / "q40.jpg"));
  EXPECT_EQ(ReadWholeFile(folder / "b.jpg"), ReadWholeFile(folder / "q85.jpg"));
}

TEST(CliConvert, KeepsExifAndProfileUnlessAskedNotTo) {
  TempFolder folder;
  const fs::path camera = fs::path(MELVARO_SAMPLES_DIR) / "bracketed/stlouis/stlouis0.jpg";
  FIBITMAP* original = FreeImage_Load(FIF_JPEG, camera.c_str(), FIF_LOAD_NOPIXELS);
  FIBITMAP* small = FreeImage_Allocate(16, 12, 24);
  FreeImage_CloneMetadata(small, original);
  std::string icc = MakeTestProfile();
  FreeImage_CreateICCProfile(small, icc.data(), static_cast<long>(icc.size()));
  const std::string model = ModelOf(original);
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, small, (folder / "in.jpg").c_str(), 90));
  FreeImage_Unload(small);
  FreeImage_Unload(original);

  for (const char* name : {"kept.tif", "kept.jpg", "bare.tif"}) {
    std::vector<std::string> args{"convert", "-o", (folder / name).string(),
                                  (folder / "in.jpg").string()};
    if (name[0] == 'b') args.push_back("--no-metadata");
    ASSERT_EQ(RunCli(folder, args).status, 0) << name;
    bool hidden = false;
    FIBITMAP* back = name[5] == 't' ? LoadTiffSafely(folder / name, 0, &hidden)
                                    : FreeImage_Load(FIF_JPEG, (folder / name).c_str(), 0);
    ASSERT_NE(back, nullptr);
    const FIICCPROFILE* p = FreeImage_GetICCProfile(back);
    const std::string profile =
        hidden ? ReadTiffProfile(folder / name)
               : std::string(static_cast<const char*>(p->data), p->data ? p->size : 0);
    EXPECT_EQ(profile, name[0] == 'b' ? "" : icc) << name;
    EXPECT_EQ(ModelOf(back), name[0] == 'b' ? "(none)" : model) << name;
    FreeImage_Unload(back);
  }
}

TEST(CliConvert, UnreadableInputsFailWithOneLineAndNoOutput) {
  TempFolder folder;
  FIBITMAP* palette = FreeImage_AllocateT(FIT_BITMAP, 8, 8, 8);
  FreeImage_GetPalette(palette)[3].rgbBlue = 200;
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, palette, (folder / "palette.png").c_str(), 0));
  ASSERT_TRUE(FreeImage_Save(FIF_GIF, palette, (folder / "anim.gif").c_str(), 0));
  FreeImage_Unload(palette);
  FIBITMAP* oneBit = FreeImage_AllocateT(FIT_BITMAP, 8, 8, 1);
  ASSERT_TRUE(FreeImage_Save(FIF_BMP, oneBit, (folder / "onebit.bmp").c_str(), 0));
  FreeImage_Unload(oneBit);
  ScopedPicBuf pic(40, 30, 3, 16);
  FillPattern(pic.get());
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "whole.png", {}, 0, 0));
  const std::string png = ReadWholeFile(folder / "whole.png");
  WriteTextFile(folder / "cut.png", png.substr(0, png.size() / 3));
  WriteTextFile(folder / "notes.png", "not a picture\n");
  fs::create_directory(folder / "dir.png");
  WriteTextFile(folder / "out.tif", "existing");

  const std::vector<std::string> bad = {
      (folder / "palette.png").string(), (folder / "anim.gif").string(),
      (folder / "onebit.bmp").string(),  std::string(MELVARO_SAMPLES_DIR) + "/metadata/cmyk.jpg",
      (folder / "cut.png").string(),     (folder / "notes.png").string(),
      (folder / "absent.jpg").string(),  (folder / "dir.png").string()};
  for (const std::string& in : bad) {
    for (const char* out : {"out.tif", "new.png"}) {
      const CliRun run = RunCli(folder, {"convert", "-o", (folder / out).string(), in});
      EXPECT_EQ(run.status, 1) << in;
      EXPECT_EQ(LineCount(run.errors), 1) << run.errors;
      EXPECT_NE(run.errors.find(in), std::string::npos) << run.errors;
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
        folder / "x.gif", folder / "noextension", folder / "taken.tif"}) {
    const CliRun run = RunCli(folder, {"convert", "-o", out.string(), in});
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_EQ(LineCount(run.errors), 1) << run.errors;
    EXPECT_NE(run.errors.find(out.string()), std::string::npos) << run.errors;
  }
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"in.png", "taken.tif"}));
  EXPECT_TRUE(fs::is_directory(folder / "taken.tif"));
}

TEST(CliConvert, UsageErrorsExitWithTwoAndHelpWithZero) {
  TempFolder folder;
  const std::string in = (folder / "in.png").string();
  const std::string out = (folder / "out.png").string();
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"convert", in},
                                               {"convert", "-o", out},
                                               {"convert", "--depth", "12", "-o", out, in},
                                               {"--jpeg-quality", "5", "convert", "-o", out, in},
                                               {"convert", "--frobnicate", "-o", out, in},
                                               {"explode", "-o", out, in}})
    EXPECT_EQ(RunCli(folder, args).status, 2) << args.size();
  EXPECT_EQ(RunCli(folder, {"--help"}).status, 0);
  EXPECT_EQ(RunCli(folder, {"convert", "--help"}).status, 0);
  EXPECT_EQ(RunCli(folder, {"--version"}).status, 0);
  EXPECT_FALSE(fs::exists(out));
}
