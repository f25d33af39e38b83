#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"

// Helpers shared by the single-image tests: building and comparing pictures,
// and a scratch folder per test.

// Every sample set from f(x, y, c).
inline void Fill(SBxPicBuf* pic, const std::function<uint32_t(int, int, int)>& f) {
  const int n = static_cast<int>(pic->components);
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (int i = 0; i < pic->width * n; ++i) {
      if (pic->bitsPerComponent == 8) {
        row[i] = static_cast<uint8_t>(f(i / n, y, i % n));
      } else {
        reinterpret_cast<uint16_t*>(row)[i] = static_cast<uint16_t>(f(i / n, y, i % n));
      }
    }
  }
}

// A smooth picture with fixed-seed noise on top: something for a denoiser to do.
inline void FillNoisy(SBxPicBuf* pic, uint32_t seed, int noise = 12) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> jitter(-noise, noise);
  const int scale = pic->bitsPerComponent == 8 ? 1 : 257;
  Fill(pic, [&](int x, int y, int c) {
    const int v = (40 + (x * 3 + y * 2 + c * 30) % 170 + jitter(rng)) * scale;
    return static_cast<uint32_t>(std::clamp(v, 0, 255 * scale));
  });
}

// Every sample, row by row.
inline std::vector<uint32_t> Samples(const SBxPicBuf& pic) {
  std::vector<uint32_t> out;
  for (int y = 0; y < pic.height; ++y) {
    const uint8_t* row = RowPtr(pic, y);
    for (int i = 0; i < pic.width * static_cast<int>(pic.components); ++i)
      out.push_back(pic.bitsPerComponent == 8 ? row[i] : reinterpret_cast<const uint16_t*>(row)[i]);
  }
  return out;
}

inline bool SamePixels(const SBxPicBuf& a, const SBxPicBuf& b) {
  return SameGeometry(a, b) && Samples(a) == Samples(b);
}

inline std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder under /tmp per test, which also holds the settings and the
// cache (and so the program's temporary folder) while the test runs.
class ScratchFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-single-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::filesystem::path root_;
};
