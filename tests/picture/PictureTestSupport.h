#pragma once

#include <FreeImage.h>

#include <cstring>
#include <string>

#include "picture/CBxPicBufAPI.h"

// Reads a sample photograph into a 3-component 8-bit picture (blue, green,
// red like every colour picture); empty on failure.
inline void LoadSamplePhoto(SBxPicBuf* pic, const char* name) {
  CBxPicBufAPI::DoneHeap(pic);
  const std::string path = std::string(MELVARO_SAMPLES_DIR) + "/photos/" + name;
  FIBITMAP* file = FreeImage_Load(FIF_JPEG, path.c_str(), JPEG_ACCURATE);
  if (!file) return;
  FIBITMAP* bgr = FreeImage_ConvertTo24Bits(file);
  FreeImage_Unload(file);
  if (!bgr) return;
  const int width = static_cast<int>(FreeImage_GetWidth(bgr));
  const int height = static_cast<int>(FreeImage_GetHeight(bgr));
  CBxPicBufAPI::ReinitHeap(pic, width, height, 3, 8);
  for (int y = 0; pic->pixels && y < height; ++y) {  // FreeImage keeps rows bottom-up
    std::memcpy(RowPtr(*pic, y), FreeImage_GetScanLine(bgr, height - 1 - y),
                static_cast<size_t>(width) * 3);
  }
  FreeImage_Unload(bgr);
}

// Deterministic 8-bit content that differs between neighbouring samples.
inline void FillPattern8(SBxPicBuf* pic) {
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (uint32_t i = 0; i < static_cast<uint32_t>(pic->width) * pic->components; ++i)
      row[i] = static_cast<uint8_t>((y * 73 + i * 151 + (i * i) % 17) & 255);
  }
}
