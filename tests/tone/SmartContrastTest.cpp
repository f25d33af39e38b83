#include <gtest/gtest.h>

#include <omp.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "ToneTestUtil.h"
#include "pyramid/Pyramid.h"
#include "tone/SmartContrast.h"

namespace {

// Prepares, applies and crops: the panel's whole path.
void Contrast(SBxPicBuf* dst, const SBxPicBuf* src, int gain) {
  SmartContrastState state;
  const int lod[8] = {gain, gain, gain, gain, gain, gain, gain, gain};
  ASSERT_FALSE(SmartContrastPrepare(&state, src));
  ASSERT_EQ(SmartContrastApply(&state, lod), 0);
  CBxPicBufAPI::ReinitHeap(dst, src);
  SmartContrastCopyResult(dst, state);
}

}  // namespace

// 1000 x 600: six levels, padded to 1280 x 896 with the source at (140, 148) and
// every margin pixel repeating the nearest source pixel.
TEST(SmartContrastGeometry, LevelsPaddingAndMargins) {
  EXPECT_EQ(std::tuple(SmartContrastLevelCount(10, 500), SmartContrastLevelCount(11, 11),
                       SmartContrastLevelCount(4000, 3000)),  // nine halvings, limited to 8
            std::tuple(0u, 1u, 8u));
  ScopedPicBuf src(1000, 600, 3, 8);
  FillPhotoLike(src.get(), 1);
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src.get()));
  const SBxPicBuf& padded = state.paddedSource;
  EXPECT_EQ(std::tuple(state.pyramid.levelCount, padded.width, padded.height, state.offsetX,
                       state.offsetY, state.pyramid.levelWidth[6], state.pyramid.levelHeight[6]),
            std::tuple(6u, 1280, 896, 140, 148, 20u, 14u));
  for (int y = 0; y < padded.height; ++y)
    for (int x = 0; x < padded.width; ++x) {
      const int sx = std::clamp(x - 140, 0, 999), sy = std::clamp(y - 148, 0, 599);
      ASSERT_EQ(std::memcmp(RowPtr(padded, y) + 3 * x, RowPtr(*src, sy) + 3 * sx, 3), 0)
          << x << "," << y;
    }
}

// Gains of 10 give the source back within the truncation step: each sample equal
// or (less often) one below. A picture whose shorter side is below 11 comes back as it was.
TEST(SmartContrastApply, DefaultGainsGiveTheSourceBack) {
  for (auto [w, h, components, bits] :
       {std::tuple{123, 77, 1u, 8u}, std::tuple{123, 77, 3u, 8u}, std::tuple{123, 77, 3u, 16u},
        std::tuple{10, 40, 3u, 8u}, std::tuple{1, 1, 1u, 8u}, std::tuple{30, 7, 1u, 16u}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h << " x " << components << " x " << bits);
    ScopedPicBuf src(w, h, components, bits), dst;
    FillPhotoLike(src.get(), 3);
    Contrast(dst.get(), src.get(), 10);
    const std::map<int, size_t> d = Differences(*src, *dst);
    EXPECT_EQ(d.begin()->first, 0);
    EXPECT_LE(d.rbegin()->first, std::min(w, h) < 11 ? 0 : 1);
    EXPECT_GT(d.at(0), size_t{w * h * components} / 2);
  }
}

TEST(SmartContrastApply, ZeroGainsBlurButKeepTheMean) {
  ScopedPicBuf src(160, 120, 1, 8), dst;
  FillPhotoLike(src.get(), 4);
  Contrast(dst.get(), src.get(), 0);
  double shift = 0.0;  // of the mean
  for (auto [d, count] : Differences(*dst, *src))
    shift += d * static_cast<double>(count) / (160 * 120);
  EXPECT_NEAR(shift, 0.0, 2.0);
  // The bright square's hard edge is gone: neighbours across it differ little.
  EXPECT_GT(SampleAt(*src, 45, 54) - SampleAt(*src, 45, 53), 60);
  EXPECT_LT(std::abs(SampleAt(*dst, 45, 54) - SampleAt(*dst, 45, 53)), 10);
}

