#pragma once

// Capture data as the image library reads it from a header-only load: the reference the own
// header reader is checked against, and the other candidate of the header-reading benchmark.
#include <FreeImage.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "picture/CaptureData.h"

namespace freeimage_capture {

inline FITAG* Find(FIBITMAP* b, FREE_IMAGE_MDMODEL model, const char* key) {
  FITAG* tag = nullptr;
  return FreeImage_GetMetadata(model, b, key, &tag) ? tag : nullptr;
}

inline std::string Text(FITAG* tag) {
  if (tag == nullptr || FreeImage_GetTagType(tag) != FIDT_ASCII) return {};
  const char* text = static_cast<const char*>(FreeImage_GetTagValue(tag));
  std::string s(text, strnlen(text, FreeImage_GetTagLength(tag)));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

inline std::optional<double> Number(FITAG* tag) {
  if (tag == nullptr || FreeImage_GetTagCount(tag) == 0) return {};
  const void* v = FreeImage_GetTagValue(tag);
  switch (FreeImage_GetTagType(tag)) {
    case FIDT_SHORT:
      return static_cast<const uint16_t*>(v)[0];
    case FIDT_LONG:
      return static_cast<const uint32_t*>(v)[0];
    case FIDT_RATIONAL: {
      const auto* r = static_cast<const uint32_t*>(v);
      if (r[1] == 0) return {};
      return static_cast<double>(r[0]) / r[1];
    }
    case FIDT_SRATIONAL: {
      const auto* r = static_cast<const int32_t*>(v);
      if (r[1] == 0) return {};
      return static_cast<double>(r[0]) / r[1];
    }
    default:
      return {};
  }
}

// True when the library cannot read the file's header.
inline bool Read(const std::filesystem::path& path, CaptureData* data) {
  *data = {};
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) return true;
  FIBITMAP* b = FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS);
  if (b == nullptr) return true;
  data->width = FreeImage_GetWidth(b);
  data->height = FreeImage_GetHeight(b);
  data->make = Text(Find(b, FIMD_EXIF_MAIN, "Make"));
  data->model = Text(Find(b, FIMD_EXIF_MAIN, "Model"));
  data->serial = Text(Find(b, FIMD_EXIF_EXIF, "BodySerialNumber"));
  data->timeMicroseconds = ParseExifTime(Text(Find(b, FIMD_EXIF_EXIF, "DateTimeOriginal")),
                                         Text(Find(b, FIMD_EXIF_EXIF, "SubSecTimeOriginal")));
  if (!data->timeMicroseconds)
    data->timeMicroseconds = ParseExifTime(Text(Find(b, FIMD_EXIF_MAIN, "DateTime")),
                                           Text(Find(b, FIMD_EXIF_EXIF, "SubSecTime")));
  data->exposureSeconds = Number(Find(b, FIMD_EXIF_EXIF, "ExposureTime"));
  data->fNumber = Number(Find(b, FIMD_EXIF_EXIF, "FNumber"));
  if (const std::optional<double> iso = Number(Find(b, FIMD_EXIF_EXIF, "ISOSpeedRatings")))
    data->iso = static_cast<uint32_t>(*iso);
  data->exposureBias = Number(Find(b, FIMD_EXIF_EXIF, "ExposureBiasValue"));
  FreeImage_Unload(b);
  return false;
}

}  // namespace freeimage_capture
