#include <gtest/gtest.h>

#include <omp.h>

#include <cstring>
#include <vector>

#include "ToneTestUtil.h"
#include "fusion/Pyramid.h"
#include "tone/SmartContrast.h"

namespace {

const int kAllTen[8] = {10, 10, 10, 10, 10, 10, 10, 10};

// Prepares, applies and crops: the panel's whole path.
void Contrast(SBxPicBuf* dst, const SBxPicBuf* src, const int lod[8]) {
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src));
  ASSERT_EQ(SmartContrastApply(&state, lod), 0);
  CBxPicBufAPI::ReinitHeap(dst, src);
  SmartContrastCopyResult(dst, state);
}

// One component collapsed exactly as described, one whole plane at a time, on a
// single thread, with a separate weighted plane: the engine's row bands and
// threads must not change a bit of it.
std::vector<float> SerialCollapse(SmartContrastPyramid& p, uint32_t c, const float gains[8]) {
  std::vector<std::vector<float>> gauss(p.levelCount + 1), lap(p.levelCount);
  const auto w = [&](uint32_t k) { return p.levelWidth[k]; };
  const auto h = [&](uint32_t k) { return p.levelHeight[k]; };
  for (uint32_t k = 0; k <= p.levelCount; ++k)
    gauss[k].resize(size_t{w(k)} * h(k));
  gauss[0] = p.gauss[c][0];
  for (uint32_t k = 0; k < p.levelCount; ++k) {
    lap[k].resize(gauss[k].size());
    PyrReduce(gauss[k + 1].data(), gauss[k].data(), w(k + 1), h(k + 1), w(k), h(k), p.kernel);
    PyrExpand(lap[k].data(), gauss[k + 1].data(), w(k), h(k), w(k + 1), h(k + 1), p.kernel);
    PlaneSubtract(lap[k].data(), gauss[k].data(), lap[k].data(), w(k), h(k));
  }
  for (uint32_t k = p.levelCount; k-- > 0;) {
    std::vector<float> weighted(lap[k].size());
    PyrExpand(gauss[k].data(), gauss[k + 1].data(), w(k), h(k), w(k + 1), h(k + 1), p.kernel);
    for (size_t i = 0; i < weighted.size(); ++i)
      weighted[i] = gains[k] * lap[k][i];
    PlaneAdd(gauss[k].data(), gauss[k].data(), weighted.data(), w(k), h(k));
  }
  return gauss[0];
}

double Mean(const SBxPicBuf& pic) {
  double sum = 0.0;
  const size_t n = static_cast<size_t>(pic.width) * pic.components;
  for (int y = 0; y < pic.height; ++y)
    for (size_t i = 0; i < n; ++i)
      sum += SampleAt(pic, y, i);
  return sum / static_cast<double>(n * static_cast<size_t>(pic.height));
}

}  // namespace

TEST(SmartContrastGeometry, LevelsPaddingAndOffsets) {
  EXPECT_EQ(SmartContrastLevelCount(1000, 600), 6u);
  EXPECT_EQ(SmartContrastLevelCount(10, 500), 0u);
  EXPECT_EQ(SmartContrastLevelCount(11, 11), 1u);
  EXPECT_EQ(SmartContrastLevelCount(4000, 3000), 8u);  // nine halvings, limited to 8
  ScopedPicBuf src(1000, 600, 3, 8);
  FillPhotoLike(src.get(), 1);
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src.get()));
  EXPECT_EQ(state.pyramid.levelCount, 6u);
  EXPECT_EQ(state.paddedSource.width, 1280);
  EXPECT_EQ(state.paddedSource.height, 896);
  EXPECT_EQ(state.offsetX, 140);
  EXPECT_EQ(state.offsetY, 148);
  EXPECT_EQ(state.pyramid.levelWidth[6], 20u);
  EXPECT_EQ(state.pyramid.levelHeight[6], 14u);
}

TEST(SmartContrastGeometry, MarginsRepeatTheNearestSourcePixel) {
  ScopedPicBuf pic(9, 7, 3, 16);
  CBxPicBufAPI::SetConst(pic.get(), 0);
  ScopedPicBuf src(3, 2, 3, 16);
  FillPhotoLike(src.get(), 9);
  CBxPicBufAPI::CopyRect(pic.get(), src.get(), CBxPoint{4, 3}, CBxPoint{0, 0}, CBxSize{3, 2});
  PadReplicateAround(pic.get(), 4, 3, 3, 2);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x)
      for (size_t c = 0; c < 3; ++c) {
        const int sx = std::clamp(x - 4, 0, 2), sy = std::clamp(y - 3, 0, 1);
        ASSERT_EQ(SampleAt(*pic, y, x * 3 + c), SampleAt(*src, sy, sx * 3 + c)) << x << "," << y;
      }
}

