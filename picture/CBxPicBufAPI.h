#pragma once

#include <cstdint>

#include "picture/CBxPicMap.h"
#include "picture/SBxPicBuf.h"

// Operations on pictures. Conversions and component moves return a char,
// non-zero on success. Rows of pictures made here start on 64-byte boundaries,
// so a row may end in a few padding bytes: always step by `stride`.
class CBxPicBufAPI {
 public:
  static constexpr uint32_t kRowAlignment = 64;

  // Makes the record empty without freeing anything.
  static void Init(SBxPicBuf* buf);
  // Storage for the geometry (earlier storage is released first); on failure
  // the record is empty and `pixels` is null.
  static void ReinitHeap(SBxPicBuf* buf, int width, int height, uint32_t components, uint32_t bits);
  static void ReinitHeap(SBxPicBuf* buf, const SBxPicBuf* model);
  // Frees storage made by ReinitHeap and empties the record.
  static void DoneHeap(SBxPicBuf* buf);

  // Pixels of equal geometry; with a rectangle, only that block at the same place.
  static void Copy(SBxPicBuf* dst, const SBxPicBuf* src);
  static void Copy(SBxPicBuf* dst, const SBxPicBuf* src, const CBxRect& rect);
  // Moves the block of `size` at srcPt in src to dstPt in dst (same pixel format),
  // clipped to both pictures.
  static void CopyRect(SBxPicBuf* dst, const SBxPicBuf* src, CBxPoint dstPt, CBxPoint srcPt,
                       CBxSize size);

  // Component `index` of src into the one-component dst of the same size and depth.
  static char ExtractComponent(SBxPicBuf* dst, int index, const SBxPicBuf* src);
  // The one-component src becomes component `index` of dst.
  static char InsertComponent(SBxPicBuf* dst, int index, const SBxPicBuf* src);

  // In place: 8 <-> 16 bits rescales the full range (x * 257, and rounding back);
  // integer <-> 32-bit float keeps the number (float back to integer rounds to
  // nearest and clamps, NaN gives 0); 1 -> 3 components repeats grey, 3 -> 1
  // keeps the luma (0.299 R + 0.587 G + 0.114 B). Other component changes and
  // depths are refused (0) and leave the picture as it was.
  static char ConvertBpcComp(SBxPicBuf* buf, uint32_t bits, uint32_t components);

  // Full-range luma/chroma of a 3-component picture (the weights JPEG files
  // use): luma in component 0, Cb (blue difference) in 1, Cr (red difference)
  // in 2. Chroma is offset to mid-range (128 at 8 bits, 32768 at 16 bits);
  // float pictures keep any range, so their chroma is centred on 0 and nothing
  // is rounded or clamped. dst is given src's geometry when it has another or
  // is empty; dst may be src. The round trip is within one step of the
  // original samples.
  static char ConvertRGBtoYUV(SBxPicBuf* dst, const SBxPicBuf* src);
  static char ConvertYUVtoRGB(SBxPicBuf* dst, const SBxPicBuf* src);

  // Every byte of the picture [in the rectangle] set to value.
  static void SetConst(SBxPicBuf* buf, uint8_t value);
  static void SetConst(SBxPicBuf* buf, const CBxRect& rect, uint8_t value);

  // Each destination pixel sampled at its mapped source point; destination
  // pixels that map outside the source keep their value. 8 bits, 1 or 3
  // components, src and dst with the same component count (else nothing is
  // done); dst may be src. Pixel centres lie at integer coordinates, so a point
  // s is on the source when -0.5 <= s < size - 0.5 for all three kinds; the
  // filtered kinds repeat the edge pixels there. Nearest takes pixel
  // floor(s + 0.5); bicubic uses the Catmull-Rom kernel, clamped to 0..255.
  static void TransformConstantFast(SBxPicBuf* dst, const SBxPicBuf* src, const CBxPicMap& map);
  static void TransformBilinearFast(SBxPicBuf* dst, const SBxPicBuf* src, const CBxPicMap& map);
  static void TransformBicubicFast(SBxPicBuf* dst, const SBxPicBuf* src, const CBxPicMap& map);
};

// Owns a picture for the length of a scope: empty on construction, released
// on destruction, so an early return or an exception leaks nothing.
class ScopedPicBuf {
 public:
  ScopedPicBuf() = default;
  ScopedPicBuf(int width, int height, uint32_t components, uint32_t bits) {
    CBxPicBufAPI::ReinitHeap(&buf_, width, height, components, bits);
  }
  ~ScopedPicBuf() { CBxPicBufAPI::DoneHeap(&buf_); }
  ScopedPicBuf(const ScopedPicBuf&) = delete;
  ScopedPicBuf& operator=(const ScopedPicBuf&) = delete;

  SBxPicBuf* get() { return &buf_; }
  const SBxPicBuf* get() const { return &buf_; }
  SBxPicBuf* operator->() { return &buf_; }
  const SBxPicBuf* operator->() const { return &buf_; }
  SBxPicBuf& operator*() { return buf_; }
  const SBxPicBuf& operator*() const { return buf_; }

 private:
  SBxPicBuf buf_;
};