// Black and white squares amplified three times clamp instead of wrapping; gains
// beyond 30 are limited to it.
TEST(SmartContrastApply, StrongGainsClamp) {
  ScopedPicBuf src(64, 48, 3, 8), dst;
  Fill(src.get(), [](int x, int y, uint32_t) { return (x / 8 + y / 8) % 2 ? 255 : 0; });
  Contrast(dst.get(), src.get(), 30);
  EXPECT_TRUE(SamePixels(*dst, *src));
  const int beyond[8] = {31, 99, 30, 30, 30, 30, 30, 30};
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src.get()));
  ASSERT_EQ(SmartContrastApply(&state, beyond), 0);
  EXPECT_EQ(std::pair(state.lod[0], state.lod[1]), std::pair(30, 30));
}

// The rebuild runs over row bands and threads; on any number of threads it equals
// bit for bit the plain collapse: whole planes, one thread, a separate weighted plane.
TEST(SmartContrastApply, RowBandsAndThreadsDoNotChangeTheResult) {
  ScopedPicBuf src(150, 97, 1, 16);
  FillPhotoLike(src.get(), 2);
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src.get()));
  const float gains[8] = {1.7f, 0.3f, 2.2f, 1.0f, 0.0f, 1.1f, 1.0f, 1.0f};
  SmartContrastPyramid& p = state.pyramid;
  const uint32_t* w = p.levelWidth;
  const uint32_t* h = p.levelHeight;
  std::vector<std::vector<float>> gauss(p.levelCount + 1), lap(p.levelCount);
  gauss[0] = p.gauss[0][0];
  for (uint32_t k = 0; k < p.levelCount; ++k) {
    gauss[k + 1].resize(size_t{w[k + 1]} * h[k + 1]);
    lap[k].resize(gauss[k].size());
    PyrReduce(gauss[k + 1].data(), gauss[k].data(), w[k + 1], h[k + 1], w[k], h[k], p.kernel);
    PyrExpand(lap[k].data(), gauss[k + 1].data(), w[k], h[k], w[k + 1], h[k + 1], p.kernel);
    PlaneSubtract(lap[k].data(), gauss[k].data(), lap[k].data(), w[k], h[k]);
  }
  for (uint32_t k = p.levelCount; k-- > 0;) {
    PyrExpand(gauss[k].data(), gauss[k + 1].data(), w[k], h[k], w[k + 1], h[k + 1], p.kernel);
    for (float& v : lap[k])
      v *= gains[k];
    PlaneAdd(gauss[k].data(), gauss[k].data(), lap[k].data(), w[k], h[k]);
  }
  ScopedPicBuf want(state.paddedResult.width, state.paddedResult.height, 1, 16);
  FloatToPicture(want.get(), gauss[0].data());
  for (int threads : {1, 2, 3}) {
    omp_set_num_threads(threads);
    ScopedPicBuf got(want->width, want->height, 1, 16);
    SmartContrastRebuild(got.get(), &p, gains, 0);
    EXPECT_TRUE(SamePixels(*got, *want)) << threads << " threads";
  }
  omp_set_num_threads(omp_get_num_procs());
}

// The preparation makes its planes, copies and pads the source and decomposes
// it over threads; every plane of the pyramid must not depend on how many.
TEST(SmartContrastGeometry, PreparationDoesNotDependOnTheThreadCount) {
  ScopedPicBuf src(203, 117, 3, 8);
  FillPhotoLike(src.get(), 6);
  omp_set_num_threads(1);
  SmartContrastState one;
  ASSERT_FALSE(SmartContrastPrepare(&one, src.get()));
  for (int threads : {2, 3}) {
    omp_set_num_threads(threads);
    SmartContrastState many;
    ASSERT_FALSE(SmartContrastPrepare(&many, src.get()));
    EXPECT_TRUE(SamePixels(one.paddedSource, many.paddedSource)) << threads;
    for (uint32_t c = 0; c < 3; ++c)
      for (uint32_t k = 0; k < one.pyramid.levelCount; ++k) {
        const size_t bytes = one.pyramid.gauss[c][k].size() * sizeof(float);
        EXPECT_EQ(
            std::memcmp(one.pyramid.gauss[c][k].data(), many.pyramid.gauss[c][k].data(), bytes), 0)
            << c << " " << k;
        EXPECT_EQ(
            std::memcmp(one.pyramid.laplace[c][k].data(), many.pyramid.laplace[c][k].data(), bytes),
            0)
            << c << " " << k;
      }
  }
  omp_set_num_threads(omp_get_num_procs());
}
