// Capture data from files cut short or damaged: the reader stays inside the bytes (the address
// sanitizer watches every read of these runs), and a cut file never gives a value that its
// whole file does not hold.
#include <gtest/gtest.h>

#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/CaptureData.h"
#include "picture/ImageSave.h"
#include "tests/support/ExifWriter.h"
#include "tests/support/HostileFiles.h"

namespace fs = std::filesystem;

namespace {

// Parses exactly these bytes from a buffer of their own size, so that a read past the end is
// a read past an allocation.
CaptureData Parse(const std::string& bytes, size_t length) {
  const std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
  CaptureData d;
  ReadCaptureData(exact, &d);
  return d;
}

std::string SmallJpeg(const TempFolder& folder) {
  return exif::PlainJpeg(folder, 24, 16);
}

exif::Fields Fields(bool big) {
  exif::Fields f;
  f.make = "NIKON CORPORATION";
  f.model = "Body";
  f.dateTimeOriginal = "2024:05:01 10:20:30";
  f.subSecOriginal = "50";
  f.exposure = {{1, 60}};
  f.fNumber = {{8, 1}};
  f.iso = 100;
  f.bias = {{2, 1}};
  f.makerNote = exif::NikonMakerNote("77", !big);
  f.bigEndian = big;
  return f;
}

// The files the cases start from: JPEGs in both byte orders, a PNG with eXIf and a bare TIFF
// structure read as a TIFF file.
std::vector<std::pair<std::string, std::string>> Originals(const TempFolder& folder) {
  const std::string jpeg = SmallJpeg(folder);
  std::string png("\x89PNG\r\n\x1a\n", 8), header;
  hostile::PutBig(&header, 24, 4);
  hostile::PutBig(&header, 16, 4);
  header += std::string("\x08\x02\x00\x00\x00", 5);
  hostile::PutPngChunk(&png, "IHDR", header);
  hostile::PutPngChunk(&png, "eXIf", exif::TiffBlock(Fields(true)));
  hostile::PutPngChunk(&png, "IEND", "");
  return {{"jpeg little-endian", exif::JpegWithExif(jpeg, Fields(false))},
          {"jpeg big-endian", exif::JpegWithExif(jpeg, Fields(true))},
          {"png", png},
          {"tiff", exif::TiffBlock(Fields(false))}};
}

// A value of the cut file is missing or the whole file's.
template <typename T>
void ExpectMissingOrSame(const T& cut, const T& whole, const std::string& what) {
  if constexpr (std::is_same_v<T, std::string>)
    EXPECT_TRUE(cut.empty() || cut == whole) << what;
  else
    EXPECT_TRUE(!cut || cut == whole) << what;
}

}  // namespace

TEST(CaptureDataHostile, EveryCutOfAFileGivesOnlyValuesOfTheWholeFile) {
  TempFolder folder;
  for (const auto& [name, bytes] : Originals(folder)) {
    const CaptureData whole = Parse(bytes, bytes.size());
    ASSERT_TRUE(whole.HasTime()) << name;
    ASSERT_EQ(whole.serial, "77") << name;
    for (size_t length = 0; length < bytes.size(); ++length) {
      const CaptureData cut = Parse(bytes, length);
      const std::string what = name + " cut at " + std::to_string(length);
      ExpectMissingOrSame(cut.timeMicroseconds, whole.timeMicroseconds, what);
      ExpectMissingOrSame(cut.exposureSeconds, whole.exposureSeconds, what);
      ExpectMissingOrSame(cut.fNumber, whole.fNumber, what);
      ExpectMissingOrSame(cut.iso, whole.iso, what);
      ExpectMissingOrSame(cut.exposureBias, whole.exposureBias, what);
      ExpectMissingOrSame(cut.make, whole.make, what);
      ExpectMissingOrSame(cut.model, whole.model, what);
      ExpectMissingOrSame(cut.serial, whole.serial, what);
      EXPECT_TRUE(cut.width == 0 || cut.width == whole.width) << what;
    }
  }
}

TEST(CaptureDataHostile, EveryHeaderByteDamagedInFiveWaysIsReadWithoutHarm) {
  TempFolder folder;
  int parsed = 0;
  for (const auto& [name, original] : Originals(folder)) {
    const size_t header = std::min<size_t>(original.size(), 420);
    for (size_t at = 0; at < header; ++at) {
      const auto b = static_cast<uint8_t>(original[at]);
      for (uint8_t value :
           {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x80}, uint8_t(b ^ 1u), uint8_t(b + 0x40u)}) {
        std::string damaged = original;
        damaged[at] = static_cast<char>(value);
        const CaptureData d = Parse(damaged, damaged.size());
        if (d.exposureBias) {
          EXPECT_LE(std::abs(*d.exposureBias), 64.0);
        }
        ++parsed;
      }
    }
  }
  EXPECT_GT(parsed, 5000);
}

