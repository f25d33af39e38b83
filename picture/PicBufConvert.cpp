// Bit-depth, component-count and luma/chroma conversions of pictures.
//
// Every conversion works one row at a time through a small float scratch row:
// load the samples as floats, do the arithmetic on plain float arrays, store
// with rounding and clamping. The loops are a pointer and a count so that the
// compiler vectorises them, and loading a whole row before storing it makes
// in-place conversion safe.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "picture/CBxPicBufAPI.h"

namespace {

// Full-range luma weights (the ones JPEG files use). The luma is computed as
// G + kR (R - G) + kB (B - G): the same weights, but a grey pixel keeps its
// exact value, in float pictures too.
constexpr double kLumaR = 0.299;
constexpr double kLumaB = 0.114;
constexpr double kLumaG = 1.0 - kLumaR - kLumaB;
// Chroma: Cb = (B - Y) / kCbRange, Cr = (R - Y) / kCrRange, both within half
// the sample range around the mid-range offset.
constexpr double kCbRange = 2.0 * (1.0 - kLumaB);  // 1.772
constexpr double kCrRange = 2.0 * (1.0 - kLumaR);  // 1.402

constexpr float kYFromR = static_cast<float>(kLumaR);
constexpr float kYFromB = static_cast<float>(kLumaB);
constexpr float kCbFromBY = static_cast<float>(1.0 / kCbRange);
constexpr float kCrFromRY = static_cast<float>(1.0 / kCrRange);
constexpr float kBFromCb = static_cast<float>(kCbRange);
constexpr float kRFromCr = static_cast<float>(kCrRange);
constexpr float kGFromCb = static_cast<float>(-kLumaB * kCbRange / kLumaG);  // -0.344136
constexpr float kGFromCr = static_cast<float>(-kLumaR * kCrRange / kLumaG);  // -0.714136

inline float Luma(float b, float g, float r) {
  return g + kYFromR * (r - g) + kYFromB * (b - g);
}

bool SupportedDepth(uint32_t bits) {
  return bits == 8 || bits == 16 || bits == 32;
}

// Sample types: the largest value and the chroma offset. Float pictures hold
// numbers of any range, so their chroma is centred on zero and nothing is
// clamped or rounded.
template <typename T>
struct SampleTraits;
template <>
struct SampleTraits<uint8_t> {
  static constexpr float kMax = 255.0f;
  static constexpr float kChromaOffset = 128.0f;
};
template <>
struct SampleTraits<uint16_t> {
  static constexpr float kMax = 65535.0f;
  static constexpr float kChromaOffset = 32768.0f;
};
template <>
struct SampleTraits<float> {
  static constexpr float kChromaOffset = 0.0f;
};

// Rounds to nearest and clamps into the sample range; NaN becomes 0. The half
// is added before clamping (to [0.5, max + 0.5]) because that form compiles
// to vector code, where clamping first would not.
template <typename T>
inline T FromFloat(float v) {
  if constexpr (std::is_same_v<T, float>) {
    return v;
  } else {
    constexpr float kTop = SampleTraits<T>::kMax + 0.5f;
    v += 0.5f;
    v = v > 0.5f ? v : 0.5f;
    v = v < kTop ? v : kTop;
    return static_cast<T>(static_cast<int>(v));
  }
}

template <typename T>
void LoadRow(float* __restrict out, const T* __restrict in, size_t count) {
  for (size_t i = 0; i < count; ++i)
    out[i] = static_cast<float>(in[i]);
}

template <typename T>
void StoreRow(T* __restrict out, const float* __restrict in, size_t count, float scale) {
  for (size_t i = 0; i < count; ++i)
    out[i] = FromFloat<T>(in[i] * scale);
}

void LoadAnyRow(float* out, const uint8_t* row, uint32_t bits, size_t count) {
  switch (bits) {
    case 8:
      LoadRow(out, row, count);
      break;
    case 16:
      LoadRow(out, reinterpret_cast<const uint16_t*>(row), count);
      break;
    default:
      LoadRow(out, reinterpret_cast<const float*>(row), count);
      break;
  }
}

void StoreAnyRow(uint8_t* row, const float* in, uint32_t bits, size_t count, float scale) {
  switch (bits) {
    case 8:
      StoreRow(row, in, count, scale);
      break;
    case 16:
      StoreRow(reinterpret_cast<uint16_t*>(row), in, count, scale);
      break;
    default:
      StoreRow(reinterpret_cast<float*>(row), in, count, scale);
      break;
  }
}

void ColourToGrey(float* __restrict grey, const float* __restrict bgr, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i)
    grey[i] = Luma(bgr[3 * i], bgr[3 * i + 1], bgr[3 * i + 2]);
}

void GreyToColour(float* __restrict bgr, const float* __restrict grey, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i)
    bgr[3 * i] = bgr[3 * i + 1] = bgr[3 * i + 2] = grey[i];
}

// 8 <-> 16 bits spans the full range (255 becomes 65535); integer <-> float
// keeps the number.
float DepthScale(uint32_t fromBits, uint32_t toBits) {
  if (fromBits == 8 && toBits == 16) return 257.0f;
  if (fromBits == 16 && toBits == 8) return 1.0f / 257.0f;
  return 1.0f;
}

