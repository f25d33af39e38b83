#include "picture/FreeImageSupport.h"

#include "picture/TiffExif.h"

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
  return format == FIF_JPEG ? (JPEG_ACCURATE | JPEG_CMYK) : 0;
}
