// The TIFF directories that hold a picture's capture data: the first directory (camera,
// date, and for TIFF files the picture's size), the EXIF directory it links to (exposure,
// dates with their fractions, serial number) and the simple maker notes that hold a serial.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "picture/ExifFields.h"

namespace capture {

bool MemorySource::Read(uint64_t offset, void* out, size_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  if (count > 0) std::memcpy(out, bytes_.data() + offset, count);
  return true;
}

namespace {

enum Tag : uint16_t {
  kImageWidth = 0x0100,
  kImageLength = 0x0101,
  kBitsPerSample = 0x0102,
  kMake = 0x010f,
  kModel = 0x0110,
  kDateTime = 0x0132,
  kExifDirectory = 0x8769,
  kCameraSerialNumber = 0xc62f,
  kExposureTime = 0x829a,
  kFNumber = 0x829d,
  kIsoSpeedRatings = 0x8827,
  kIsoSpeed = 0x8833,
  kDateTimeOriginal = 0x9003,
  kShutterSpeedValue = 0x9201,
  kApertureValue = 0x9202,
  kExposureBias = 0x9204,
  kMakerNote = 0x927c,
  kSubSecTime = 0x9290,
  kSubSecTimeOriginal = 0x9291,
  kBodySerialNumber = 0xa431,
  kCanonSerialNumber = 0x000c,  // in a Canon maker note
  kNikonSerialNumber = 0x001d,  // in a Nikon maker note
};

enum Type : uint16_t {
  kByte = 1,
  kAscii = 2,
  kShort = 3,
  kLong = 4,
  kRational = 5,
  kSByte = 6,
  kUndefined = 7,
  kSShort = 8,
  kSLong = 9,
  kSRational = 10,
  kFloat = 11,
  kDouble = 12,
  kDirectory = 13,  // a LONG that links to a directory
};

uint32_t TypeBytes(uint16_t type) {
  static constexpr uint8_t kBytes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < 14 ? kBytes[type] : 0;
}

// Real directories hold a few dozen entries; names and dates are short.
constexpr uint32_t kMaxEntries = 512;
constexpr uint32_t kMaxText = 128;

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t field[4] = {};
};

class TiffReader {
 public:
  TiffReader(const ByteSource& source, TiffSpan span) : source_(source), span_(span) {}

  // The byte order and the first directory's offset; false without a TIFF header.
  bool ReadHeader(uint32_t* firstDirectory) {
    uint8_t h[8];
    if (!Read(0, h, 8) || h[0] != h[1] || (h[0] != 'I' && h[0] != 'M')) return false;
    little_ = h[0] == 'I';
    if (U16(h + 2) != 42) return false;
    *firstDirectory = U32(h + 4);
    return true;
  }

  // The directory's entries, up to the first that lies outside the structure.
  std::vector<Entry> Directory(uint32_t offset) const {
    std::vector<Entry> entries;
    uint8_t countField[2];
    if (offset == 0 || !Read(offset, countField, 2)) return entries;
    uint32_t count = std::min<uint32_t>(U16(countField), kMaxEntries);
    // The entries that lie inside the structure, read at once.
    const uint64_t room = span_.length - std::min<uint64_t>(span_.length, uint64_t{offset} + 2);
    count = static_cast<uint32_t>(std::min<uint64_t>(count, room / 12));
    std::vector<uint8_t> table(size_t{count} * 12);
    if (!Read(uint64_t{offset} + 2, table.data(), table.size())) return entries;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = table.data() + size_t{i} * 12;
      Entry entry;
      entry.tag = static_cast<uint16_t>(U16(e));
      entry.type = static_cast<uint16_t>(U16(e + 2));
      entry.count = U32(e + 4);
      std::memcpy(entry.field, e + 8, 4);
      entries.push_back(entry);
    }
    return entries;
  }

  // The entry's first value as a number; nothing for a text, an unknown type, a zero
  // denominator or a value that is not finite.
  std::optional<double> Number(const Entry& e) const {
    const uint32_t size = TypeBytes(e.type);
    uint8_t v[8];
    if (size == 0 || e.count == 0 || e.type == kAscii || e.type == kUndefined) return {};
    if (uint64_t{size} * e.count <= 4) {
      std::memcpy(v, e.field, size);
    } else if (!Read(U32(e.field), v, size)) {
      return {};
    }
    double value = 0.0;
    switch (e.type) {
      case kByte:
        value = v[0];
        break;
      case kSByte:
        value = static_cast<int8_t>(v[0]);
        break;
      case kShort:
        value = U16(v);
        break;
      case kSShort:
        value = static_cast<int16_t>(U16(v));
        break;
      case kLong:
      case kDirectory:
        value = U32(v);
        break;
      case kSLong:
        value = static_cast<int32_t>(U32(v));
        break;
      case kRational:
        if (U32(v + 4) == 0) return {};
        value = static_cast<double>(U32(v)) / U32(v + 4);
        break;
      case kSRational:
        if (U32(v + 4) == 0) return {};
        value =
            static_cast<double>(static_cast<int32_t>(U32(v))) / static_cast<int32_t>(U32(v + 4));
        break;
      case kFloat: {
        const uint32_t bits = U32(v);
        float f = 0.0f;
        std::memcpy(&f, &bits, 4);
        value = f;
        break;
      }
      case kDouble: {
        const uint64_t bits = uint64_t{U32(little_ ? v + 4 : v)} << 32 | U32(little_ ? v : v + 4);
        std::memcpy(&value, &bits, 8);
        break;
      }
      default:
        return {};
    }
    if (!std::isfinite(value)) return {};
    return value;
  }

