#pragma once

#include <cstddef>
#include <cstdint>

// A picture held in memory: rows top to bottom, components interleaved
// (colour is stored blue, green, red), 8 or 16 bits unsigned or 32-bit float
// per component. Plain data that callers read and fill directly; storage made
// by CBxPicBufAPI::ReinitHeap must be released with CBxPicBufAPI::DoneHeap.
struct SBxPicBuf {
  uint8_t* pixels = nullptr;  // row 0; null means empty
  uint32_t byteSize = 0;      // stride * height
  uint32_t stride = 0;        // bytes from one row to the next
  int32_t width = 0;
  int32_t height = 0;
  uint32_t components = 0;        // 1 grey or mask, 3 colour
  uint32_t bitsPerComponent = 0;  // 8, 16, or 32 (float)
};

struct CBxPoint {
  int x = 0;
  int y = 0;
};

struct CBxSize {
  int width = 0;
  int height = 0;
};

// Half-open rectangle: left <= x < right, top <= y < bottom.
struct CBxRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// Bytes of one pixel of a picture.
inline uint32_t BytesPerPixel(const SBxPicBuf& pic) {
  return pic.components * (pic.bitsPerComponent / 8);
}

// Pointer to the first byte of row y.
inline uint8_t* RowPtr(const SBxPicBuf& pic, int y) {
  return pic.pixels + static_cast<size_t>(pic.stride) * static_cast<size_t>(y);
}

inline bool IsEmpty(const SBxPicBuf& pic) {
  return pic.pixels == nullptr;
}

inline bool SameGeometry(const SBxPicBuf& a, const SBxPicBuf& b) {
  return a.width == b.width && a.height == b.height && a.components == b.components &&
         a.bitsPerComponent == b.bitsPerComponent;
}
