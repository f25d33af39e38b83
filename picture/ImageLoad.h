#pragma once

#include <filesystem>
#include <string>

#include "picture/ImageDocument.h"
#include "picture/SBxPicBuf.h"

struct FIBITMAP;

// Reading image files into pictures: BMP, JPEG, PNG and TIFF, told from the
// file's content, else from its name. Every loader returns false on success and
// true on failure. Pictures made here have 1 (grey) or 3 (colour, stored blue,
// green, red) components of 8 or 16 bits; a mask is made only when the file has
// a fourth channel and holds its alpha unchanged, at the picture's depth.

// Converts a decoded bitmap, which stays the caller's. On success `picture`
// holds the pixels (earlier storage released) and `mask` the alpha when the
// bitmap has one; without alpha `mask` is left as it was. On failure both are
// left as they were and *unsupported tells whether the bitmap's kind (palette,
// CMYK, 1-, 2- or 4-bit, float...) was the reason rather than a missing bitmap.
bool ConvertFromFreeImage(FIBITMAP* bitmap, SBxPicBuf* picture, SBxPicBuf* mask, bool* unsupported);

// A file is refused before decoding when its header claims a picture that
// cannot be real or cannot fit (see PictureHeader.h), and after decoding when
// the decoder found its data truncated or damaged. For those two, *reason (when
// given) receives why, in words to follow the file's name; it is left alone
// for every other failure, which is "Image format not supported!".

// Silent loader: fills picture (and mask when the file has alpha; otherwise the
// caller's mask is left as it was). Does not touch any shared "current file"
// path: callers on the user-interface thread do that. Safe to call from
// several threads at once.
bool LoadImageFile(SBxPicBuf* picture, SBxPicBuf* mask, const std::filesystem::path& path,
                   std::string* reason = nullptr);

// Loading core of "Open": on success doc->source and doc->mask are replaced
// (the mask emptied when the file has none) and *currentFilePath = path. On
// failure the document is unchanged and the caller shows "Image format not
// supported!". `result` is the caller's to refresh.
bool OpenSourceImage(ImageDocument* doc, const std::filesystem::path& path,
                     std::filesystem::path* currentFilePath, std::string* reason = nullptr);
