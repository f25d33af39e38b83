#include <FreeImage.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <tuple>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "tests/support/FullDisk.h"
#include "tests/support/Metadata.h"

namespace fs = std::filesystem;

// Extension, bits, components, with a mask.
class WriteReadRoundTrip
    : public ::testing::TestWithParam<std::tuple<const char*, unsigned, unsigned, bool>> {};

// Grey pictures never carry a mask; BMP holds 8 bits only (the caller converts first).
TEST_P(WriteReadRoundTrip, GivesBackTheSameSamples) {
  const auto [ext, bits, comps, withMask] = GetParam();
  TempFolder folder;
  ScopedPicBuf pic(21, 5, comps, bits), mask(21, 5, 1, bits);
  FillPattern(pic.get(), 1);
  FillPattern(mask.get(), 2);
  const fs::path out = folder / (std::string("out") + ext);
  if (bits == 16 && out.extension() == ".BMP") {
    EXPECT_THROW(WriteImageFile(pic.get(), nullptr, out, {}, 0, 0), UnsupportedImageFormat);
    EXPECT_TRUE(folder.Entries().empty());
    return;
  }
  ASSERT_FALSE(WriteImageFile(pic.get(), withMask ? mask.get() : nullptr, out, {}, 0, 0));

  ImageDocument doc;
  CBxPicBufAPI::ReinitHeap(&doc.mask, 2, 2, 1, 8);  // an earlier file's alpha
  fs::path current;
  ASSERT_FALSE(OpenSourceImage(&doc, out, &current));
  EXPECT_EQ(current, out);
  EXPECT_TRUE(SameSamples(doc.source, *pic));
  EXPECT_TRUE(withMask && comps == 3 ? SameSamples(doc.mask, *mask) : IsEmpty(doc.mask));
  ReleaseDocument(&doc);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{out.filename().string()});
}

INSTANTIATE_TEST_SUITE_P(LosslessFormats, WriteReadRoundTrip,
                         ::testing::Combine(::testing::Values(".BMP", ".tif", ".TIFF", ".png"),
                                            ::testing::Values(8u, 16u), ::testing::Values(1u, 3u),
                                            ::testing::Bool()));

TEST(WriteImageFile, FormatComesFromTheCodeElseTheExtensionAndMustHoldThePicture) {
  TempFolder folder;
  ScopedPicBuf pic8(4, 4, 3, 8), pic16(4, 4, 3, 16), mask8(4, 4, 1, 8);
  FillPattern(pic8.get());
  FillPattern(pic16.get());
  ASSERT_FALSE(WriteImageFile(pic8.get(), nullptr, folder / "a.Jpeg", {}, 0, 0));
  ASSERT_FALSE(WriteImageFile(pic8.get(), nullptr, folder / "b.png", {}, kFormatBmp, 0));
  EXPECT_EQ(FreeImage_GetFileType((folder / "a.Jpeg").c_str(), 0), FIF_JPEG);
  EXPECT_EQ(FreeImage_GetFileType((folder / "b.png").c_str(), 0), FIF_BMP);

  for (const char* name : {"x.gif", "x.webp", "noextension", "x.jpg.txt"})
    EXPECT_THROW(WriteImageFile(pic8.get(), nullptr, folder / name, {}, 0, 0),
                 UnsupportedImageFormat)
        << name;
  EXPECT_THROW(WriteImageFile(pic8.get(), nullptr, folder / "x.png", {}, 7, 0),
               UnsupportedImageFormat);
  EXPECT_THROW(WriteImageFile(pic16.get(), nullptr, folder / "deep.jpg", {}, 0, 0),
               UnsupportedImageFormat);  // 16 bits: the caller converts first
  EXPECT_TRUE(WriteImageFile(pic16.get(), mask8.get(), folder / "m.png", {}, 0, 0));
  ScopedPicBuf empty;
  EXPECT_TRUE(WriteImageFile(empty.get(), nullptr, folder / "empty.png", {}, 0, 0));
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"a.Jpeg", "b.png"}));
}

