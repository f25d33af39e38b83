// Files a hostile user would hand the loader: headers claiming pictures that
// cannot be real, files cut short, and the inputs the fuzzer found harmful.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "picture/PictureHeader.h"
#include "tests/support/HostileFiles.h"

namespace fs = std::filesystem;
using namespace hostile;

// Under the address sanitizer a failed huge allocation returns null, as it
// does in the program, instead of stopping the tests: some decoders ask for
// terabytes on a header's word and cope with the refusal.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

// The loader's answer for a file: empty when it loaded, else its reason (or
// "unsupported"). A refusal must leave the caller's picture alone.
std::string LoadAnswer(const fs::path& path) {
  ScopedPicBuf pic(2, 2, 1, 8), mask;
  const uint8_t* before = pic->pixels;
  std::string reason;
  if (!LoadImageFile(pic.get(), mask.get(), path, &reason)) return {};
  EXPECT_EQ(pic->pixels, before) << path;
  return reason.empty() ? "unsupported" : reason;
}

std::string WriteBytes(const TempFolder& folder, const std::string& name,
                       const std::string& bytes) {
  WriteTextFile(folder / name, bytes);
  return (folder / name).string();
}

}  // namespace

TEST(PictureHeader, RealFilesClaimTheirOwnSizeAndPass) {
  TempFolder folder;
  for (const char* name : {"a.png", "a.tif", "a.bmp", "a.jpg", "deep.png", "deep.tif"}) {
    const bool deep = std::string(name).starts_with("deep");
    ScopedPicBuf pic(37, 11, 3, deep ? 16 : 8), mask(37, 11, 1, deep ? 16 : 8);
    FillPattern(pic.get());
    ASSERT_FALSE(WriteImageFile(pic.get(), mask.get(), folder / name, {}, 0, 0));
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType((folder / name).c_str(), 0);
    PictureClaim claim;
    ASSERT_TRUE(ReadPictureClaim(folder / name, format, &claim)) << name;
    EXPECT_EQ(claim.width, 37u) << name;
    EXPECT_EQ(claim.height, 11u) << name;
    EXPECT_LE(claim.minFileBytes, claim.fileBytes) << name;
    EXPECT_EQ(RefusalFromHeader(folder / name, format), "") << name;
  }
}

