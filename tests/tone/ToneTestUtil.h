#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "picture/CBxPicBufAPI.h"

// Deterministic uniform values in [0, 1).
inline float Uniform(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return static_cast<float>(state >> 8) / 16777216.0f;
}

// A photograph-like plane on the 0..255 scale: a smooth gradient, a hard-edged
// bright square, a dark disc and noise, so that details, edges and flat areas occur.
inline std::vector<float> PhotoLikePlane(int width, int height, uint32_t seed) {
  std::vector<float> plane;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      float v = 40.0f + 120.0f * static_cast<float>(x + y) / static_cast<float>(width + height);
      if (x > width / 3 && x < width / 2 && y > height / 4 && y < height / 2) v += 90.0f;
      const int dx = x - 2 * width / 3, dy = y - height / 2;
      if (16 * (dx * dx + dy * dy) < height * height) v -= 35.0f;
      plane.push_back(v + 12.0f * (Uniform(seed) - 0.5f));
    }
  return plane;
}

// Sets sample c of pixel (x, y) to value(x, y, c) on the 0..255 scale, clamped
// (times 257 at 16 bits).
template <class Value>
void Fill(SBxPicBuf* pic, Value value) {
  for (int y = 0; y < pic->height; ++y)
    for (int x = 0; x < pic->width; ++x)
      for (uint32_t c = 0; c < pic->components; ++c) {
        const float v = std::clamp(static_cast<float>(value(x, y, c)), 0.0f, 255.0f);
        const uint32_t i = x * pic->components + c;
        if (pic->bitsPerComponent == 8)
          RowPtr(*pic, y)[i] = static_cast<uint8_t>(v);
        else
          reinterpret_cast<uint16_t*>(RowPtr(*pic, y))[i] = static_cast<uint16_t>(v * 257.0f);
      }
}

// Component c is the photo-like plane of seed + c.
inline void FillPhotoLike(SBxPicBuf* pic, uint32_t seed) {
  std::vector<std::vector<float>> planes;
  for (uint32_t c = 0; c < pic->components; ++c)
    planes.push_back(PhotoLikePlane(pic->width, pic->height, seed + c));
  Fill(pic, [&](int x, int y, uint32_t c) { return planes[c][y * pic->width + x]; });
}

// Sample i of row y, whatever the depth.
inline int SampleAt(const SBxPicBuf& pic, int y, size_t i) {
  return pic.bitsPerComponent == 8 ? RowPtr(pic, y)[i]
                                   : reinterpret_cast<const uint16_t*>(RowPtr(pic, y))[i];
}

// How many samples differ by each amount a - b.
inline std::map<int, size_t> Differences(const SBxPicBuf& a, const SBxPicBuf& b) {
  std::map<int, size_t> count;
  for (int y = 0; y < a.height; ++y)
    for (uint32_t i = 0; i < a.width * a.components; ++i)
      ++count[SampleAt(a, y, i) - SampleAt(b, y, i)];
  return count;
}

inline int MaxDifference(const SBxPicBuf& a, const SBxPicBuf& b) {
  const std::map<int, size_t> d = Differences(a, b);
  return std::max(-d.begin()->first, d.rbegin()->first);
}

// Same geometry and the same bytes in every pixel, whatever the depth.
inline bool SamePixels(const SBxPicBuf& a, const SBxPicBuf& b) {
  for (int y = 0; SameGeometry(a, b) && y < a.height; ++y)
    if (std::memcmp(RowPtr(a, y), RowPtr(b, y), static_cast<size_t>(a.width) * BytesPerPixel(a)))
      return false;
  return SameGeometry(a, b);
}