  // The entry's text up to its first zero, without control characters and the spaces around
  // it; empty for entries that hold no text.
  std::string Text(const Entry& e) const {
    if (e.type != kAscii && e.type != kByte && e.type != kUndefined) return {};
    const uint32_t count = std::min(e.count, kMaxText);
    char raw[kMaxText];
    if (count <= 4) {
      std::memcpy(raw, e.field, count);
    } else if (!Read(U32(e.field), raw, count)) {
      return {};
    }
    std::string text;
    for (uint32_t i = 0; i < count && raw[i] != '\0'; ++i) {
      const auto c = static_cast<unsigned char>(raw[i]);
      if (c >= 0x20 && c != 0x7f) text.push_back(raw[i]);
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
  }

  // Where the entry's values are stored, when they are not in the entry itself.
  uint32_t ValueOffset(const Entry& e) const { return U32(e.field); }

  bool Read(uint64_t offset, void* out, size_t count) const {
    return offset <= span_.length && count <= span_.length - offset &&
           source_.Read(span_.base + offset, out, count);
  }
  const TiffSpan& Span() const { return span_; }
  const ByteSource& Source() const { return source_; }

 private:
  uint32_t U16(const uint8_t* p) const {
    return little_ ? static_cast<uint32_t>(p[0] | p[1] << 8)
                   : static_cast<uint32_t>(p[0] << 8 | p[1]);
  }
  uint32_t U32(const uint8_t* p) const {
    return little_
               ? uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24
               : uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
  }

  const ByteSource& source_;
  TiffSpan span_;
  bool little_ = true;
};

// The fields as the directories hold them, before they are checked and combined.
struct RawFields {
  std::string dateTime, subSec, dateTimeOriginal, subSecOriginal;
  std::string bodySerial, cameraSerial, makerSerial;
  std::optional<double> exposure, shutterApex, fNumber, apertureApex, bias, isoRatings, isoSpeed;
  uint32_t makerNoteAt = 0;
  uint32_t makerNoteBytes = 0;
};

std::optional<double> Within(std::optional<double> v, double low, double high) {
  if (v && *v >= low && *v <= high) return v;
  return {};
}

// Canon keeps the body's serial as a number in a plain directory (offsets from the EXIF
// header); Nikon's note starts "Nikon", then holds a TIFF structure of its own.
std::string MakerNoteSerial(const TiffReader& tiff, const std::string& make, const RawFields& raw) {
  if (raw.makerNoteAt == 0) return {};
  if (make.rfind("Canon", 0) == 0) {
    for (const Entry& e : tiff.Directory(raw.makerNoteAt))
      if (e.tag == kCanonSerialNumber && e.type == kLong) {
        const std::optional<double> serial = tiff.Number(e);
        if (serial && *serial > 0) return std::to_string(static_cast<uint32_t>(*serial));
      }
    return {};
  }
  if (make.rfind("NIKON", 0) != 0 || raw.makerNoteBytes <= 18) return {};
  char header[6];
  if (!tiff.Read(raw.makerNoteAt, header, 6) || std::memcmp(header, "Nikon\0", 6) != 0) return {};
  const uint64_t innerStart = uint64_t{raw.makerNoteAt} + 10;
  if (innerStart >= tiff.Span().length) return {};
  const TiffSpan inner{
      tiff.Span().base + innerStart,
      std::min<uint64_t>(raw.makerNoteBytes - 10, tiff.Span().length - innerStart)};
  TiffReader note(tiff.Source(), inner);
  uint32_t first = 0;
  if (!note.ReadHeader(&first)) return {};
  for (const Entry& e : note.Directory(first))
    if (e.tag == kNikonSerialNumber) return note.Text(e);
  return {};
}

void ReadFirstDirectory(const TiffReader& tiff, uint32_t offset, bool imageFile, CaptureData* data,
                        RawFields* raw, uint32_t* exifAt) {
  std::optional<double> width, height, bits;
  for (const Entry& e : tiff.Directory(offset)) {
    switch (e.tag) {
      case kMake:
        data->make = tiff.Text(e);
        break;
      case kModel:
        data->model = tiff.Text(e);
        break;
      case kDateTime:
        raw->dateTime = tiff.Text(e);
        break;
      case kCameraSerialNumber:
        raw->cameraSerial = tiff.Text(e);
        break;
      case kExifDirectory:
        *exifAt = static_cast<uint32_t>(tiff.Number(e).value_or(0.0));
        break;
      case kImageWidth:
        width = tiff.Number(e);
        break;
      case kImageLength:
        height = tiff.Number(e);
        break;
      case kBitsPerSample:
        bits = tiff.Number(e);
        break;
      default:
        break;
    }
  }
  if (!imageFile) return;
  width = Within(width, 1, UINT32_MAX);
  height = Within(height, 1, UINT32_MAX);
  if (width && height) {
    data->width = static_cast<uint32_t>(*width);
    data->height = static_cast<uint32_t>(*height);
  }
  // A file without the tag has one bit per sample.
  data->bitsPerComponent = static_cast<uint32_t>(Within(bits, 1, 64).value_or(1.0));
}

void ReadExifDirectory(const TiffReader& tiff, uint32_t offset, RawFields* raw) {
  for (const Entry& e : tiff.Directory(offset)) {
    switch (e.tag) {
      case kExposureTime:
        raw->exposure = tiff.Number(e);
        break;
      case kShutterSpeedValue:
        raw->shutterApex = tiff.Number(e);
        break;
      case kFNumber:
        raw->fNumber = tiff.Number(e);
        break;
      case kApertureValue:
        raw->apertureApex = tiff.Number(e);
        break;
      case kIsoSpeedRatings:
        raw->isoRatings = tiff.Number(e);
        break;
      case kIsoSpeed:
        raw->isoSpeed = tiff.Number(e);
        break;
      case kExposureBias:
        raw->bias = tiff.Number(e);
        break;
      case kDateTimeOriginal:
        raw->dateTimeOriginal = tiff.Text(e);
        break;
      case kSubSecTime:
        raw->subSec = tiff.Text(e);
        break;
      case kSubSecTimeOriginal:
        raw->subSecOriginal = tiff.Text(e);
        break;
      case kBodySerialNumber:
        raw->bodySerial = tiff.Text(e);
        break;
      case kMakerNote:
        if (e.count > 4) {
          raw->makerNoteAt = tiff.ValueOffset(e);
          raw->makerNoteBytes = e.count;
        }
        break;
      default:
        break;
    }
  }
}

// The checked fields: values no camera writes (a negative exposure, a bias of 1000 EV) count
// as missing.
void Combine(const RawFields& raw, CaptureData* data) {
  data->timeMicroseconds = ParseExifTime(raw.dateTimeOriginal, raw.subSecOriginal);
  if (!data->timeMicroseconds) data->timeMicroseconds = ParseExifTime(raw.dateTime, raw.subSec);
  // The APEX values: time 2^-v seconds, f-number 2^(v/2).
  data->exposureSeconds = Within(raw.exposure, 1e-6, 1e6);
  if (!data->exposureSeconds && Within(raw.shutterApex, -20.0, 20.0))
    data->exposureSeconds = std::exp2(-*raw.shutterApex);
  data->fNumber = Within(raw.fNumber, 0.5, 1000.0);
  if (!data->fNumber && Within(raw.apertureApex, -2.0, 20.0))
    data->fNumber = std::exp2(*raw.apertureApex / 2.0);
  // 65535 in the short field means "higher": the long field then holds it.
  std::optional<double> iso = Within(raw.isoRatings, 1.0, 65534.0);
  if (!iso) iso = Within(raw.isoSpeed, 1.0, 1e8);
  data->iso.reset();
  if (iso) data->iso = static_cast<uint32_t>(*iso);
  data->exposureBias = Within(raw.bias, -64.0, 64.0);
  data->serial = !raw.bodySerial.empty()     ? raw.bodySerial
                 : !raw.cameraSerial.empty() ? raw.cameraSerial
                                             : raw.makerSerial;
}

}  // namespace

bool ReadTiffCapture(const ByteSource& source, TiffSpan span, bool imageFile, CaptureData* data) {
  TiffReader tiff(source, span);
  uint32_t first = 0;
  if (!tiff.ReadHeader(&first)) return false;
  RawFields raw;
  uint32_t exifAt = 0;
  ReadFirstDirectory(tiff, first, imageFile, data, &raw, &exifAt);
  if (exifAt != 0 && exifAt != first) ReadExifDirectory(tiff, exifAt, &raw);
  raw.makerSerial = MakerNoteSerial(tiff, data->make, raw);
  Combine(raw, data);
  return true;
}

}  // namespace capture