TEST(PictureHeader, RefusalNamesTheClaimedSizeAndTheLimitItBreaks) {
  constexpr uint64_t kGB = 1'000'000'000;
  struct Case {
    PictureClaim claim;
    uint64_t machine;
    const char* refusal;  // "" when it passes
  } cases[] = {
      {{31622, 31622, 8, 0, 100}, 24 * kGB, ""},  // just under 1000 megapixels
      {{31623, 31623, 8, 0, 100},
       24 * kGB,
       "claims 31623 x 31623 pixels, more than the limit of 1000 megapixels"},
      {{5'000'000'000, 1, 8, 0, 100},
       24 * kGB,
       "claims 5000000000 x 1 pixels, more than the limit of 1000 megapixels"},
      {{1000, 1000, 24, 3'000'000, 3'000'000}, 24 * kGB, ""},
      {{1000, 1000, 24, 3'000'001, 3'000'000},
       24 * kGB,
       "claims 1000 x 1000 pixels, which need at least 3000001 bytes, but the file has only "
       "3000000: it is truncated or damaged"},
      {{20000, 20000, 8, 0, 100},
       kGB / 2,
       "claims 20000 x 20000 pixels, which need about 0.8 GB of memory, more than this machine's "
       "0.5 GB"},
      {{20000, 20000, 64, 0, 100},
       6 * kGB,
       "claims 20000 x 20000 pixels, which need about 6.4 GB of memory, more than this machine's "
       "6.0 GB"},
      {{0, 30000, 8, 0, 100}, 24 * kGB, ""},  // the decoder's to refuse
  };
  for (const Case& c : cases)
    EXPECT_EQ(RefusalOf(c.claim, c.machine), c.refusal) << c.claim.width << "x" << c.claim.height;
}

// The files of a hostile test: each would have made the decoder allocate
// gigabytes before it found the data missing.
TEST(LoadImageFile, HeaderBombsAreRefusedFromTheirHeaderNamingTheClaimedSize) {
  TempFolder folder;
  const struct {
    std::string file;
    const char* says;
  } cases[] = {
      {WriteBytes(folder, "bomb.png", PngClaiming(30000, 30000)),
       "claims 30000 x 30000 pixels, which need at least 6976774 bytes, but the file has only 69"},
      {WriteBytes(folder, "bomb.bmp", BmpClaiming(30000, 30000, 310)),
       "claims 30000 x 30000 pixels, which need at least 2700000054 bytes, but the file has "
       "only 310"},
      {WriteBytes(folder, "topdown.bmp", BmpClaiming(30000, -30000, 310)),
       "claims 30000 x 30000 pixels, which need at least"},
      {WriteBytes(folder, "rle32.bmp", RleBmpClaiming32BitPixels()),
       "its header names run-length coding for pixels of another depth"},
      {WriteBytes(folder, "bomb.tif", TiffClaiming(65000, 65000, 1, "", 408)),
       "claims 65000 x 65000 pixels, more than the limit of 1000 megapixels"},
      {WriteBytes(folder, "deflate.tif", TiffClaiming(30000, 30000, 8, "x", 408)),
       "claims 30000 x 30000 pixels, which need at least 872094 bytes, but the file has only 408"},
      {WriteBytes(folder, "bomb.jpg", JpegClaiming(folder, 30000, 30000)),
       "claims 30000 x 30000 pixels, which need at least 2636719 bytes"},
      {WriteBytes(folder, "progressive.jpg", JpegClaiming(folder, 30000, 30000, true)),
       "claims 30000 x 30000 pixels, which need at least 2636719 bytes"},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(LoadAnswer(c.file).starts_with(c.says)) << c.file << ": " << LoadAnswer(c.file);
}

// Each file whole loads; cut short, it is refused as truncated instead of
// coming back with rows the decoder made up.
TEST(LoadImageFile, TruncatedFilesAreRefusedNotCompletedWithInventedRows) {
  TempFolder folder;
  ScopedPicBuf pic(40, 30, 3, 8), grey(40, 30, 1, 8);
  FillPattern(pic.get());
  FillPattern(grey.get());
  std::vector<std::pair<std::string, double>> wholes;  // file and where to cut it
  for (const char* name : {"a.bmp", "grey.bmp", "a.jpg", "a.png"}) {
    ASSERT_FALSE(WriteImageFile(std::string(name).starts_with("grey") ? grey.get() : pic.get(),
                                nullptr, folder / name, {}, 0, 0));
    wholes.emplace_back((folder / name).string(), 0.4);
  }
  wholes.emplace_back(WriteBytes(folder, "progressive.jpg", JpegClaiming(folder, 32, 32, true)),
                      0.6);
  std::string raw(40 * 30, '\0');
  for (size_t i = 0; i < raw.size(); ++i)
    raw[i] = static_cast<char>(i * 13);
  wholes.emplace_back(WriteBytes(folder, "strip.tif", TiffClaiming(40, 30, 1, raw)), 0.6);
  wholes.emplace_back(
      WriteBytes(folder, "deflate.tif", TiffClaiming(40, 30, 8, DeflatedGreyStrip(40, 30))), 0.6);
  std::string topDown = BmpClaiming(40, -30, 54 + 120 * 30);
  wholes.emplace_back(WriteBytes(folder, "topdown.bmp", topDown), 0.4);

  for (const auto& [whole, keep] : wholes) {
    EXPECT_EQ(LoadAnswer(whole), "") << whole;
    const std::string bytes = ReadWholeFile(whole);
    const std::string cut =
        WriteBytes(folder, "cut-" + fs::path(whole).filename().string(),
                   bytes.substr(0, static_cast<size_t>(static_cast<double>(bytes.size()) * keep)));
    const std::string answer = LoadAnswer(cut);
    EXPECT_NE(answer.find("truncated"), std::string::npos) << cut << ": " << answer;
  }
}

// Decoders are watched per thread: a damaged file on one thread never makes
// a whole one on another look damaged, nor the other way round.
TEST(LoadImageFile, DamageIsToldApartBetweenThreadsLoadingAtOnce) {
  TempFolder folder;
  const std::string whole = WriteBytes(folder, "whole.jpg", JpegClaiming(folder, 32, 32, true));
  const std::string cut = WriteBytes(folder, "cut.jpg", ReadWholeFile(whole).substr(0, 400));
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        const bool damaged = (i + t) % 2 == 1;
        ScopedPicBuf pic, mask;
        if (LoadImageFile(pic.get(), mask.get(), damaged ? cut : whole) != damaged) ++wrong[t];
      }
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// Inputs the fuzzer and its seeds' mutations found: a tiled RGB TIFF whose
// header says two samples (the decoder overran its bitmap and corrupted the
// heap), TIFFs of separate planes of 4-bit samples or of fewer samples than
// their colour model (the decoder asserted and the program aborted), icon files
// whose directory asks for terabytes, and 20 bytes that pass for a Targa image
// claiming gigabytes. Each is refused, and nothing else happens (the asan
// preset sees to that).
TEST(LoadImageFile, InputsTheFuzzerFoundHarmfulAreRefused) {
  int files = 0;
  for (const auto& entry : fs::directory_iterator(MELVARO_PICTURE_TEST_DATA)) {
    ++files;
    EXPECT_NE(LoadAnswer(entry.path()), "") << entry.path();
  }
  EXPECT_GE(files, 6);
}

// What the TIFF checks above must not refuse: a whole picture stored as
// separate planes.
TEST(LoadImageFile, SeparatePlanesOfWholeBytesStillLoad) {
  TempFolder folder;
  ScopedPicBuf pic, mask;
  ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(),
                             WriteBytes(folder, "planes.tif", SeparatePlanesTiff(13, 7))));
  ASSERT_EQ(pic->components, 3u);
  for (uint32_t c = 0; c < 3; ++c)  // pictures hold blue first
    EXPECT_EQ(SampleAt(*pic, 12, 6, 2 - c), (12u * 20 + 6 * 3 + c * 50) % 256) << c;
}
