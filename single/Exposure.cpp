// Levels window, power curve, channel means and the noise estimate.
#include "single/Exposure.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// Both pictures of one geometry, with samples of the form's size: an 8-bit
// form never writes bytes into 16-bit rows, nor the other way round.
bool SameShape(const SBxPicBuf* dst, const SBxPicBuf* src, bool eightBit) {
  return dst && src && dst->pixels && src->pixels && dst->width == src->width &&
         dst->height == src->height && dst->components == src->components &&
         (src->bitsPerComponent == 8) == eightBit && (dst->bitsPerComponent == 8) == eightBit &&
         src->bitsPerComponent <= 16 && dst->bitsPerComponent <= 16;
}

uint32_t LevelsSample(uint32_t s, uint32_t low, uint32_t high, uint32_t maximum) {
  if (s >= high) return maximum;
  if (s < low) return 0;
  const double v =
      static_cast<double>(s - low) / static_cast<double>(high - low) * static_cast<double>(maximum);
  return static_cast<uint32_t>(v);
}

uint32_t GammaSample(uint32_t s, double gamma, uint32_t maximum) {
  const double m = static_cast<double>(maximum);
  const double v = std::pow(static_cast<double>(s) / m, 1.0 / gamma) * m + 0.5;
  if (!(v > 0.0)) return 0;
  if (!(v < m)) return maximum;
  return static_cast<uint32_t>(v);
}

// Every sample of src through a table indexed by the sample value. The table
// holds the formula's value for every possible sample, so the result is the
// formula's, at the cost of one lookup per sample.
template <typename T>
void ApplyTable(SBxPicBuf* dst, const SBxPicBuf* src, const T* table) {
  const size_t n = static_cast<size_t>(src->width) * src->components;
  for (int y = 0; y < src->height; ++y) {
    const T* s = reinterpret_cast<const T*>(RowPtr(*src, y));
    T* d = reinterpret_cast<T*>(RowPtr(*dst, y));
    for (size_t i = 0; i < n; ++i)
      d[i] = table[s[i]];
  }
}

// Sample-by-sample form for 16-bit pictures, used only when the 128 KB table
// cannot be had.
template <typename F>
void ApplyDirect16(SBxPicBuf* dst, const SBxPicBuf* src, F f) {
  const size_t n = static_cast<size_t>(src->width) * src->components;
  for (int y = 0; y < src->height; ++y) {
    const uint16_t* s = reinterpret_cast<const uint16_t*>(RowPtr(*src, y));
    uint16_t* d = reinterpret_cast<uint16_t*>(RowPtr(*dst, y));
    for (size_t i = 0; i < n; ++i)
      d[i] = static_cast<uint16_t>(f(s[i]));
  }
}

template <typename F>
void Apply16(SBxPicBuf* dst, const SBxPicBuf* src, F f) {
  constexpr size_t kValues = 65536;
  std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[kValues]);
  if (!table) return ApplyDirect16(dst, src, f);
  for (size_t v = 0; v < kValues; ++v)
    table[v] = static_cast<uint16_t>(f(static_cast<uint32_t>(v)));
  ApplyTable(dst, src, table.get());
}

template <typename T>
void ChannelMeans3(double* sum0, double* sum1, double* sum2, const SBxPicBuf* picture) {
  if (!picture || !picture->pixels || picture->components != 3) return;
  // Integer sums are exact, so the order of additions cannot change the means.
  uint64_t total[3] = {0, 0, 0};
  for (int y = 0; y < picture->height; ++y) {
    const T* s = reinterpret_cast<const T*>(RowPtr(*picture, y));
    uint64_t row[3] = {0, 0, 0};
    for (int x = 0; x < picture->width; ++x, s += 3) {
      row[0] += s[0];
      row[1] += s[1];
      row[2] += s[2];
    }
    for (int c = 0; c < 3; ++c)
      total[c] += row[c];
  }
  const double count = static_cast<double>(static_cast<int64_t>(picture->width) * picture->height);
  *sum0 = (*sum0 + static_cast<double>(total[0])) / count;
  *sum1 = (*sum1 + static_cast<double>(total[1])) / count;
  *sum2 = (*sum2 + static_cast<double>(total[2])) / count;
}

}  // namespace

uint32_t SampleMaximum(uint32_t bitsPerComponent) {
  if (bitsPerComponent == 8) return 255;
  if (bitsPerComponent == 0 || bitsPerComponent >= 16) return 65535;
  return (1u << bitsPerComponent) - 1u;
}

void LevelsWindow_x8(SBxPicBuf* dst, const SBxPicBuf* src, uint32_t low, uint32_t high) {
  if (!SameShape(dst, src, true)) return;
  uint8_t table[256];
  for (uint32_t v = 0; v < 256; ++v)
    table[v] = static_cast<uint8_t>(LevelsSample(v, low, high, 255));
  ApplyTable(dst, src, table);
}

void LevelsWindow_x16(SBxPicBuf* dst, const SBxPicBuf* src, uint32_t low, uint32_t high) {
  if (!SameShape(dst, src, false)) return;
  const uint32_t maximum = SampleMaximum(dst->bitsPerComponent);
  Apply16(dst, src, [=](uint32_t s) { return LevelsSample(s, low, high, maximum); });
}

void GammaCurve_x8(SBxPicBuf* dst, const SBxPicBuf* src, double gamma) {
  if (!SameShape(dst, src, true)) return;
  uint8_t table[256];
  for (uint32_t v = 0; v < 256; ++v)
    table[v] = static_cast<uint8_t>(GammaSample(v, gamma, 255));
  ApplyTable(dst, src, table);
}

void GammaCurve_x16(SBxPicBuf* dst, const SBxPicBuf* src, double gamma) {
  if (!SameShape(dst, src, false)) return;
  const uint32_t maximum = SampleMaximum(src->bitsPerComponent);
  Apply16(dst, src, [=](uint32_t s) { return GammaSample(s, gamma, maximum); });
}

void ChannelMeans_3x8(double* sum0, double* sum1, double* sum2, const SBxPicBuf* picture) {
  ChannelMeans3<uint8_t>(sum0, sum1, sum2, picture);
}

void ChannelMeans_3x16(double* sum0, double* sum1, double* sum2, const SBxPicBuf* picture) {
  ChannelMeans3<uint16_t>(sum0, sum1, sum2, picture);
}

double EstimateNoise(const SBxPicBuf* picture) {
  if (!picture || !picture->pixels) return 0.0;
  const int w = picture->width, h = picture->height;
  if (h - 2 <= 1 || w < 3) return 0.0;
  // Each mask response is an integer, so summing them exactly in 64 bits gives
  // the same S as a double accumulator.
  uint64_t sum = 0;
  for (int y = 1; y <= h - 2; ++y) {
    const uint8_t* a = RowPtr(*picture, y - 1);
    const uint8_t* b = RowPtr(*picture, y);
    const uint8_t* c = RowPtr(*picture, y + 1);
    uint64_t row = 0;
    for (int x = 1; x <= w - 2; ++x) {
      const int v = a[x - 1] - 2 * a[x] + a[x + 1] - 2 * b[x - 1] + 4 * b[x] - 2 * b[x + 1] +
                    c[x - 1] - 2 * c[x] + c[x + 1];
      row += static_cast<uint32_t>(std::abs(v));
    }
    sum += row;
  }
  const double interior = static_cast<double>(w - 2) * static_cast<double>(h - 2);
  return std::sqrt(static_cast<double>(sum) / (12.0 * interior) * 3.14159265359);
}
