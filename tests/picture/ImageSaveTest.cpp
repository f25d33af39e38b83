#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "picture/TiffSafeLoad.h"
#include "settings/Settings.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

struct Unloader {
  void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unloader>;

// A written file as the library reads it, with its ICC profile. TIFFs with
// EXIF go through the safe loader: the library's own TIFF reader mishandles
// their profile.
struct ReadBack {
  Bitmap bitmap;
  std::string profile;
};

ReadBack LoadWithLibrary(const fs::path& path) {
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  ReadBack back;
  bool hidden = false;
  back.bitmap.reset(format == FIF_TIFF ? LoadTiffSafely(path, 0, &hidden)
                                       : FreeImage_Load(format, path.c_str(), 0));
  const FIICCPROFILE* p = FreeImage_GetICCProfile(back.bitmap.get());
  if (hidden)
    back.profile = ReadTiffProfile(path);
  else if (p->data)
    back.profile.assign(static_cast<const char*>(p->data), p->size);
  return back;
}

std::string TagText(FIBITMAP* b, FREE_IMAGE_MDMODEL model, const char* key) {
  FITAG* tag = nullptr;
  if (!FreeImage_GetMetadata(model, b, key, &tag)) return "(none)";
  return FreeImage_TagToString(model, tag);
}

using RoundTrip = std::tuple<const char*, unsigned, unsigned, bool>;  // ext, bits, comps, mask

class WriteReadRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

}  // namespace

TEST_P(WriteReadRoundTrip, GivesBackTheSameSamples) {
  const auto [ext, bits, comps, withMask] = GetParam();
  TempFolder folder;
  ScopedPicBuf pic(21, 5, comps, bits), mask(21, 5, 1, bits);
  FillPattern(pic.get(), 1);
  FillPattern(mask.get(), 2);
  const fs::path out = folder / (std::string("out") + ext);
  ASSERT_FALSE(
      WriteImageFile(pic.get(), withMask ? mask.get() : nullptr, out, {}, kFormatFromName, 0));

  ImageDocument doc;
  ASSERT_FALSE(OpenSourceImage(&doc, out, nullptr));
  EXPECT_TRUE(SameSamples(doc.source, *pic));
  if (withMask)
    EXPECT_TRUE(SameSamples(doc.mask, *mask));
  else
    EXPECT_TRUE(IsEmpty(doc.mask));
  ReleaseDocument(&doc);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{out.filename().string()});
}

INSTANTIATE_TEST_SUITE_P(
    LosslessFormats, WriteReadRoundTrip,
    ::testing::Values(RoundTrip{".bmp", 8, 1, false}, RoundTrip{".bmp", 8, 3, false},
                      RoundTrip{".BMP", 8, 3, true}, RoundTrip{".tif", 8, 1, false},
                      RoundTrip{".tif", 8, 3, true}, RoundTrip{".tiff", 16, 1, false},
                      RoundTrip{".tif", 16, 3, false}, RoundTrip{".TIF", 16, 3, true},
                      RoundTrip{".png", 8, 1, false}, RoundTrip{".png", 8, 3, false},
                      RoundTrip{".png", 8, 3, true}, RoundTrip{".png", 16, 1, false},
                      RoundTrip{".PNG", 16, 3, false}, RoundTrip{".png", 16, 3, true}));

TEST(WriteImageFile, HandsTheLibraryRedGreenBlueAndTopRowLast) {
  TempFolder folder;
  ScopedPicBuf pic(2, 2, 3, 16);
  FillPattern(pic.get());
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "o.tif", {}, kFormatTiff, 0));
  ReadBack b = LoadWithLibrary(folder / "o.tif");
  ASSERT_EQ(FreeImage_GetImageType(b.bitmap.get()), FIT_RGB16);
  const FIRGB16* top = reinterpret_cast<const FIRGB16*>(FreeImage_GetScanLine(b.bitmap.get(), 1));
  EXPECT_EQ(top[1].red, SampleAt(*pic, 1, 0, 2));
  EXPECT_EQ(top[1].blue, SampleAt(*pic, 1, 0, 0));
}

TEST(WriteImageFile, FormatFollowsTheCodeOrTheExtensionInAnyCase) {
  TempFolder folder;
  ScopedPicBuf pic(4, 4, 3, 8);
  FillPattern(pic.get());
  const struct {
    const char* name;
    int code;
    FREE_IMAGE_FORMAT expected;
  } cases[] = {{"a.TIFF", 0, FIF_TIFF},
               {"b.Jpeg", 0, FIF_JPEG},
               {"c.jpg", 0, FIF_JPEG},
               {"d.png", kFormatBmp, FIF_BMP},
               {"e", kFormatPng, FIF_PNG}};
  for (const auto& c : cases) {
    ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / c.name, {}, c.code, 0)) << c.name;
    EXPECT_EQ(FreeImage_GetFileType((folder / c.name).c_str(), 0), c.expected) << c.name;
  }
}