TEST(WriteImageFile, FailedWritesLeaveTheExistingFileAndNoTemporaryFile) {
  TempFolder folder;
  ScopedPicBuf pic(6, 6, 3, 16);
  FillPattern(pic.get());
  const fs::path target = folder / "keep.png";
  WriteTextFile(target, "precious");
  WriteTextFile(folder / "notes.txt", "no picture");
  fs::create_directory(folder / "taken.png");

  EXPECT_THROW(WriteImageFile(pic.get(), nullptr, target, {}, kFormatJpeg, 0),
               UnsupportedImageFormat);
  EXPECT_THROW(WriteImageFile(pic.get(), nullptr, target, folder / "gone.jpg", 0, 0),
               ImageReadError);  // the metadata source was deleted
  EXPECT_THROW(WriteImageFile(pic.get(), nullptr, target, folder / "notes.txt", 0, 0),
               UnsupportedImageFormat);
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, folder / "taken.png", {}, 0, 0));  // rename fails
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, folder / "missing" / "x.png", {}, 0, 0));
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, "/proc/melvaro-cannot-write.png", {}, 0, 0));
  EXPECT_EQ(ReadWholeFile(target), "precious");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"keep.png", "notes.txt", "taken.png"}));

  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, target, {}, 0, 0));  // success replaces it
  ScopedPicBuf back, mask;
  ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), target));
  EXPECT_TRUE(SameSamples(*back, *pic));
}

const std::vector<std::string> kExisting = {"existing.bmp", "existing.jpg", "existing.png",
                                            "existing.tif", "linked.png"};

// Files a failed save must leave alone, and a link to one of them from
// another folder.
void MakeExistingFiles(const fs::path& failing, const fs::path& elsewhere) {
  for (const std::string& name : kExisting)
    WriteTextFile(failing / name, "precious " + name);
  fs::create_symlink(failing / "linked.png", elsewhere / "link.png");
}

// Where the writes fail, in every format: a new file, an existing one and a
// link to an existing one must come out as they were, with no temporary file
// left and the reason told.
void ExpectFailedSavesChangeNothing(const fs::path& failing, const fs::path& elsewhere,
                                    std::errc reason, SaveFailure told) {
  ScopedPicBuf pic(64, 64, 3, 8);  // samples that do not compress: about 12 KB
  FillPattern(pic.get(), 5);
  for (const char* ext : {".png", ".tif", ".jpg", ".bmp"}) {
    for (const fs::path& to : {failing / (std::string("new") + ext),
                               failing / (std::string("existing") + ext), elsewhere / "link.png"}) {
      std::error_code failure;
      EXPECT_TRUE(
          WriteImageFile(pic.get(), nullptr, to, {}, FormatCodeFromExtension(ext), 0, &failure))
          << to;
      EXPECT_EQ(failure, reason) << to;
      EXPECT_EQ(SaveFailureOf(to, failure), told) << to;
    }
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(failing))
    if (entry.path().filename() != "filler") left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, kExisting);
  for (const std::string& name : kExisting)
    EXPECT_EQ(ReadWholeFile(failing / name), "precious " + name);
  EXPECT_EQ(fs::read_symlink(elsewhere / "link.png"), failing / "linked.png");
}

