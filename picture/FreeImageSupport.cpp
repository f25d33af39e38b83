#include "picture/FreeImageSupport.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstring>

#include "picture/TiffSafeLoad.h"

namespace {

// Set on a thread whose decoder said that data was missing or damaged.
thread_local bool dataMissing = false;

// What the decoders say when the file ends before the picture does, or its
// coded data runs out or cannot be decoded; they fill the rest and carry on.
// Their other messages (unusual profiles, extra bytes, tags the library does
// not know) leave the pixels whole.
bool SaysDataIsMissing(const char* message) {
  static const char* const kMissing[] = {
      "Premature end of JPEG file",     // JPEG: the file ends
      "premature end of data segment",  // JPEG: a scan ends
      "Read Error",                     // PNG: the file ends
      "Read error",                     // PNG: the file ends, as the library words it
      "Not enough image data",          // PNG: the compressed data ends
      "Image may be incomplete",        // TIFF: a strip could not be read
  };
  for (const char* missing : kMissing)
    if (std::strstr(message, missing) != nullptr) return true;
  return false;
}

void NoteMessage(FREE_IMAGE_FORMAT /*format*/, const char* message) {
  if (message != nullptr && SaysDataIsMissing(message)) dataMissing = true;
}

// Errors of the TIFF codec's reading and decoding of strips and tiles; its
// other errors are about tags, which the library probes for on every file.
void NoteTiffError(const char* module, const char* /*format*/, va_list /*arguments*/) {
  if (module == nullptr) return;
  static const char* const kPixelModules[] = {
      "TIFFReadEncoded", "TIFFReadRaw", "TIFFFill", "TIFFReadScanline",
      "TIFFReadTile",    "TIFFStart",   "Decode"};
  for (const char* pixels : kPixelModules)
    if (std::strstr(module, pixels) != nullptr) dataMissing = true;
}

// Unknown tags in cameras' files are common and harmless.
void IgnoreTiffWarning(const char* /*module*/, const char* /*format*/, va_list /*arguments*/) {}

}  // namespace

DecoderWatch::DecoderWatch() {
  dataMissing = false;
}

bool DecoderWatch::DataMissing() const {
  return dataMissing;
}

void EnsureFreeImageReady() {
  // The shared library initialises itself when loaded; a static build does
  // not, and a second call only raises a reference count.
  static const bool ready = [] {
    FreeImage_Initialise(FALSE);
    // Nothing reaches the terminal: failures reach the user through our own
    // results.
    FreeImage_SetOutputMessage(NoteMessage);
    TIFFSetErrorHandler(NoteTiffError);
    TIFFSetWarningHandler(IgnoreTiffWarning);
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
