#include "picture/TiffExif.h"

#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Descriptive tags of the first directory worth carrying over; the others
// describe the source file's own layout.
constexpr uint32_t kMainTags[] = {
    0x010e,  // ImageDescription
    0x010f,  // Make
    0x0110,  // Model
    0x0112,  // Orientation: the pixels are stored as the camera stored them
    0x0131,  // Software
    0x0132,  // DateTime
    0x013b,  // Artist
    0x8298,  // Copyright
};
// Maker notes hold offsets into the camera's file, which mean nothing here.
constexpr uint32_t kMakerNote = 0x927c;

bool IsMainTagKept(uint32_t id) {
  for (uint32_t kept : kMainTags)
    if (kept == id) return true;
  return false;
}

bool IsFloatField(TIFFDataType type) {
  return type == TIFF_RATIONAL || type == TIFF_SRATIONAL || type == TIFF_FLOAT ||
         type == TIFF_DOUBLE;
}

double ValueAt(FITAG* tag, unsigned i) {
  const void* v = FreeImage_GetTagValue(tag);
  switch (FreeImage_GetTagType(tag)) {
    case FIDT_BYTE:
    case FIDT_UNDEFINED:
      return static_cast<const uint8_t*>(v)[i];
    case FIDT_SBYTE:
      return static_cast<const int8_t*>(v)[i];
    case FIDT_SHORT:
      return static_cast<const uint16_t*>(v)[i];
    case FIDT_SSHORT:
      return static_cast<const int16_t*>(v)[i];
    case FIDT_LONG:
      return static_cast<const uint32_t*>(v)[i];
    case FIDT_SLONG:
      return static_cast<const int32_t*>(v)[i];
    case FIDT_RATIONAL: {
      const uint32_t* r = static_cast<const uint32_t*>(v) + 2 * i;
      return r[1] != 0 ? static_cast<double>(r[0]) / r[1] : 0.0;
    }
    case FIDT_SRATIONAL: {
      const int32_t* r = static_cast<const int32_t*>(v) + 2 * i;
      return r[1] != 0 ? static_cast<double>(r[0]) / r[1] : 0.0;
    }
    case FIDT_FLOAT:
      return static_cast<const float*>(v)[i];
    case FIDT_DOUBLE:
      return static_cast<const double*>(v)[i];
    default:
      return 0.0;
  }
}

// The tag's values in the form the codec takes them: `size` bytes each,
// floating point for rational fields.
std::vector<uint8_t> PackValues(FITAG* tag, unsigned count, int size, bool floating) {
  std::vector<uint8_t> packed(static_cast<size_t>(size) * count);
  for (unsigned i = 0; i < count; ++i) {
    uint8_t* p = packed.data() + static_cast<size_t>(size) * i;
    const double value = ValueAt(tag, i);
    if (floating && size == 4) {
      const float f = static_cast<float>(value);
      std::memcpy(p, &f, 4);
    } else if (floating) {
      std::memcpy(p, &value, 8);
    } else {
      // Little-endian host: the low bytes of the integer are the value.
      const uint64_t n = static_cast<uint64_t>(static_cast<int64_t>(value));
      std::memcpy(p, &n, static_cast<size_t>(size));
    }
  }
  return packed;
}

