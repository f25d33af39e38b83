// Capture data read from headers alone: every field from JPEG, TIFF and PNG in both byte
// orders, agreement with the image library on a real camera file, and files that claim what
// they do not hold.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "picture/CBxPicBufAPI.h"
#include "picture/CaptureData.h"
#include "picture/ImageSave.h"
#include "tests/support/ExifWriter.h"
#include "tests/support/FreeImageCapture.h"
#include "tests/support/HostileFiles.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCameraJpeg = fs::path(MELVARO_SAMPLES_DIR) / "bracketed/stlouis/stlouis0.jpg";

exif::Fields FullFields(bool bigEndian) {
  exif::Fields f;
  f.make = "Maker Co";
  f.model = "Body 7";
  f.serial = "0042137";
  f.dateTimeOriginal = "2024:05:01 10:20:30";
  f.subSecOriginal = "25";
  f.dateTime = "2024:06:02 11:00:00";  // edited later: not the capture time
  f.exposure = {{1, 250}};
  f.fNumber = {{56, 10}};
  f.iso = 400;
  f.bias = {{-2, 3}};
  f.bigEndian = bigEndian;
  return f;
}

CaptureData FromBytes(const std::string& bytes, bool* failed = nullptr) {
  CaptureData data;
  const bool failure = ReadCaptureData(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), &data);
  if (failed != nullptr) *failed = failure;
  return data;
}

void ExpectFullFields(const CaptureData& d) {
  EXPECT_EQ(d.make, "Maker Co");
  EXPECT_EQ(d.model, "Body 7");
  EXPECT_EQ(d.serial, "0042137");
  ASSERT_TRUE(d.timeMicroseconds);
  EXPECT_EQ(FormatCaptureTime(*d.timeMicroseconds), "2024-05-01 10:20:30.25");
  ASSERT_TRUE(d.exposureSeconds && d.fNumber && d.iso && d.exposureBias);
  // Within what a TIFF's rationals keep: its writer holds them in single precision.
  EXPECT_NEAR(*d.exposureSeconds, 0.004, 1e-9);
  EXPECT_NEAR(*d.fNumber, 5.6, 1e-6);
  EXPECT_EQ(*d.iso, 400u);
  EXPECT_NEAR(*d.exposureBias, -2.0 / 3.0, 1e-7);
}

}  // namespace

TEST(CaptureData, JpegGivesEveryFieldInBothByteOrdersAndTheFrameSize) {
  TempFolder folder;
  const std::string plain = exif::PlainJpeg(folder, 40, 30);
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const fs::path path = folder / "shot.jpg";
    WriteTextFile(path, exif::JpegWithExif(plain, FullFields(big)));
    CaptureData d;
    ASSERT_FALSE(ReadCaptureData(path, &d));
    ExpectFullFields(d);
    EXPECT_EQ(d.width, 40u);
    EXPECT_EQ(d.height, 30u);
    EXPECT_EQ(d.bitsPerComponent, 8u);
  }
}

TEST(CaptureData, AgreesWithTheImageLibraryOnARealCameraFile) {
  CaptureData own, library;
  ASSERT_FALSE(ReadCaptureData(kCameraJpeg, &own));
  ASSERT_FALSE(freeimage_capture::Read(kCameraJpeg, &library));
  EXPECT_EQ(own.make, library.make);
  EXPECT_EQ(own.model, library.model);
  EXPECT_EQ(own.timeMicroseconds, library.timeMicroseconds);
  EXPECT_EQ(own.exposureSeconds, library.exposureSeconds);
  EXPECT_EQ(own.fNumber, library.fNumber);
  EXPECT_EQ(own.iso, library.iso);
  EXPECT_EQ(own.exposureBias, library.exposureBias);
  EXPECT_EQ(own.width, library.width);
  EXPECT_EQ(own.height, library.height);
  // What the sample's notes say of it: 1/30 s at f/2.7, 2008-05-31 (its ISO is kept in the
  // maker's own note only).
  EXPECT_EQ(own.model, "Canon PowerShot S3 IS");
  ASSERT_TRUE(own.timeMicroseconds && own.exposureSeconds && own.fNumber);
  EXPECT_EQ(FormatCaptureTime(*own.timeMicroseconds).substr(0, 10), "2008-05-31");
  EXPECT_NEAR(*own.exposureSeconds, 1.0 / 30, 1e-9);
  EXPECT_NEAR(*own.fNumber, 2.7, 1e-9);
  EXPECT_EQ(own.width, 1408u);
}