TEST(CaptureDataHostile, HeadersThatPointEverywhereAreRefusedQuietly) {
  TempFolder folder;
  const std::string jpeg = SmallJpeg(folder);
  const exif::Block b(false);
  const auto entry = [&b](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    return exif::Field{tag, type, count, b.Number(value, 4)};
  };
  const std::string huge(1, '\0');
  const struct {
    const char* what;
    std::string tiff;
  } cases[] = {
      {"directory claiming 65535 entries", b.Header() + b.Number(8, 4) + b.Number(0xFFFF, 2)},
      {"first directory past the end", b.Header() + b.Number(0xFFFFFFF0u, 4)},
      {"rational values at the end of the address range",
       b.Tiff({}, {entry(0x829a, exif::kRational, 0xFFFFFFFFu, 0xFFFFFFF8u)})},
      {"text of four billion characters",
       b.Tiff({entry(0x010f, exif::kAscii, 0xFFFFFFFFu, 8)}, {})},
      {"EXIF directory past the end", b.Tiff({entry(0x8769, exif::kLong, 1, 0xFFFFFFFFu)}, {})},
      {"EXIF directory is the first one", b.Tiff({entry(0x8769, exif::kLong, 1, 8)}, {})},
      {"maker note past the end",
       b.Tiff({b.Ascii(0x010f, "Canon")}, {entry(0x927c, exif::kUndefined, 100, 0xFFFFFF00u)})},
      {"Nikon note whose own structure lies past the end",
       b.Tiff({b.Ascii(0x010f, "NIKON")},
              {b.Bytes(0x927c, std::string("Nikon\0\x02\x10\0\0MM\0*\xff\xff\xff\x00", 18) +
                                   std::string(4, '\0'))})},
      {"unknown field types", b.Tiff({entry(0x010f, 99, 1, 0)}, {entry(0x829a, 0, 1, 0)})},
  };
  for (const auto& c : cases) {
    const CaptureData d =
        Parse(exif::JpegWithExifBlock(jpeg, c.tiff), exif::JpegWithExifBlock(jpeg, c.tiff).size());
    EXPECT_FALSE(d.HasTime() || d.exposureSeconds) << c.what;
    EXPECT_EQ(d.make.size() < 200, true) << c.what;
    EXPECT_EQ(d.width, 24u) << c.what;  // the frame header is read all the same
  }

  // Containers that lie about their own parts.
  std::string endlessFill = jpeg.substr(0, 2) + std::string(200000, '\xFF');
  std::string shortApp1 = jpeg.substr(0, 2) + std::string("\xFF\xE1\x00\x02", 4) + jpeg.substr(2);
  std::string longApp1 = jpeg.substr(0, 2) + std::string("\xFF\xE1\xFF\xFF", 4) + "Exif";
  std::string png("\x89PNG\r\n\x1a\n", 8);
  hostile::PutBig(&png, 0x7FFFFFF0u, 4);
  png += "eXIf";
  std::string pngHuge("\x89PNG\r\n\x1a\n", 8);
  hostile::PutBig(&pngHuge, 5 * 1024 * 1024, 4);
  pngHuge += "eXIf" + std::string(64, 'x');
  for (const std::string& bytes : {endlessFill, shortApp1, longApp1, png, pngHuge}) {
    const CaptureData d = Parse(bytes, bytes.size());
    EXPECT_FALSE(d.HasTime());
  }
}

TEST(CaptureDataHostile, FilesCutBeyondTheirFirstBlockAreReadSafelyFromDisk) {
  TempFolder folder;
  const std::string plain = SmallJpeg(folder);
  std::string filler = "\xFF\xE2";
  filler.push_back(static_cast<char>(0xEA));
  filler.push_back(static_cast<char>(0x60));  // 60000 bytes
  filler += std::string(59998, 'x');
  const std::string withExif = exif::JpegWithExif(plain, Fields(false));
  const std::string far = withExif.substr(0, 2) + filler + filler + withExif.substr(2);
  const size_t exifAt = 2 + 2 * filler.size();
  const size_t exifEnd =
      exifAt + 2 +
      (static_cast<uint8_t>(far[exifAt + 2]) << 8 | static_cast<uint8_t>(far[exifAt + 3]));
  for (size_t length : {size_t{65535}, size_t{65536}, size_t{65537}, exifAt, exifAt + 3,
                        exifEnd - 1, exifEnd, far.size() - 1}) {
    WriteTextFile(folder / "cut.jpg", far.substr(0, length));
    CaptureData d;
    EXPECT_FALSE(ReadCaptureData(folder / "cut.jpg", &d)) << length;
    // The directories are read where they lie: whole, they give the time even when the
    // segment's end is cut off.
    EXPECT_TRUE(length < exifEnd || d.HasTime()) << length;
    EXPECT_TRUE(length > exifAt + 10 || !d.HasTime()) << length;
  }
}
