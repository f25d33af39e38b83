#include "picture/ImageLoad.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include "picture/CBxPicBufAPI.h"
#include "picture/FreeImageSupport.h"
#include "picture/PictureHeader.h"

namespace {

// Moves the storage of src into dst, releasing what dst held.
void TakePicture(SBxPicBuf* dst, SBxPicBuf* src) {
  CBxPicBufAPI::DoneHeap(dst);
  *dst = *src;
  CBxPicBufAPI::Init(src);
}

struct BitmapLayout {
  uint32_t channels = 0;  // 0: a kind we cannot hold
  uint32_t bitsPerChannel = 0;
};

// Only unsigned 8- and 16-bit samples are photographs we can hold. Float,
// signed and 32-bit integer bitmaps have bit counts that would otherwise pass
// for 8-bit colour with alpha and come out as noise, so they are refused.
BitmapLayout LayoutOf(FIBITMAP* bitmap) {
  const unsigned bpp = FreeImage_GetBPP(bitmap);
  unsigned channels = 0;
  switch (FreeImage_GetImageType(bitmap)) {
    case FIT_BITMAP:
      channels = bpp / 8;
      break;
    case FIT_UINT16:
    case FIT_RGB16:
    case FIT_RGBA16:
      channels = bpp / 16;
      break;
    default:
      return {};
  }
  if (channels != 1 && channels != 3 && channels != 4) return {};
  const unsigned bits = bpp / channels;
  if (bits != 8 && bits != 16) return {};
  return {channels, bits};
}

// The library's own bytes, top row first, one picture row per scan line.
void CopyRawBits(FIBITMAP* bitmap, SBxPicBuf* pic, unsigned bpp) {
  FreeImage_ConvertToRawBits(pic->pixels, bitmap, static_cast<int>(pic->stride), bpp,
                             FreeImage_GetRedMask(bitmap), FreeImage_GetGreenMask(bitmap),
                             FreeImage_GetBlueMask(bitmap), TRUE);
}

// 48-bit bitmaps hold red, green, blue; pictures hold blue first.
void SwapRedBlue16(SBxPicBuf* pic) {
  for (int y = 0; y < pic->height; ++y) {
    uint16_t* p = reinterpret_cast<uint16_t*>(RowPtr(*pic, y));
    for (int x = 0; x < pic->width; ++x)
      std::swap(p[3 * x], p[3 * x + 2]);
  }
}

void CopyAlpha8(FIBITMAP* bitmap, SBxPicBuf* mask) {
  const unsigned height = FreeImage_GetHeight(bitmap);
  for (int y = 0; y < mask->height; ++y) {
    const BYTE* s = FreeImage_GetScanLine(bitmap, static_cast<int>(height) - 1 - y);
    uint8_t* d = RowPtr(*mask, y);
    for (int x = 0; x < mask->width; ++x)
      d[x] = s[4 * x + FI_RGBA_ALPHA];
  }
}

void CopyRgba16(FIBITMAP* bitmap, SBxPicBuf* pic, SBxPicBuf* mask) {
  const unsigned height = FreeImage_GetHeight(bitmap);
  for (int y = 0; y < pic->height; ++y) {
    const FIRGBA16* s = reinterpret_cast<const FIRGBA16*>(
        FreeImage_GetScanLine(bitmap, static_cast<int>(height) - 1 - y));
    uint16_t* d = reinterpret_cast<uint16_t*>(RowPtr(*pic, y));
    uint16_t* a = reinterpret_cast<uint16_t*>(RowPtr(*mask, y));
    for (int x = 0; x < pic->width; ++x) {
      d[3 * x] = s[x].blue;
      d[3 * x + 1] = s[x].green;
      d[3 * x + 2] = s[x].red;
      a[x] = s[x].alpha;
    }
  }
}

// Only the four formats the program reads and writes reach a decoder. The
// library knows thirty more, some recognised from a few loose bytes (any
// damaged file may pass for a Targa image), whose decoders allocate what
// their headers claim before reading anything: a file of 20 bytes took
// 6 GB. Their headers are not checked, so their decoders are not used.
bool IsPictureFormat(FREE_IMAGE_FORMAT format) {
  return format == FIF_BMP || format == FIF_JPEG || format == FIF_PNG || format == FIF_TIFF;
}

// Loads and converts the file into the two pictures, which must be empty. A
// picture whose header claims what cannot be real is refused before the
// decoder allocates it; one whose data the decoder found missing is refused
// after, rather than handed on with the rows it made up.
bool LoadPictures(const std::filesystem::path& path, SBxPicBuf* picture, SBxPicBuf* mask,
                  std::string* reason) {
  // A folder, a device or a missing file is no picture; a pipe would block.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return true;
  const FREE_IMAGE_FORMAT format = DetectFileFormat(path);
  if (!IsPictureFormat(format) || !FreeImage_FIFSupportsReading(format)) return true;
  std::string refusal = RefusalFromHeader(path, format);
  if (!refusal.empty()) {
    if (reason != nullptr) *reason = std::move(refusal);
    return true;
  }
  const DecoderWatch watch;
  BitmapPtr bitmap = LoadBitmapFile(path, format, LoadFlagsFor(format));
  if (watch.DataMissing()) {
    if (reason != nullptr) *reason = "its picture data is truncated or damaged";
    return true;
  }
  if (!bitmap) return true;
  bool unsupported = false;
  return ConvertFromFreeImage(bitmap.get(), picture, mask, &unsupported);
}

}  // namespace