TEST(CaptureData, TiffWrittenFromACameraJpegCarriesItsCaptureData) {
  TempFolder folder;
  const fs::path jpeg = folder / "shot.jpg";
  WriteTextFile(jpeg, exif::JpegWithExif(exif::PlainJpeg(folder, 40, 30), FullFields(false)));
  ScopedPicBuf pic(40, 30, 3, 16);
  FillPattern(pic.get());
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "shot.tif", jpeg, 0, 0));
  CaptureData d;
  ASSERT_FALSE(ReadCaptureData(folder / "shot.tif", &d));
  ExpectFullFields(d);
  EXPECT_EQ(d.width, 40u);
  EXPECT_EQ(d.height, 30u);
  EXPECT_EQ(d.bitsPerComponent, 16u);
}

TEST(CaptureData, PngGivesItsHeaderAndTheEXifChunkWhereverItLies) {
  TempFolder folder;
  ScopedPicBuf pic(21, 13, 3, 16);
  FillPattern(pic.get());
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "a.png", {}, 0, 0));
  const std::string png = ReadWholeFile(folder / "a.png");
  const size_t iend = png.size() - 12;
  for (size_t at : {size_t{33}, iend}) {  // after IHDR, or after the picture data
    std::string chunk;
    // Some writers keep the JPEG segment's signature in front.
    const std::string prefix = at == iend ? std::string("Exif\0\0", 6) : std::string();
    hostile::PutPngChunk(&chunk, "eXIf", prefix + exif::TiffBlock(FullFields(true)));
    const CaptureData d = FromBytes(png.substr(0, at) + chunk + png.substr(at));
    ExpectFullFields(d);
    EXPECT_EQ(d.width, 21u);
    EXPECT_EQ(d.height, 13u);
    EXPECT_EQ(d.bitsPerComponent, 16u);
  }
}

TEST(CaptureData, FilesWithoutCaptureDataSaySoAndOtherFilesAreRefused) {
  TempFolder folder;
  bool failed = true;
  const CaptureData plain = FromBytes(exif::PlainJpeg(folder, 40, 30), &failed);
  EXPECT_FALSE(failed);
  EXPECT_FALSE(plain.HasTime());
  EXPECT_FALSE(plain.exposureSeconds || plain.fNumber || plain.iso || plain.exposureBias);
  EXPECT_TRUE(plain.make.empty() && plain.model.empty() && plain.serial.empty());
  EXPECT_EQ(plain.width, 40u);

  ScopedPicBuf pic(8, 8, 3, 8);
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, folder / "a.bmp", {}, 0, 0));
  CaptureData d;
  EXPECT_TRUE(ReadCaptureData(folder / "a.bmp", &d));
  EXPECT_TRUE(ReadCaptureData(folder / "missing.jpg", &d));
  EXPECT_TRUE(ReadCaptureData(folder.path(), &d));
  WriteTextFile(folder / "empty.jpg", "");
  EXPECT_TRUE(ReadCaptureData(folder / "empty.jpg", &d));
  // A named pipe nobody writes to is refused at once, not waited on.
  ASSERT_EQ(::mkfifo((folder / "pipe.jpg").c_str(), 0600), 0);
  EXPECT_TRUE(ReadCaptureData(folder / "pipe.jpg", &d));
}

TEST(CaptureData, SerialComesFromTheBodyFieldElseFromACanonOrNikonMakerNote) {
  TempFolder folder;
  const std::string plain = exif::PlainJpeg(folder);
  exif::Fields f = FullFields(false);
  f.serial.clear();
  f.make = "Canon";
  f.makerNote = exif::CanonMakerNote(1234567);
  EXPECT_EQ(FromBytes(exif::JpegWithExif(plain, f)).serial, "1234567");
  f.bigEndian = true;
  f.makerNote = exif::CanonMakerNote(1234567, true);
  EXPECT_EQ(FromBytes(exif::JpegWithExif(plain, f)).serial, "1234567");

  f.make = "NIKON CORPORATION";
  f.bigEndian = false;
  f.makerNote = exif::NikonMakerNote("3012345");  // its own structure is big-endian
  EXPECT_EQ(FromBytes(exif::JpegWithExif(plain, f)).serial, "3012345");
  f.serial = "body";
  EXPECT_EQ(FromBytes(exif::JpegWithExif(plain, f)).serial, "body");
  // A note of another maker is not read as one of these.
  f.serial.clear();
  f.make = "Other";
  EXPECT_EQ(FromBytes(exif::JpegWithExif(plain, f)).serial, "");
}

