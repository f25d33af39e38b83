#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <filesystem>
#include <string>

// Refusing pictures from their headers, before anything is allocated for them.
// A header of a few bytes can claim a picture of many gigabytes; decoders
// allocate it whole before they find out that the data is missing. So the size
// a header claims is checked first against three limits: a fixed number of
// pixels, the memory of the machine, and what the file's length can hold at
// the best compression its format allows.

// At most this many pixels are decoded (1000 megapixels, over 30000 x 30000).
constexpr uint64_t kMaxPicturePixels = 1'000'000'000;

// What a file's header claims.
struct PictureClaim {
  uint64_t width = 0;
  uint64_t height = 0;
  uint32_t bitsPerPixel = 0;  // as stored in the file
  // The least length a file with this header can have: its samples stored as
  // they are, or at the best compression its coding allows. 0 when the coding
  // gives no such bound.
  uint64_t minFileBytes = 0;
  uint64_t fileBytes = 0;
  // What makes the header impossible in itself, when something does (a coding
  // its pixels cannot have).
  const char* damage = nullptr;
};

// Reads the header of a BMP, PNG, JPEG or TIFF file. False when the header
// cannot be read or the format is another one: the decoder then decides.
bool ReadPictureClaim(const std::filesystem::path& path, FREE_IMAGE_FORMAT format,
                      PictureClaim* claim);

// The same with the format told from the file's content, as the decoder first
// tells it; false also when the content names no format read here.
bool ReadPictureClaim(const std::filesystem::path& path, PictureClaim* claim);

// Why the claimed picture cannot be real or cannot fit, in words that name the
// claimed size and the limit it breaks; empty when it may be decoded.
// machineBytes is the memory of the machine.
std::string RefusalOf(const PictureClaim& claim, uint64_t machineBytes);

// The refusal for the file's header, checked against this machine's memory;
// empty when the file may be decoded (or its header is not one we read).
std::string RefusalFromHeader(const std::filesystem::path& path, FREE_IMAGE_FORMAT format);
