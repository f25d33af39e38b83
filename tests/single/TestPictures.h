#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>

#include "picture/CBxPicBufAPI.h"

// Small helpers for building and comparing pictures in the single-image tests.

template <typename T>
T& Sample(const SBxPicBuf& pic, int x, int y, int c = 0) {
  return reinterpret_cast<T*>(
      RowPtr(pic, y))[static_cast<size_t>(x) * pic.components + static_cast<size_t>(c)];
}

// Every sample set from f(x, y, c).
inline void Fill(SBxPicBuf* pic, const std::function<uint32_t(int, int, int)>& f) {
  for (int y = 0; y < pic->height; ++y) {
    for (int x = 0; x < pic->width; ++x) {
      for (uint32_t c = 0; c < pic->components; ++c) {
        const uint32_t v = f(x, y, static_cast<int>(c));
        if (pic->bitsPerComponent == 8) {
          Sample<uint8_t>(*pic, x, y, static_cast<int>(c)) = static_cast<uint8_t>(v);
        } else {
          Sample<uint16_t>(*pic, x, y, static_cast<int>(c)) = static_cast<uint16_t>(v);
        }
      }
    }
  }
}

// A smooth picture with fixed-seed noise on top: something for a denoiser to do.
inline void FillNoisy(SBxPicBuf* pic, uint32_t seed, int noise = 12) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> jitter(-noise, noise);
  const int maximum = pic->bitsPerComponent == 8 ? 255 : 65535;
  const int scale = pic->bitsPerComponent == 8 ? 1 : 257;
  Fill(pic, [&](int x, int y, int c) {
    const int base = 40 + (x * 3 + y * 2 + c * 30) % 170;
    const int v = (base + jitter(rng)) * scale;
    return static_cast<uint32_t>(std::clamp(v, 0, maximum));
  });
}

inline bool SamePixels(const SBxPicBuf& a, const SBxPicBuf& b) {
  if (!SameGeometry(a, b)) return false;
  const size_t rowBytes = static_cast<size_t>(a.width) * BytesPerPixel(a);
  for (int y = 0; y < a.height; ++y) {
    if (std::memcmp(RowPtr(a, y), RowPtr(b, y), rowBytes) != 0) return false;
  }
  return true;
}