TEST(CaptureData, FallbacksAndValuesNoCameraWrites) {
  TempFolder folder;
  const std::string plain = exif::PlainJpeg(folder);
  const exif::Block b(false);
  // DateTime with SubSecTime when there is no DateTimeOriginal; the APEX exposure and
  // aperture when the plain ones are missing; ISOSpeed when the short field says "higher".
  std::string tiff = b.Tiff(
      {b.Ascii(0x0132, "2023:12:31 23:59:59")},
      {b.Ascii(0x9290, "5"), b.Rational(0x9201, exif::kSRational, 5, 1),
       b.Rational(0x9202, exif::kRational, 4, 1), b.Short(0x8827, 65535), b.Long(0x8833, 102400)});
  CaptureData d = FromBytes(exif::JpegWithExifBlock(plain, tiff));
  ASSERT_TRUE(d.timeMicroseconds && d.exposureSeconds && d.fNumber && d.iso);
  EXPECT_EQ(FormatCaptureTime(*d.timeMicroseconds), "2023-12-31 23:59:59.5");
  EXPECT_DOUBLE_EQ(*d.exposureSeconds, 1.0 / 32);
  EXPECT_DOUBLE_EQ(*d.fNumber, 4.0);
  EXPECT_EQ(*d.iso, 102400u);

  tiff =
      b.Tiff({b.Ascii(0x0132, "    :  :     :  :  ")},
             {b.Rational(0x829a, exif::kRational, 1, 0), b.Rational(0x829d, exif::kRational, 0, 1),
              b.Rational(0x9204, exif::kSRational, 1000, 1), b.Short(0x8827, 0)});
  d = FromBytes(exif::JpegWithExifBlock(plain, tiff));
  EXPECT_FALSE(d.timeMicroseconds || d.exposureSeconds || d.fNumber || d.exposureBias || d.iso);
}

TEST(CaptureData, ExifTimesAreReadAsTheCameraWroteThemOrNotAtAll) {
  const struct {
    const char* dateTime;
    const char* subSeconds;
    const char* expected;  // nullptr: no time
  } cases[] = {
      {"2024:05:01 10:20:30", "", "2024-05-01 10:20:30"},
      {"2024:05:01 10:20:30", "007", "2024-05-01 10:20:30.007"},
      {"2024:05:01 10:20:30", " 25", "2024-05-01 10:20:30.25"},
      {"2024:05:01 10:20:30", "1234567", "2024-05-01 10:20:30.123456"},
      {"2024-05-01T10:20:30", "", "2024-05-01 10:20:30"},
      {"2024:02:29 00:00:00", "", "2024-02-29 00:00:00"},
      {"1970:01:01 00:00:00", "5", "1970-01-01 00:00:00.5"},
      {"1969:12:31 23:59:59", "", "1969-12-31 23:59:59"},
      {"2023:02:29 00:00:00", "", nullptr},
      {"2024:13:01 00:00:00", "", nullptr},
      {"2024:05:01 24:00:00", "", nullptr},
      {"0000:00:00 00:00:00", "", nullptr},
      {"    :  :     :  :  ", "", nullptr},
      {"2024:05:01", "", nullptr},
      {"2024/05/01 10:20:30", "", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<int64_t> t = ParseExifTime(c.dateTime, c.subSeconds);
    ASSERT_EQ(t.has_value(), c.expected != nullptr) << c.dateTime;
    if (t) {
      EXPECT_EQ(FormatCaptureTime(*t), c.expected) << c.dateTime << " " << c.subSeconds;
    }
  }
  const int64_t a = *ParseExifTime("2024:05:01 10:20:30", "");
  EXPECT_EQ(*ParseExifTime("2024:05:01 10:21:00", "") - a, 30'000'000);
  EXPECT_EQ(*ParseExifTime("2024:05:02 10:20:30", "") - a, int64_t{86400} * 1'000'000);
}

TEST(CaptureData, HeaderBeyondTheFirstBlockOfTheFileIsReadToo) {
  TempFolder folder;
  const std::string plain = exif::PlainJpeg(folder, 40, 30);
  // Two application segments of 60000 bytes in front of the EXIF and the frame header.
  std::string filler = "\xFF\xE2";
  filler.push_back(static_cast<char>(60000 >> 8));
  filler.push_back(static_cast<char>(60000 & 0xFF));
  filler += std::string(59998, 'x');
  const std::string withExif = exif::JpegWithExif(plain, FullFields(false));
  const std::string far = withExif.substr(0, 2) + filler + filler + withExif.substr(2);
  WriteTextFile(folder / "far.jpg", far);
  CaptureData d;
  ASSERT_FALSE(ReadCaptureData(folder / "far.jpg", &d));
  ExpectFullFields(d);
  EXPECT_EQ(d.width, 40u);
}