TEST(WriteImageFile, RefusesFormatsThatCannotHoldThePictureAndWritesNothing) {
  TempFolder folder;
  ScopedPicBuf pic8(4, 4, 3, 8), pic16(4, 4, 3, 16), mask8(4, 4, 1, 8);
  FillPattern(pic8.get());
  FillPattern(pic16.get());
  for (const char* name : {"x.gif", "x.webp", "noextension", "x.jpg.txt"})
    EXPECT_THROW(WriteImageFile(pic8.get(), nullptr, folder / name, {}, 0, 0),
                 UnsupportedImageFormat)
        << name;
  EXPECT_THROW(WriteImageFile(pic8.get(), nullptr, folder / "x.png", {}, 7, 0),
               UnsupportedImageFormat);
  for (const char* name : {"deep.bmp", "deep.jpg"})
    EXPECT_THROW(WriteImageFile(pic16.get(), nullptr, folder / name, {}, 0, 0),
                 UnsupportedImageFormat)
        << name;
  // A mask that does not fit the picture is refused rather than misread.
  EXPECT_TRUE(WriteImageFile(pic16.get(), mask8.get(), folder / "m.png", {}, 0, 0));
  ScopedPicBuf empty;
  EXPECT_TRUE(WriteImageFile(empty.get(), nullptr, folder / "empty.png", {}, 0, 0));
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(WriteImageFile, JpegTakesTheColourOfAMaskedPictureAndQualityBelowOneMeans95) {
  TempFolder folder;
  ScopedPicBuf pic(32, 32, 3, 8), mask(32, 32, 1, 8);
  FillPattern(pic.get());
  FillPattern(mask.get(), 5);
  for (int quality : {95, 0, -4, 40, 100, 180})
    ASSERT_FALSE(WriteImageFile(pic.get(), mask.get(),
                                folder / ("q" + std::to_string(quality) + ".jpg"), {}, 0, quality));
  const std::string q95 = ReadWholeFile(folder / "q95.jpg");
  EXPECT_EQ(ReadWholeFile(folder / "q0.jpg"), q95);
  EXPECT_EQ(ReadWholeFile(folder / "q-4.jpg"), q95);
  EXPECT_NE(ReadWholeFile(folder / "q40.jpg"), q95);
  EXPECT_EQ(ReadWholeFile(folder / "q180.jpg"), ReadWholeFile(folder / "q100.jpg"));
}

TEST(WriteImageFile, FailedWritesLeaveTheExistingFileAndNoTemporaryFile) {
  TempFolder folder;
  ScopedPicBuf pic(6, 6, 3, 16);
  FillPattern(pic.get());
  const fs::path target = folder / "keep.png";
  WriteTextFile(target, "precious");
  WriteTextFile(folder / "gone.jpg", "");
  fs::create_directory(folder / "taken.png");

  EXPECT_THROW(WriteImageFile(pic.get(), nullptr, target, {}, kFormatJpeg, 0),
               UnsupportedImageFormat);
  fs::remove(folder / "gone.jpg");
  EXPECT_THROW(WriteImageFile(pic.get(), nullptr, target, folder / "gone.jpg", 0, 0),
               ImageReadError);
  WriteTextFile(folder / "notes.txt", "no picture");
  EXPECT_THROW(WriteImageFile(pic.get(), nullptr, target, folder / "notes.txt", 0, 0),
               UnsupportedImageFormat);
  // The rename over a folder fails after the file was written.
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, folder / "taken.png", {}, 0, 0));
  EXPECT_TRUE(fs::is_directory(folder / "taken.png"));
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, folder / "missing" / "x.png", {}, 0, 0));
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, "/proc/melvaro-cannot-write.png", {}, 0, 0));

  EXPECT_EQ(ReadWholeFile(target), "precious");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"keep.png", "notes.txt", "taken.png"}));
  // A successful write replaces it.
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, target, {}, 0, 0));
  ScopedPicBuf back, mask;
  ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), target));
  EXPECT_TRUE(SameSamples(*back, *pic));
}

