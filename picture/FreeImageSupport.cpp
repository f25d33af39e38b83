#include "picture/FreeImageSupport.h"

#include "picture/TiffExif.h"
#include "picture/TiffSafeLoad.h"

namespace {

void SwallowMessage(FREE_IMAGE_FORMAT /*format*/, const char* /*message*/) {}

}  // namespace

void EnsureFreeImageReady() {
  // The shared library initialises itself when loaded; a static build does
  // not, and a second call only raises a reference count.
  static const bool ready = [] {
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(SwallowMessage);
    SilenceTiffCodec();
    return true;
  }();
  (void)ready;
}

FREE_IMAGE_FORMAT DetectFileFormat(const std::filesystem::path& path) {
  EnsureFreeImageReady();
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  return format;
}

int LoadFlagsFor(FREE_IMAGE_FORMAT format) {
  if (format == FIF_JPEG) return JPEG_ACCURATE | JPEG_CMYK;
  return format == FIF_TIFF ? TIFF_CMYK : 0;
}

BitmapPtr LoadBitmapFile(const std::filesystem::path& path, FREE_IMAGE_FORMAT format, int flags,
                         bool* profileHidden) {
  EnsureFreeImageReady();
  bool hidden = false;
  BitmapPtr bitmap(format == FIF_TIFF ? LoadTiffSafely(path, flags, &hidden)
                                      : FreeImage_Load(format, path.c_str(), flags));
  if (profileHidden != nullptr) *profileHidden = hidden;
  return bitmap;
}
