#pragma once

#include <FreeImage.h>

#include <filesystem>
#include <memory>

// What the image loader and writer share about the decoding library.

// Makes the library ready once per process and keeps its diagnostics off the
// terminal: every failure reaches the user through our own results instead.
void EnsureFreeImageReady();

// Watches the decoding on this thread from its construction on. The decoders
// fill what a file lacks and report success; DataMissing() tells whether one
// said that the file ended early or that data could not be read or decoded.
class DecoderWatch {
 public:
  DecoderWatch();
  bool DataMissing() const;
};

struct FreeImageUnloader {
  void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using BitmapPtr = std::unique_ptr<FIBITMAP, FreeImageUnloader>;

// The file's format from its content, else from its name; FIF_UNKNOWN when
// neither tells.
FREE_IMAGE_FORMAT DetectFileFormat(const std::filesystem::path& path);

// Load flags for a format: JPEGs are decoded with the accurate transform;
// JPEGs and TIFFs keep CMYK as CMYK, so that such files can be told apart and
// refused instead of being converted with guessed colours.
int LoadFlagsFor(FREE_IMAGE_FORMAT format);

// Loads a file of a known format. For TIFFs whose ICC profile had to be kept
// from the decoder (see TiffSafeLoad.h) *profileHidden is set, if given.
BitmapPtr LoadBitmapFile(const std::filesystem::path& path, FREE_IMAGE_FORMAT format, int flags,
                         bool* profileHidden = nullptr);
