#pragma once

// Capture data written byte by byte, as cameras write it: a TIFF-structured EXIF block with
// the first directory (camera, date) and the EXIF directory (exposure, dates, serial), put
// into a JPEG as its APP1 segment or into a PNG as its eXIf chunk.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageSave.h"
#include "tests/support/TestFiles.h"

namespace exif {

struct Fields {
  std::string make;
  std::string model;
  std::string serial;  // BodySerialNumber
  std::string dateTimeOriginal;
  std::string subSecOriginal;
  std::string dateTime;                                   // of the first directory
  std::optional<std::pair<uint32_t, uint32_t>> exposure;  // seconds as a fraction
  std::optional<std::pair<uint32_t, uint32_t>> fNumber;
  std::optional<uint16_t> iso;
  std::optional<std::pair<int32_t, int32_t>> bias;  // EV as a fraction
  std::string makerNote;                            // stored as it is
  bool bigEndian = false;
};

enum Type : uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };
enum : uint16_t { kSRational = 10 };

// One directory entry, its values already in the block's byte order.
struct Field {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::string value;
};

class Block {
 public:
  explicit Block(bool bigEndian) : big_(bigEndian) {}

  std::string Number(uint64_t v, int bytes) const {
    std::string s;
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (big_ ? bytes - 1 - i : i);
      s.push_back(static_cast<char>(v >> shift));
    }
    return s;
  }
  Field Ascii(uint16_t tag, const std::string& text) const {
    return {tag, kAscii, static_cast<uint32_t>(text.size() + 1), text + '\0'};
  }
  Field Short(uint16_t tag, uint16_t v) const { return {tag, kShort, 1, Number(v, 2)}; }
  Field Long(uint16_t tag, uint32_t v) const { return {tag, kLong, 1, Number(v, 4)}; }
  Field Rational(uint16_t tag, uint16_t type, uint32_t num, uint32_t den) const {
    return {tag, type, 1, Number(num, 4) + Number(den, 4)};
  }
  Field Bytes(uint16_t tag, const std::string& bytes) const {
    return {tag, kUndefined, static_cast<uint32_t>(bytes.size()), bytes};
  }

  // Bytes of a directory with its out-of-line values.
  static uint32_t DirectorySize(const std::vector<Field>& fields) {
    uint32_t size = 2 + 12 * static_cast<uint32_t>(fields.size()) + 4;
    for (const Field& f : fields)
      if (f.value.size() > 4) size += static_cast<uint32_t>((f.value.size() + 1) & ~size_t{1});
    return size;
  }
  // The directory placed at `at` (offsets from the TIFF header), its values right after it.
  std::string Directory(const std::vector<Field>& fields, uint32_t at, uint32_t next = 0) const {
    std::string table = Number(fields.size(), 2), data;
    uint32_t dataAt = at + 2 + 12 * static_cast<uint32_t>(fields.size()) + 4;
    for (const Field& f : fields) {
      table += Number(f.tag, 2) + Number(f.type, 2) + Number(f.count, 4);
      if (f.value.size() <= 4) {
        table += f.value + std::string(4 - f.value.size(), '\0');
      } else {
        table += Number(dataAt + data.size(), 4);
        data += f.value;
        if (data.size() % 2 != 0) data.push_back('\0');
      }
    }
    return table + Number(next, 4) + data;
  }
  std::string Header() const { return big_ ? std::string("MM\0*", 4) : std::string("II*\0", 4); }
  // A whole TIFF structure: the first directory and, when given, the EXIF directory it links.
  std::string Tiff(std::vector<Field> first, const std::vector<Field>& exifFields) const {
    if (!exifFields.empty()) {
      first.push_back(Long(0x8769, 0));
      const uint32_t exifAt = 8 + DirectorySize(first);
      first.back().value = Number(exifAt, 4);
      return Header() + Number(8, 4) + Directory(first, 8) + Directory(exifFields, exifAt);
    }
    return Header() + Number(8, 4) + Directory(first, 8);
  }

 private:
  bool big_;
};