TEST(WriteImageFile, CopiesExifAndProfileOfTheSourceToTiffAndJpeg) {
  TempFolder folder;
  const fs::path camera = fs::path(MELVARO_SAMPLES_DIR) / "bracketed/stlouis/stlouis0.jpg";
  Bitmap original(FreeImage_Load(FIF_JPEG, camera.c_str(), FIF_LOAD_NOPIXELS));
  const std::string model = TagText(original.get(), FIMD_EXIF_MAIN, "Model");
  const std::string taken = TagText(original.get(), FIMD_EXIF_EXIF, "DateTimeOriginal");
  ASSERT_NE(model, "(none)");
  // The source: a small JPEG with the camera's EXIF and our own profile.
  Bitmap small(FreeImage_Allocate(24, 16, 24));
  FreeImage_CloneMetadata(small.get(), original.get());
  std::string icc = MakeTestProfile();
  FreeImage_CreateICCProfile(small.get(), icc.data(), static_cast<long>(icc.size()));
  const fs::path source = folder / "source.jpg";
  ASSERT_TRUE(FreeImage_Save(FIF_JPEG, small.get(), source.c_str(), 90));

  ScopedPicBuf pic, mask;
  ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(), source));
  for (const char* name : {"out.tif", "out.jpg"}) {
    ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / name, source, 0, 90)) << name;
    ReadBack back = LoadWithLibrary(folder / name);
    EXPECT_EQ(back.profile, icc) << name;
    EXPECT_EQ(TagText(back.bitmap.get(), FIMD_EXIF_MAIN, "Model"), model) << name;
    EXPECT_EQ(TagText(back.bitmap.get(), FIMD_EXIF_EXIF, "DateTimeOriginal"), taken) << name;
  }
  // Such a TIFF opens again and hands its profile on in turn.
  ScopedPicBuf reopened;
  ASSERT_FALSE(LoadImageFile(reopened.get(), mask.get(), folder / "out.tif"));
  EXPECT_TRUE(SameSamples(*reopened, *pic));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "again.jpg", folder / "out.tif", 0, 90));
  EXPECT_EQ(LoadWithLibrary(folder / "again.jpg").profile, icc);
  // Without a metadata source nothing is copied.
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "bare.tif", {}, 0, 90));
  ReadBack bare = LoadWithLibrary(folder / "bare.tif");
  EXPECT_EQ(TagText(bare.bitmap.get(), FIMD_EXIF_MAIN, "Model"), "(none)");
  EXPECT_EQ(bare.profile, "");
}

namespace {

// Points the settings at a test folder for one scope.
class ConfigHomeOverride {
 public:
  explicit ConfigHomeOverride(const fs::path& folder) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  ~ConfigHomeOverride() {
    if (old_)
      setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }

 private:
  std::optional<std::string> old_;
};

}  // namespace

TEST(SaveImageTo, UsesAndStoresTheSettingsQualityAndReportsFailuresWithoutThrowing) {
  TempFolder folder;
  ConfigHomeOverride config(folder / "config");
  ScopedPicBuf pic(16, 16, 3, 8), deep(4, 4, 3, 16);
  FillPattern(pic.get());
  FillPattern(deep.get());

  ASSERT_FALSE(SaveImageTo(pic.get(), nullptr, folder / "default.jpg"));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "q85.jpg", {}, 0, 85));
  EXPECT_EQ(ReadWholeFile(folder / "default.jpg"), ReadWholeFile(folder / "q85.jpg"));
  EXPECT_EQ(ReadSettingText("jpeg", "missing"), "85");

  WriteSetting("jpeg", "-5");
  ASSERT_FALSE(SaveImageTo(pic.get(), nullptr, folder / "negative.jpg"));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "q95.jpg", {}, 0, 95));
  EXPECT_EQ(ReadWholeFile(folder / "negative.jpg"), ReadWholeFile(folder / "q95.jpg"));
  EXPECT_EQ(ReadSettingText("jpeg", "missing"), "0");

  WriteSetting("jpeg", "70");
  EXPECT_TRUE(SaveImageTo(deep.get(), nullptr, folder / "deep.jpg"));  // refused, not thrown
  EXPECT_TRUE(SaveImageTo(pic.get(), nullptr, folder / "unknown.xyz"));
  EXPECT_TRUE(SaveImageTo(pic.get(), nullptr, folder / "missing" / "x.tif"));
  EXPECT_FALSE(fs::exists(folder / "deep.jpg"));
  EXPECT_FALSE(fs::exists(folder / "unknown.xyz"));
  ASSERT_FALSE(SaveImageTo(deep.get(), nullptr, folder / "file_000.tif"));
  ScopedPicBuf back, mask;
  ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), folder / "file_000.tif"));
  EXPECT_TRUE(SameSamples(*back, *deep));
}