// Sets one tag in the current directory; false when the codec does not know
// it or its values do not fit the field, which only skips that tag.
bool SetTag(TIFF* tif, FITAG* tag) {
  const uint32_t id = FreeImage_GetTagID(tag);
  const TIFFField* field = TIFFFindField(tif, id, TIFF_ANY);
  const unsigned count = FreeImage_GetTagCount(tag);
  if (field == nullptr || count == 0 || FreeImage_GetTagValue(tag) == nullptr) return false;
  const TIFFDataType fieldType = TIFFFieldDataType(field);
  const bool isText = FreeImage_GetTagType(tag) == FIDT_ASCII;
  if (fieldType == TIFF_ASCII) {
    if (!isText || TIFFFieldPassCount(field)) return false;
    const char* text = static_cast<const char*>(FreeImage_GetTagValue(tag));
    const std::string value(text, strnlen(text, FreeImage_GetTagLength(tag)));
    return TIFFSetField(tif, id, value.c_str()) == 1;
  }
  const int size = TIFFFieldSetGetSize(field);
  if (isText || (size != 1 && size != 2 && size != 4 && size != 8)) return false;
  const bool floating = IsFloatField(fieldType);
  const int readCount = TIFFFieldReadCount(field);
  if (TIFFFieldPassCount(field)) {
    const std::vector<uint8_t> values = PackValues(tag, count, size, floating);
    return TIFFSetField(tif, id, static_cast<uint32_t>(count), values.data()) == 1;
  }
  if (readCount == 1) {
    const double value = ValueAt(tag, 0);
    if (floating) return TIFFSetField(tif, id, value) == 1;
    if (size == 8) return TIFFSetField(tif, id, static_cast<uint64_t>(value)) == 1;
    return TIFFSetField(tif, id, static_cast<uint32_t>(static_cast<int64_t>(value))) == 1;
  }
  if (readCount < 1 || count < static_cast<unsigned>(readCount)) return false;
  const std::vector<uint8_t> values = PackValues(tag, count, size, floating);
  return TIFFSetField(tif, id, values.data()) == 1;
}

// Sets the model's tags that `keep` accepts; the number set.
template <typename Keep>
int SetTags(TIFF* tif, FIBITMAP* metadata, FREE_IMAGE_MDMODEL model, Keep keep) {
  int set = 0;
  FITAG* tag = nullptr;
  FIMETADATA* search = FreeImage_FindFirstMetadata(model, metadata, &tag);
  if (search == nullptr) return 0;
  do {
    if (keep(FreeImage_GetTagID(tag)) && SetTag(tif, tag)) ++set;
  } while (FreeImage_FindNextMetadata(search, &tag));
  FreeImage_FindCloseMetadata(search);
  return set;
}

// Writes a custom directory of one model at the end of the file; its offset
// is 0 when the model has nothing to write.
bool WriteDirectory(TIFF* tif, FIBITMAP* metadata, FREE_IMAGE_MDMODEL model, bool gps,
                    uint64_t* offset) {
  *offset = 0;
  if (FreeImage_GetMetadataCount(model, metadata) == 0) return true;
  // The codec does not release the directory it leaves by itself.
  TIFFFreeDirectory(tif);
  if ((gps ? TIFFCreateGPSDirectory(tif) : TIFFCreateEXIFDirectory(tif)) != 0) return false;
  const int set = SetTags(tif, metadata, model, [](uint32_t id) { return id != kMakerNote; });
  if (set == 0) return true;  // an empty directory is left unwritten and unlinked
  return TIFFWriteCustomDirectory(tif, offset) == 1;
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

}  // namespace

bool AddExifToTiff(const std::filesystem::path& tiffPath, FIBITMAP* metadata) {
  if (FreeImage_GetMetadataCount(FIMD_EXIF_MAIN, metadata) == 0 &&
      FreeImage_GetMetadataCount(FIMD_EXIF_EXIF, metadata) == 0 &&
      FreeImage_GetMetadataCount(FIMD_EXIF_GPS, metadata) == 0)
    return false;
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(tiffPath.c_str(), "r+"));
  if (!tif) return true;
  // Leaving the picture's directory for our own: let go of its decoder state
  // first (the change is never written; the directory is read again below).
  TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  uint64_t exifOffset = 0, gpsOffset = 0;
  if (!WriteDirectory(tif.get(), metadata, FIMD_EXIF_EXIF, false, &exifOffset) ||
      !WriteDirectory(tif.get(), metadata, FIMD_EXIF_GPS, true, &gpsOffset))
    return true;
  // Back to the picture's directory to add the descriptive tags and the links.
  TIFFFreeDirectory(tif.get());
  if (TIFFSetDirectory(tif.get(), 0) != 1) return true;
  SetTags(tif.get(), metadata, FIMD_EXIF_MAIN, IsMainTagKept);
  if (exifOffset != 0 && TIFFSetField(tif.get(), TIFFTAG_EXIFIFD, exifOffset) != 1) return true;
  if (gpsOffset != 0 && TIFFSetField(tif.get(), TIFFTAG_GPSIFD, gpsOffset) != 1) return true;
  return TIFFRewriteDirectory(tif.get()) != 1;
}