inline std::string TiffBlock(const Fields& f) {
  const Block b(f.bigEndian);
  std::vector<Field> first, exifFields;
  if (!f.make.empty()) first.push_back(b.Ascii(0x010f, f.make));
  if (!f.model.empty()) first.push_back(b.Ascii(0x0110, f.model));
  if (!f.dateTime.empty()) first.push_back(b.Ascii(0x0132, f.dateTime));
  if (f.exposure)
    exifFields.push_back(b.Rational(0x829a, kRational, f.exposure->first, f.exposure->second));
  if (f.fNumber)
    exifFields.push_back(b.Rational(0x829d, kRational, f.fNumber->first, f.fNumber->second));
  if (f.iso) exifFields.push_back(b.Short(0x8827, *f.iso));
  if (!f.dateTimeOriginal.empty()) exifFields.push_back(b.Ascii(0x9003, f.dateTimeOriginal));
  if (f.bias)
    exifFields.push_back(b.Rational(0x9204, kSRational, static_cast<uint32_t>(f.bias->first),
                                    static_cast<uint32_t>(f.bias->second)));
  if (!f.makerNote.empty()) exifFields.push_back(b.Bytes(0x927c, f.makerNote));
  if (!f.subSecOriginal.empty()) exifFields.push_back(b.Ascii(0x9291, f.subSecOriginal));
  if (!f.serial.empty()) exifFields.push_back(b.Ascii(0xa431, f.serial));
  return b.Tiff(first, exifFields);
}

// A Canon maker note: a plain directory holding the body's serial as a number.
inline std::string CanonMakerNote(uint32_t serial, bool bigEndian = false) {
  const Block b(bigEndian);
  return b.Directory({b.Long(0x0001, 7), b.Long(0x000c, serial)}, 0);
}

// A Nikon maker note: "Nikon", a version, then a TIFF structure of its own (which may use the
// other byte order) holding the serial as text.
inline std::string NikonMakerNote(const std::string& serial, bool bigEndian = true) {
  const Block b(bigEndian);
  return std::string("Nikon\0\x02\x10\0\0", 10) + b.Tiff({b.Ascii(0x001d, serial)}, {});
}

// The JPEG with its EXIF segments replaced by one holding `tiff`, right after the start.
inline std::string JpegWithExifBlock(const std::string& jpeg, const std::string& tiff) {
  if (jpeg.size() < 4 || static_cast<uint8_t>(jpeg[0]) != 0xFF ||
      static_cast<uint8_t>(jpeg[1]) != 0xD8)
    throw std::runtime_error("not a JPEG");
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  std::string out = jpeg.substr(0, 2) + "\xFF\xE1";
  out.push_back(static_cast<char>((payload.size() + 2) >> 8));
  out.push_back(static_cast<char>(payload.size() + 2));
  out += payload;
  size_t at = 2;
  while (at + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[at]) == 0xFF &&
         static_cast<uint8_t>(jpeg[at + 1]) != 0xDA) {
    const size_t length =
        static_cast<uint8_t>(jpeg[at + 2]) << 8 | static_cast<uint8_t>(jpeg[at + 3]);
    const bool exifSegment = static_cast<uint8_t>(jpeg[at + 1]) == 0xE1 &&
                             jpeg.compare(at + 4, 6, std::string("Exif\0\0", 6)) == 0;
    if (!exifSegment) out += jpeg.substr(at, 2 + length);
    at += 2 + length;
  }
  return out + jpeg.substr(at);
}

inline std::string JpegWithExif(const std::string& jpeg, const Fields& fields) {
  return JpegWithExifBlock(jpeg, TiffBlock(fields));
}

// A small real JPEG of width x height without capture data (empty when it cannot be written).
inline std::string PlainJpeg(const TempFolder& folder, int width = 40, int height = 30) {
  ScopedPicBuf pic(width, height, 3, 8);
  FillPattern(pic.get());
  const std::filesystem::path path = folder / "plain.jpg";
  if (WriteImageFile(pic.get(), nullptr, path, {}, 0, 90)) return {};
  std::string bytes = ReadWholeFile(path);
  std::filesystem::remove(path);
  return bytes;
}

// Copies a JPEG with the given capture data in place of its own.
inline void CopyJpegWithExif(const std::filesystem::path& from, const std::filesystem::path& to,
                             const Fields& fields) {
  WriteTextFile(to, JpegWithExif(ReadWholeFile(from), fields));
}

// "2024:05:01 10:00:00" plus `seconds` (under a day), in the EXIF form.
inline std::string ExifTime(int seconds, const std::string& day = "2024:05:01") {
  char text[32];
  std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", day.c_str(), 10 + seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return text;
}

}  // namespace exif
