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