TEST(WriteImageFile, AFullDiskFailsAndLeavesEveryFileAsItWas) {
  TempFolder folder, elsewhere;
  FullFileSystem disk(folder / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a file system here (needs root)";
  MakeExistingFiles(disk.path(), elsewhere.path());
  disk.Fill();
  ExpectFailedSavesChangeNothing(disk.path(), elsewhere.path(), std::errc::no_space_on_device,
                                 SaveFailure::kDiskFull);
}

TEST(WriteImageFile, WritesRefusedByTheFileSizeLimitFailAndLeaveEveryFileAsItWas) {
  TempFolder folder, elsewhere;
  MakeExistingFiles(folder.path(), elsewhere.path());
  const FileSizeLimit limit(2000);
  ExpectFailedSavesChangeNothing(folder.path(), elsewhere.path(), std::errc::file_too_large,
                                 SaveFailure::kTooLarge);
}

// A failed save says what happened: the writer's own reason where it has a
// clear one, else what the folder shows (a folder that does not exist, or that
// takes no new file, has a missing file's error code either way).
TEST(WriteImageFile, AFailedSaveToldWhy) {
  TempFolder folder;
  ScopedPicBuf pic(8, 8, 3, 8);
  FillPattern(pic.get());
  fs::create_directory(folder / "taken.png");
  fs::create_symlink(folder / "taken.png", folder / "link-to-folder.png");
  const struct {
    fs::path to;
    SaveFailure told;
  } writes[] = {{folder / "taken.png", SaveFailure::kFolderInTheWay},
                {folder / "link-to-folder.png", SaveFailure::kFolderInTheWay},
                {folder / "missing" / "x.png", SaveFailure::kNoFolder},
                {"/proc/melvaro-cannot-write.png", SaveFailure::kOther}};
  for (const auto& write : writes) {
    std::error_code failure;
    EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, write.to, {}, 0, 0, &failure)) << write.to;
    EXPECT_EQ(SaveFailureOf(write.to, failure), write.told) << write.to << ": " << failure;
  }
  // Reasons that only a full disk, a read-only disk or another user's folder give.
  const fs::path target = folder / "x.png";
  EXPECT_EQ(SaveFailureOf(target, std::make_error_code(std::errc::no_space_on_device)),
            SaveFailure::kDiskFull);
  EXPECT_EQ(SaveFailureOf(target, std::error_code(EDQUOT, std::generic_category())),
            SaveFailure::kDiskFull);
  EXPECT_EQ(SaveFailureOf(target, std::make_error_code(std::errc::read_only_file_system)),
            SaveFailure::kReadOnly);
  EXPECT_EQ(SaveFailureOf(target, std::make_error_code(std::errc::filename_too_long)),
            SaveFailure::kNameTooLong);
  EXPECT_EQ(SaveFailureOf(target, std::make_error_code(std::errc::permission_denied)),
            SaveFailure::kNoPermission);
  EXPECT_EQ(SaveFailureOf(target, std::make_error_code(std::errc::io_error)), SaveFailure::kOther);
  EXPECT_EQ(SaveFailureOf(target, {}), SaveFailure::kOther);
  if (::geteuid() != 0) {  // permissions do not bind root
    fs::create_directory(folder / "locked");
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    std::error_code failure;
    EXPECT_TRUE(
        WriteImageFile(pic.get(), nullptr, folder / "locked" / "x.png", {}, 0, 0, &failure));
    EXPECT_EQ(SaveFailureOf(folder / "locked" / "x.png", failure), SaveFailure::kNoPermission);
    fs::permissions(folder / "locked", fs::perms::owner_all);
  }
}

// The link stays and the file it finally names (through relative links and
// folders) gets the picture; a dangling link gets its file made; a loop of
// links is refused without making anything.
TEST(WriteImageFile, ALinkIsWrittenThroughToTheFileItFinallyNames) {
  TempFolder folder;
  ScopedPicBuf pic(9, 7, 3, 8), back, mask;
  FillPattern(pic.get(), 6);
  fs::create_directory(folder / "sub");
  WriteTextFile(folder / "real.png", "old");
  fs::create_symlink("sub/middle.png", folder / "first.png");
  fs::create_symlink("../real.png", folder / "sub" / "middle.png");
  fs::create_symlink(folder / "sub" / "made.png", folder / "dangling.png");
  fs::create_symlink("loop-b.png", folder / "loop-a.png");
  fs::create_symlink("loop-a.png", folder / "loop-b.png");

  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "first.png", {}, 0, 0));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "dangling.png", {}, 0, 0));
  EXPECT_TRUE(WriteImageFile(pic.get(), nullptr, folder / "loop-a.png", {}, 0, 0));
  for (const char* link : {"first.png", "sub/middle.png", "dangling.png", "loop-a.png"})
    EXPECT_TRUE(fs::is_symlink(folder / link)) << link;
  for (const char* file : {"real.png", "sub/made.png"}) {
    ASSERT_FALSE(LoadImageFile(back.get(), mask.get(), folder / file)) << file;
    EXPECT_TRUE(SameSamples(*back, *pic)) << file;
  }
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dangling.png", "first.png", "loop-a.png",
                                                        "loop-b.png", "real.png", "sub"}));
}

TEST(WriteImageFile, CopiesExifAndProfileOfTheSourceToTiffAndJpeg) {
  TempFolder folder;
  const FileMetadata camera = MakeCameraJpeg(folder / "source.jpg");
  ASSERT_NE(camera.model, "(none)");
  ScopedPicBuf pic, mask;
  ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(), folder / "source.jpg"));
  for (const char* name : {"out.tif", "out.jpg"}) {
    ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / name, folder / "source.jpg", 0, 90));
    EXPECT_EQ(ReadFileMetadata(folder / name), camera) << name;
  }
  // Such a TIFF opens again and hands its profile on in turn.
  ScopedPicBuf reopened;
  ASSERT_FALSE(LoadImageFile(reopened.get(), mask.get(), folder / "out.tif"));
  EXPECT_TRUE(SameSamples(*reopened, *pic));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "again.jpg", folder / "out.tif", 0, 90));
  EXPECT_EQ(ReadFileMetadata(folder / "again.jpg").profile, camera.profile);
  // Without a metadata source nothing is copied.
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "bare.tif", {}, 0, 90));
  EXPECT_EQ(ReadFileMetadata(folder / "bare.tif"), (FileMetadata{"(none)", "(none)", ""}));
}