// Blue, green, red become luma, Cb, Cr in place in a row of floats.
void RgbToYuvInPlace(float* __restrict px, size_t pixels, float offset) {
  for (size_t i = 0; i < pixels; ++i) {
    const float b = px[3 * i], g = px[3 * i + 1], r = px[3 * i + 2];
    const float y = Luma(b, g, r);
    px[3 * i] = y;
    px[3 * i + 1] = (b - y) * kCbFromBY + offset;
    px[3 * i + 2] = (r - y) * kCrFromRY + offset;
  }
}

void YuvToRgbInPlace(float* __restrict px, size_t pixels, float offset) {
  for (size_t i = 0; i < pixels; ++i) {
    const float y = px[3 * i], cb = px[3 * i + 1] - offset, cr = px[3 * i + 2] - offset;
    px[3 * i] = y + kBFromCb * cb;
    px[3 * i + 1] = y + kGFromCb * cb + kGFromCr * cr;
    px[3 * i + 2] = y + kRFromCr * cr;
  }
}

std::unique_ptr<float[]> ScratchRow(size_t count) {
  return std::unique_ptr<float[]>(new (std::nothrow) float[count]);
}

template <typename T, bool kToYuv>
char ConvertColourSpace(const SBxPicBuf& dst, const SBxPicBuf& src) {
  const size_t pixels = static_cast<size_t>(src.width);
  const std::unique_ptr<float[]> row = ScratchRow(3 * pixels);
  if (!row) return 0;
  for (int y = 0; y < src.height; ++y) {
    LoadRow(row.get(), reinterpret_cast<const T*>(RowPtr(src, y)), 3 * pixels);
    if constexpr (kToYuv) {
      RgbToYuvInPlace(row.get(), pixels, SampleTraits<T>::kChromaOffset);
    } else {
      YuvToRgbInPlace(row.get(), pixels, SampleTraits<T>::kChromaOffset);
    }
    StoreRow(reinterpret_cast<T*>(RowPtr(dst, y)), row.get(), 3 * pixels, 1.0f);
  }
  return 1;
}

// Checks the source and gives dst the source's geometry when it has another
// (or none); dst may be src itself.
template <bool kToYuv>
char ConvertColourSpace(SBxPicBuf* dst, const SBxPicBuf* src) {
  if (!dst || !src || !src->pixels || src->components != 3 ||
      !SupportedDepth(src->bitsPerComponent))
    return 0;
  if (dst != src && (!dst->pixels || !SameGeometry(*dst, *src))) {
    CBxPicBufAPI::ReinitHeap(dst, src);
    if (!dst->pixels) return 0;
  }
  switch (src->bitsPerComponent) {
    case 8:
      return ConvertColourSpace<uint8_t, kToYuv>(*dst, *src);
    case 16:
      return ConvertColourSpace<uint16_t, kToYuv>(*dst, *src);
    default:
      return ConvertColourSpace<float, kToYuv>(*dst, *src);
  }
}

}  // namespace

char CBxPicBufAPI::ConvertBpcComp(SBxPicBuf* buf, uint32_t bits, uint32_t components) {
  if (!buf || !buf->pixels || !SupportedDepth(bits) || !SupportedDepth(buf->bitsPerComponent))
    return 0;
  const uint32_t from = buf->components;
  const bool toGrey = from == 3 && components == 1;
  const bool toColour = from == 1 && components == 3;
  if (components != from && !toGrey && !toColour) return 0;
  if (components == from && bits == buf->bitsPerComponent) return 1;

  ScopedPicBuf out(buf->width, buf->height, components, bits);
  const size_t width = static_cast<size_t>(buf->width);
  const std::unique_ptr<float[]> scratch = ScratchRow(width * (from + components));
  if (IsEmpty(*out) || !scratch) return 0;
  float* loaded = scratch.get();
  float* converted = loaded + width * from;
  const float scale = DepthScale(buf->bitsPerComponent, bits);
  for (int y = 0; y < buf->height; ++y) {
    LoadAnyRow(loaded, RowPtr(*buf, y), buf->bitsPerComponent, width * from);
    const float* samples = loaded;
    if (toGrey) {
      ColourToGrey(converted, loaded, width);
      samples = converted;
    } else if (toColour) {
      GreyToColour(converted, loaded, width);
      samples = converted;
    }
    StoreAnyRow(RowPtr(*out, y), samples, bits, width * components, scale);
  }
  DoneHeap(buf);
  *buf = *out;
  Init(out.get());  // the storage now belongs to buf
  return 1;
}

char CBxPicBufAPI::ConvertRGBtoYUV(SBxPicBuf* dst, const SBxPicBuf* src) {
  return ConvertColourSpace<true>(dst, src);
}

char CBxPicBufAPI::ConvertYUVtoRGB(SBxPicBuf* dst, const SBxPicBuf* src) {
  return ConvertColourSpace<false>(dst, src);
}
