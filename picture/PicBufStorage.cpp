// Allocation, copies and component moves of pictures.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "picture/CBxPicBufAPI.h"

namespace {

bool ValidFormat(uint32_t components, uint32_t bits) {
  return components >= 1 && components <= 4 && (bits == 8 || bits == 16 || bits == 32);
}

// Copies `rows` rows of `rowBytes` bytes between two strided buffers.
void CopyRows(uint8_t* dst, size_t dstStride, const uint8_t* src, size_t srcStride, size_t rowBytes,
              int rows) {
  for (int y = 0; y < rows; ++y) {
    std::memmove(dst + dstStride * static_cast<size_t>(y), src + srcStride * static_cast<size_t>(y),
                 rowBytes);
  }
}

template <typename T>
void ExtractTyped(const SBxPicBuf& dst, int index, const SBxPicBuf& src) {
  const uint32_t n = src.components;
  for (int y = 0; y < src.height; ++y) {
    const T* s = reinterpret_cast<const T*>(RowPtr(src, y)) + index;
    T* d = reinterpret_cast<T*>(RowPtr(dst, y));
    for (int x = 0; x < src.width; ++x)
      d[x] = s[static_cast<size_t>(x) * n];
  }
}

template <typename T>
void InsertTyped(const SBxPicBuf& dst, int index, const SBxPicBuf& src) {
  const uint32_t n = dst.components;
  for (int y = 0; y < dst.height; ++y) {
    const T* s = reinterpret_cast<const T*>(RowPtr(src, y));
    T* d = reinterpret_cast<T*>(RowPtr(dst, y)) + index;
    for (int x = 0; x < dst.width; ++x)
      d[static_cast<size_t>(x) * n] = s[x];
  }
}

bool ComponentMovePossible(const SBxPicBuf* multi, int index, const SBxPicBuf* single) {
  return multi && single && multi->pixels && single->pixels && single->components == 1 &&
         index >= 0 && static_cast<uint32_t>(index) < multi->components &&
         multi->width == single->width && multi->height == single->height &&
         multi->bitsPerComponent == single->bitsPerComponent;
}

}  // namespace

void CBxPicBufAPI::Init(SBxPicBuf* buf) {
  *buf = SBxPicBuf{};
}

void CBxPicBufAPI::ReinitHeap(SBxPicBuf* buf, int width, int height, uint32_t components,
                              uint32_t bits) {
  DoneHeap(buf);
  if (width <= 0 || height <= 0 || !ValidFormat(components, bits)) return;
  const uint64_t rowBytes = static_cast<uint64_t>(width) * components * (bits / 8);
  const uint64_t stride = (rowBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  const uint64_t total = stride * static_cast<uint64_t>(height);
  if (total > std::numeric_limits<uint32_t>::max()) return;
  void* mem = std::aligned_alloc(kRowAlignment, static_cast<size_t>(total));
  if (!mem) return;
  buf->pixels = static_cast<uint8_t*>(mem);
  buf->byteSize = static_cast<uint32_t>(total);
  buf->stride = static_cast<uint32_t>(stride);
  buf->width = width;
  buf->height = height;
  buf->components = components;
  buf->bitsPerComponent = bits;
}

void CBxPicBufAPI::ReinitHeap(SBxPicBuf* buf, const SBxPicBuf* model) {
  const SBxPicBuf m = *model;  // model may be buf itself
  ReinitHeap(buf, m.width, m.height, m.components, m.bitsPerComponent);
}

void CBxPicBufAPI::DoneHeap(SBxPicBuf* buf) {
  std::free(buf->pixels);
  Init(buf);
}

void CBxPicBufAPI::Copy(SBxPicBuf* dst, const SBxPicBuf* src) {
  if (!dst->pixels || !src->pixels || !SameGeometry(*dst, *src)) return;
  CopyRows(dst->pixels, dst->stride, src->pixels, src->stride,
           static_cast<size_t>(src->width) * BytesPerPixel(*src), src->height);
}

void CBxPicBufAPI::Copy(SBxPicBuf* dst, const SBxPicBuf* src, const CBxRect& rect) {
  if (!dst->pixels || !src->pixels || !SameGeometry(*dst, *src)) return;
  CopyRect(dst, src, CBxPoint{rect.left, rect.top}, CBxPoint{rect.left, rect.top},
           CBxSize{rect.Width(), rect.Height()});
}

void CBxPicBufAPI::CopyRect(SBxPicBuf* dst, const SBxPicBuf* src, CBxPoint dstPt, CBxPoint srcPt,
                            CBxSize size) {
  if (!dst->pixels || !src->pixels || dst->components != src->components ||
      dst->bitsPerComponent != src->bitsPerComponent)
    return;
  // Clip the block to both pictures, moving both origins together.
  int w = size.width, h = size.height;
  const int shiftX = std::max({0, -dstPt.x, -srcPt.x});
  const int shiftY = std::max({0, -dstPt.y, -srcPt.y});
  dstPt.x += shiftX, srcPt.x += shiftX, w -= shiftX;
  dstPt.y += shiftY, srcPt.y += shiftY, h -= shiftY;
  w = std::min({w, dst->width - dstPt.x, src->width - srcPt.x});
  h = std::min({h, dst->height - dstPt.y, src->height - srcPt.y});
  if (w <= 0 || h <= 0) return;
  const size_t bpp = BytesPerPixel(*src);
  CopyRows(RowPtr(*dst, dstPt.y) + bpp * static_cast<size_t>(dstPt.x), dst->stride,
           RowPtr(*src, srcPt.y) + bpp * static_cast<size_t>(srcPt.x), src->stride,
           bpp * static_cast<size_t>(w), h);
}

char CBxPicBufAPI::ExtractComponent(SBxPicBuf* dst, int index, const SBxPicBuf* src) {
  if (!ComponentMovePossible(src, index, dst)) return 0;
  switch (src->bitsPerComponent) {
    case 8:
      ExtractTyped<uint8_t>(*dst, index, *src);
      break;
    case 16:
      ExtractTyped<uint16_t>(*dst, index, *src);
      break;
    default:
      ExtractTyped<float>(*dst, index, *src);
      break;
  }
  return 1;
}

char CBxPicBufAPI::InsertComponent(SBxPicBuf* dst, int index, const SBxPicBuf* src) {
  if (!ComponentMovePossible(dst, index, src)) return 0;
  switch (dst->bitsPerComponent) {
    case 8:
      InsertTyped<uint8_t>(*dst, index, *src);
      break;
    case 16:
      InsertTyped<uint16_t>(*dst, index, *src);
      break;
    default:
      InsertTyped<float>(*dst, index, *src);
      break;
  }
  return 1;
}

void CBxPicBufAPI::SetConst(SBxPicBuf* buf, uint8_t value) {
  if (buf->pixels) std::memset(buf->pixels, value, buf->byteSize);
}

void CBxPicBufAPI::SetConst(SBxPicBuf* buf, const CBxRect& rect, uint8_t value) {
  if (!buf->pixels) return;
  const int left = std::max(rect.left, 0), right = std::min(rect.right, buf->width);
  const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, buf->height);
  if (left >= right || top >= bottom) return;
  const size_t bpp = BytesPerPixel(*buf);
  for (int y = top; y < bottom; ++y) {
    std::memset(RowPtr(*buf, y) + bpp * static_cast<size_t>(left), value,
                bpp * static_cast<size_t>(right - left));
  }
}