TEST(SmartContrastApply, DefaultGainsGiveTheSourceBackWithinTruncation) {
  for (auto [components, bits] : {std::pair{1u, 8u}, std::pair{3u, 8u}, std::pair{3u, 16u}}) {
    SCOPED_TRACE(testing::Message() << components << " x " << bits);
    ScopedPicBuf src(123, 77, components, bits), dst;
    FillPhotoLike(src.get(), 3);
    Contrast(dst.get(), src.get(), kAllTen);
    int exact = 0, total = 0;
    for (int y = 0; y < src->height; ++y)
      for (size_t i = 0; i < size_t{123} * components; ++i, ++total) {
        const int d = SampleAt(*src, y, i) - SampleAt(*dst, y, i);
        ASSERT_TRUE(d == 0 || d == 1) << i << "," << y << ": " << d;
        exact += d == 0;
      }
    EXPECT_GT(exact, total / 2);
  }
}

TEST(SmartContrastApply, ZeroGainsBlurButKeepTheMean) {
  ScopedPicBuf src(160, 120, 1, 8), dst;
  FillPhotoLike(src.get(), 4);
  const int zero[8] = {};
  Contrast(dst.get(), src.get(), zero);
  EXPECT_NEAR(Mean(*dst), Mean(*src), 2.0);
  // The bright square's hard edge is gone: neighbours across it differ little.
  const int y = 45, x = 160 / 3;
  EXPECT_GT(SampleAt(*src, y, x + 1) - SampleAt(*src, y, x), 60);
  EXPECT_LT(std::abs(SampleAt(*dst, y, x + 1) - SampleAt(*dst, y, x)), 10);
}

TEST(SmartContrastApply, StrongGainsClampInsteadOfWrapping) {
  ScopedPicBuf src(64, 48, 3, 8), dst;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64 * 3; ++x)
      RowPtr(*src, y)[x] = (x / 3 / 8 + y / 8) % 2 ? 255 : 0;
  const int strong[8] = {30, 30, 30, 30, 30, 30, 30, 30};
  Contrast(dst.get(), src.get(), strong);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64 * 3; ++x)
      ASSERT_EQ(RowPtr(*dst, y)[x], RowPtr(*src, y)[x]) << x << "," << y;
  const int beyond[8] = {31, 99, 30, 30, 30, 30, 30, 30};  // limited to 30
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src.get()));
  ASSERT_EQ(SmartContrastApply(&state, beyond), 0);
  EXPECT_EQ(state.lod[0], 30);
  EXPECT_EQ(state.lod[1], 30);
}

TEST(SmartContrastApply, TinyPicturesComeBackUnchanged) {
  for (auto [w, h, components] :
       {std::tuple{10, 40, 3u}, std::tuple{1, 1, 1u}, std::tuple{30, 7, 1u}}) {
    ScopedPicBuf src(w, h, components, 8), dst;
    FillPhotoLike(src.get(), 5);
    Contrast(dst.get(), src.get(), kAllTen);
    for (int y = 0; y < h; ++y)
      ASSERT_EQ(std::memcmp(RowPtr(*src, y), RowPtr(*dst, y), size_t{components} * w), 0);
  }
}

// The rebuild is spread over row bands and threads; it must equal the plain
// whole-plane collapse bit for bit, and give the same on one thread as on many.
TEST(SmartContrastApply, RowBandsAndThreadsDoNotChangeTheResult) {
  ScopedPicBuf src(150, 97, 1, 16);
  FillPhotoLike(src.get(), 2);
  SmartContrastState state;
  ASSERT_FALSE(SmartContrastPrepare(&state, src.get()));
  const float gains[8] = {1.7f, 0.3f, 2.2f, 1.0f, 0.0f, 1.1f, 1.0f, 1.0f};
  const std::vector<float> serial = SerialCollapse(state.pyramid, 0, gains);
  ScopedPicBuf want(state.paddedResult.width, state.paddedResult.height, 1, 16);
  FloatToPicture(want.get(), serial.data());
  for (int threads : {1, 2, 3}) {
    omp_set_num_threads(threads);
    ScopedPicBuf got(state.paddedResult.width, state.paddedResult.height, 1, 16);
    SmartContrastRebuild(got.get(), &state.pyramid, gains, 0);
    for (int y = 0; y < got->height; ++y)
      ASSERT_EQ(std::memcmp(RowPtr(*got, y), RowPtr(*want, y), size_t{2} * got->width), 0)
          << threads << " threads, row " << y;
  }
  omp_set_num_threads(omp_get_num_procs());
}