bool ConvertFromFreeImage(FIBITMAP* bitmap, SBxPicBuf* picture, SBxPicBuf* mask,
                          bool* unsupported) {
  *unsupported = false;
  if (bitmap == nullptr) return true;
  *unsupported = true;
  if (!FreeImage_HasPixels(bitmap)) return true;
  // Grey bitmaps whose palette runs from white to black are not palette
  // bitmaps: their bytes are taken as stored, without inversion.
  const FREE_IMAGE_COLOR_TYPE colorType = FreeImage_GetColorType(bitmap);
  if (colorType == FIC_PALETTE || colorType == FIC_CMYK) return true;
  const BitmapLayout layout = LayoutOf(bitmap);
  if (layout.channels == 0) return true;

  const unsigned width = FreeImage_GetWidth(bitmap);
  const unsigned height = FreeImage_GetHeight(bitmap);
  if (width > INT_MAX || height > INT_MAX) return true;
  const uint32_t bits = layout.bitsPerChannel;
  ScopedPicBuf pic(static_cast<int>(width), static_cast<int>(height), std::min(layout.channels, 3u),
                   bits);
  if (IsEmpty(*pic) || pic->stride > INT_MAX) return true;
  ScopedPicBuf alpha;
  if (layout.channels == 4) {
    CBxPicBufAPI::ReinitHeap(alpha.get(), pic->width, pic->height, 1, bits);
    if (IsEmpty(*alpha)) return true;
  }

  if (bits == 8) {
    CopyRawBits(bitmap, pic.get(), layout.channels == 1 ? 8 : 24);
    if (layout.channels == 4) CopyAlpha8(bitmap, alpha.get());
  } else if (layout.channels == 4) {
    CopyRgba16(bitmap, pic.get(), alpha.get());
  } else {
    CopyRawBits(bitmap, pic.get(), layout.channels * 16);
    if (layout.channels == 3) SwapRedBlue16(pic.get());
  }

  *unsupported = false;
  TakePicture(picture, pic.get());
  if (layout.channels == 4) TakePicture(mask, alpha.get());
  return false;
}

bool LoadImageFile(SBxPicBuf* picture, SBxPicBuf* mask, const std::filesystem::path& path,
                   std::string* reason) {
  ScopedPicBuf pic, alpha;
  if (LoadPictures(path, pic.get(), alpha.get(), reason)) return true;
  TakePicture(picture, pic.get());
  if (!IsEmpty(*alpha)) TakePicture(mask, alpha.get());
  return false;
}

bool OpenSourceImage(ImageDocument* doc, const std::filesystem::path& path,
                     std::filesystem::path* currentFilePath, std::string* reason) {
  ScopedPicBuf pic, alpha;
  if (LoadPictures(path, pic.get(), alpha.get(), reason)) return true;
  if ((pic->components != 1 && pic->components != 3) ||
      (pic->bitsPerComponent != 8 && pic->bitsPerComponent != 16))
    return true;
  TakePicture(&doc->source, pic.get());
  if (IsEmpty(*alpha))
    CBxPicBufAPI::DoneHeap(&doc->mask);
  else
    TakePicture(&doc->mask, alpha.get());
  if (currentFilePath != nullptr) *currentFilePath = path;
  return false;
}
