#pragma once

#include <cstdint>
#include <vector>

// Deterministic test planes on the 0..255 working scale.
class TestRandom {
 public:
  explicit TestRandom(uint32_t seed) : state_(seed) {}
  // Uniform in [0, 1).
  float Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(state_ >> 8) / 16777216.0f;
  }

 private:
  uint32_t state_;
};

// A photograph-like plane: a smooth gradient, a hard-edged bright square, a
// dark disc and noise, so that details, edges and flat areas all occur.
inline std::vector<float> PhotoLikePlane(int width, int height, uint32_t seed) {
  TestRandom random(seed);
  std::vector<float> plane(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float v = 40.0f + 120.0f * static_cast<float>(x + y) / static_cast<float>(width + height);
      if (x > width / 3 && x < width / 2 && y > height / 4 && y < height / 2) v += 90.0f;
      const float dx = static_cast<float>(x - 2 * width / 3),
                  dy = static_cast<float>(y - height / 2);
      if (dx * dx + dy * dy < static_cast<float>(height * height) / 16.0f) v -= 35.0f;
      v += 12.0f * (random.Next() - 0.5f);
      plane[static_cast<size_t>(y) * static_cast<size_t>(width) + x] = v;
    }
  }
  return plane;
}

#include "picture/CBxPicBufAPI.h"

// A photograph-like picture of any depth (8 or 16 bits) and 1 or 3 components:
// component c is the photo-like plane of seed + c, scaled to the full range.
inline void FillPhotoLike(SBxPicBuf* pic, uint32_t seed) {
  const float scale = pic->bitsPerComponent == 16 ? 257.0f : 1.0f;
  for (uint32_t c = 0; c < pic->components; ++c) {
    const std::vector<float> plane = PhotoLikePlane(pic->width, pic->height, seed + c);
    for (int y = 0; y < pic->height; ++y) {
      for (int x = 0; x < pic->width; ++x) {
        float v = plane[static_cast<size_t>(y) * static_cast<size_t>(pic->width) + x];
        v = v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v);
        const size_t i = static_cast<size_t>(x) * pic->components + c;
        if (pic->bitsPerComponent == 8)
          RowPtr(*pic, y)[i] = static_cast<uint8_t>(v);
        else
          reinterpret_cast<uint16_t*>(RowPtr(*pic, y))[i] = static_cast<uint16_t>(v * scale);
      }
    }
  }
}

// Sample i of row y, whatever the depth.
inline int SampleAt(const SBxPicBuf& pic, int y, size_t i) {
  return pic.bitsPerComponent == 8 ? RowPtr(pic, y)[i]
                                   : reinterpret_cast<const uint16_t*>(RowPtr(pic, y))[i];
}
