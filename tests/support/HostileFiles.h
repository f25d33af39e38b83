#pragma once

// Files a hostile user would hand the loader, made byte by byte: headers that
// claim huge pictures in a few hundred bytes, and files cut short.
#include <FreeImage.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageSave.h"
#include "tests/support/TestFiles.h"

namespace hostile {

inline void PutBig(std::string* s, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    s->push_back(static_cast<char>(v >> (8 * i)));
}

inline void PutLittle(std::string* s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    s->push_back(static_cast<char>(v >> (8 * i)));
}

inline uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutPngChunk(std::string* png, const std::string& type, const std::string& data) {
  PutBig(png, static_cast<uint32_t>(data.size()), 4);
  png->append(type + data);
  PutBig(png, Crc32(type + data), 4);
}

// A 69-byte PNG claiming width x height 16-bit RGBA: a valid file in every
// respect but that its data (100 zero bytes) falls far short.
inline std::string PngClaiming(uint32_t width, uint32_t height) {
  std::string png("\x89PNG\r\n\x1a\n", 8), header;
  PutBig(&header, width, 4);
  PutBig(&header, height, 4);
  header += std::string("\x10\x06\x00\x00\x00", 5);  // 16 bits, RGBA, deflate, no interlace
  PutPngChunk(&png, "IHDR", header);
  PutPngChunk(&png, "IDAT", std::string("\x78\x9c\x63\x60\xa0\x3d\x00\x00\x00\x64\x00\x01", 12));
  PutPngChunk(&png, "IEND", "");
  return png;
}

// A 24-bit BMP of `bytes` bytes claiming width x height (negative height: top
// row first).
inline std::string BmpClaiming(int32_t width, int32_t height, uint32_t bytes) {
  std::string bmp = "BM";
  PutLittle(&bmp, bytes, 4);
  PutLittle(&bmp, 0, 4);
  PutLittle(&bmp, 54, 4);
  PutLittle(&bmp, 40, 4);
  PutLittle(&bmp, static_cast<uint32_t>(width), 4);
  PutLittle(&bmp, static_cast<uint32_t>(height), 4);
  PutLittle(&bmp, 1, 2);
  PutLittle(&bmp, 24, 2);
  for (int i = 0; i < 6; ++i)
    PutLittle(&bmp, 0, 4);
  bmp.resize(bytes, '\x7f');
  return bmp;
}

// A BMP of 60 bytes whose header names run-length coding of 8-bit indices for
// 32-bit pixels, 9 x 67108879 of them: found by the fuzzer, the decoder
// allocated 2.4 GB for it.
inline std::string RleBmpClaiming32BitPixels() {
  std::string bmp = BmpClaiming(9, 67108879, 60);
  bmp[28] = 32;  // bits per pixel
  bmp[30] = 1;   // run-length coding of 8-bit indices
  return bmp;
}

// An 8-bit grey TIFF with its directory before its one strip (as cameras
// write them, so that cutting the file cuts the pixels); compression 1 (none)
// or 8 (deflate, the strip given already compressed). `bytes` pads the file.
inline std::string TiffClaiming(uint32_t width, uint32_t height, uint16_t compression,
                                const std::string& strip, uint32_t bytes = 0) {
  const uint32_t entries = 9, dataAt = 8 + 2 + 12 * entries + 4;
  std::string tif("II*\0", 4);
  PutLittle(&tif, 8, 4);
  PutLittle(&tif, entries, 2);
  const uint32_t fields[entries][3] = {
      {256, 4, width},       {257, 4, height}, {258, 3, 8},
      {259, 3, compression}, {262, 3, 1},      {273, 4, dataAt},
      {277, 3, 1},           {278, 4, height}, {279, 4, static_cast<uint32_t>(strip.size())}};
  for (const auto& f : fields) {
    PutLittle(&tif, f[0], 2);
    PutLittle(&tif, f[1], 2);
    PutLittle(&tif, 1, 4);
    PutLittle(&tif, f[2], f[1] == 3 ? 2 : 4);
    if (f[1] == 3) PutLittle(&tif, 0, 2);
  }
  PutLittle(&tif, 0, 4);
  tif += strip;
  if (tif.size() < bytes) tif.resize(bytes, '\0');
  return tif;
}

// An 8-bit RGB TIFF stored as three planes, one strip each; sample c of pixel
// x, y is x * 20 + y * 3 + c * 50 (modulo 256).
inline std::string SeparatePlanesTiff(uint32_t width, uint32_t height) {
  const uint32_t entries = 10, plane = width * height;
  const uint32_t offsetsAt = 8 + 2 + 12 * entries + 4, countsAt = offsetsAt + 12,
                 dataAt = countsAt + 12;
  std::string tif("II*\0", 4);
  PutLittle(&tif, 8, 4);
  PutLittle(&tif, entries, 2);
  const uint32_t fields[entries][4] = {
      {256, 4, 1, width},    {257, 4, 1, height},    {258, 3, 1, 8}, {259, 3, 1, 1},
      {262, 3, 1, 2},        {273, 4, 3, offsetsAt}, {277, 3, 1, 3}, {278, 4, 1, height},
      {279, 4, 3, countsAt}, {284, 3, 1, 2}};
  for (const auto& f : fields) {
    PutLittle(&tif, f[0], 2);
    PutLittle(&tif, f[1], 2);
    PutLittle(&tif, f[2], 4);
    PutLittle(&tif, f[3], f[1] == 3 ? 2 : 4);
    if (f[1] == 3) PutLittle(&tif, 0, 2);
  }
  PutLittle(&tif, 0, 4);
  for (uint32_t c = 0; c < 3; ++c)
    PutLittle(&tif, dataAt + c * plane, 4);
  for (uint32_t c = 0; c < 3; ++c)
    PutLittle(&tif, plane, 4);
  for (uint32_t c = 0; c < 3; ++c)
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        tif.push_back(static_cast<char>(x * 20 + y * 3 + c * 50));
  return tif;
}

// A real small JPEG (baseline, or progressive) whose frame header then claims
// width x height.
inline std::string JpegClaiming(const TempFolder& folder, uint16_t width, uint16_t height,
                                bool progressive = false) {
  FIBITMAP* b = FreeImage_Allocate(32, 32, 24);
  for (unsigned y = 0; y < 32; ++y) {
    BYTE* line = FreeImage_GetScanLine(b, static_cast<int>(y));
    for (unsigned i = 0; i < 96; ++i)
      line[i] = static_cast<BYTE>(i * 5 + y * 9);
  }
  const std::filesystem::path path = folder / "small.jpg";
  FreeImage_Save(FIF_JPEG, b, path.c_str(), 90 | (progressive ? JPEG_PROGRESSIVE : 0));
  FreeImage_Unload(b);
  std::string jpeg = ReadWholeFile(path);
  std::filesystem::remove(path);
  const size_t frame = jpeg.find(progressive ? "\xff\xc2" : "\xff\xc0");
  if (frame != std::string::npos) {
    std::string size;
    PutBig(&size, height, 2);
    PutBig(&size, width, 2);
    jpeg.replace(frame + 5, 4, size);
  }
  return jpeg;
}

// The strip of an 8-bit grey picture, deflated.
inline std::string DeflatedGreyStrip(uint32_t width, uint32_t height) {
  std::vector<BYTE> raw(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < raw.size(); ++i)
    raw[i] = static_cast<BYTE>(i * 7 + i / width);
  std::vector<BYTE> packed(raw.size() + raw.size() / 1000 + 64);
  const DWORD size = FreeImage_ZLibCompress(packed.data(), static_cast<DWORD>(packed.size()),
                                            raw.data(), static_cast<DWORD>(raw.size()));
  return std::string(reinterpret_cast<const char*>(packed.data()), size);
}

}  // namespace hostile