TEST(SaveImageTo, UsesTheCallersQualityAndReportsFailuresWithoutThrowing) {
  TempFolder folder;
  ScopedPicBuf pic(16, 16, 3, 8), deep(4, 4, 3, 16);
  FillPattern(pic.get());
  FillPattern(deep.get());

  // JPEG takes the colour of a masked picture, at the given quality; below 1 means 95.
  ASSERT_FALSE(SaveImageTo(pic.get(), pic.get(), folder / "q85.jpg", 85));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "want85.jpg", {}, 0, 85));
  EXPECT_EQ(ReadWholeFile(folder / "q85.jpg"), ReadWholeFile(folder / "want85.jpg"));
  ASSERT_FALSE(SaveImageTo(pic.get(), nullptr, folder / "negative.jpg", -5));
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "want95.jpg", {}, 0, 95));
  EXPECT_EQ(ReadWholeFile(folder / "negative.jpg"), ReadWholeFile(folder / "want95.jpg"));

  EXPECT_TRUE(SaveImageTo(deep.get(), nullptr, folder / "deep.jpg", 85));  // refused, not thrown
  EXPECT_TRUE(SaveImageTo(pic.get(), nullptr, folder / "unknown.xyz", 85));
  EXPECT_FALSE(fs::exists(folder / "deep.jpg"));
  ASSERT_FALSE(SaveImageTo(deep.get(), nullptr, folder / "file_000.tif", 85));
}

TEST(SaveNames, ProposalFollowsTheOpenedFileAndItsDepth) {
  const SaveProposal jpg = ProposeSaveName("/photos/trip/image.JPG", 8);
  EXPECT_EQ(jpg.name, "image-vtx");
  EXPECT_EQ(jpg.filterIndex, kFormatJpeg);
  EXPECT_EQ(jpg.defaultExtension, ".JPG");
  EXPECT_EQ(ProposeSaveName("/a/old.scan.Bmp", 8).name, "old.scan-vtx");
  const SaveProposal jpeg = ProposeSaveName("/a/b.jpeg", 8);  // not in the list
  EXPECT_EQ(jpeg.name, "b-vtx");
  EXPECT_EQ(jpeg.filterIndex, 0);
  EXPECT_EQ(jpeg.defaultExtension, "");
  EXPECT_EQ(ProposeSaveName("", 8).name, "");
  // 16-bit results are offered TIFF and PNG only, at positions 1 and 2.
  EXPECT_EQ(ProposeSaveName("/a/x.tif", 16).filterIndex, 1);
  EXPECT_EQ(ProposeSaveName("/a/x.PNG", 16).filterIndex, 2);
  EXPECT_EQ(ProposeSaveName("/a/x.jpg", 16).filterIndex, 0);
}

TEST(SaveNames, TypedNamesTakeTheirExtensionElseTheSelectedFilters) {
  EXPECT_EQ(FormatCodeFromName("out.JPG", 8), kFormatJpeg);
  EXPECT_EQ(FormatCodeFromName("out.JPG", 16), kFormatFromName);
  EXPECT_EQ(FormatCodeFromName("out.tiff", 8), kFormatFromName);  // last four characters only
  ChosenSaveName c = ResolveChosenSaveName("/d/out", 1, 16);
  EXPECT_EQ(c.path, "/d/out.tif");
  EXPECT_EQ(c.formatCode, kFormatTiff);
  c = ResolveChosenSaveName("/d/out.Bmp", kFormatJpeg, 8);
  EXPECT_EQ(c.path, "/d/out.Bmp");
  EXPECT_EQ(c.formatCode, kFormatBmp);
  c = ResolveChosenSaveName("/d/out.jpg", 2, 16);
  EXPECT_EQ(c.path, "/d/out.jpg.png");
  EXPECT_EQ(c.formatCode, kFormatPng);
}
