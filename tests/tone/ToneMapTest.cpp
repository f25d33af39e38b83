#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cmath>
#include <numeric>
#include <tuple>
#include <vector>

#include "ToneTestUtil.h"
#include "jobs/ToneJobs.h"
#include "tone/ToneMap.h"

namespace {

const ToneMapParams kDefaults = ToneMapParamsFromSliders(10, 10, 10, 10, true);

// Records every advance; raises the cancel flag at once (cancelAt 0) or on the
// advance numbered cancelAt.
struct RecordingProgress : JobProgress {
  explicit RecordingProgress(int at = -1) : flag(at == 0), cancelAt(at) { WatchCancelFlag(&flag); }
  void Advance(int n) override {
    steps.push_back(n);
    if (static_cast<int>(steps.size()) == cancelAt) flag = 1;
  }
  int Total() const { return std::accumulate(steps.begin(), steps.end(), 0); }
  std::atomic<uint8_t> flag;
  int cancelAt;
  std::vector<int> steps;
};

// Tone-maps src into dst, made with src's geometry.
void ToneMap(SBxPicBuf* dst, const SBxPicBuf* src, const ToneMapParams& p,
             JobProgress* progress = nullptr, bool expectStopped = false) {
  CBxPicBufAPI::ReinitHeap(dst, src);
  EXPECT_EQ(LocalLaplacianToneMap(dst, src, p, progress), expectStopped);
}

}  // namespace

// The sliders' quotients are taken in single precision. The picture is processed
// padded to whole blocks with one to spare (its last column and row repeated)
// and cropped back: the same as running the plane engine on the padded plane.
TEST(ToneMapPicture, SlidersPaddingAndCropBack) {
  const ToneMapParams p = ToneMapParamsFromSliders(50, 1, 47, 1, false);
  EXPECT_EQ(
      std::tuple(kDefaults.threshold, kDefaults.power, p.threshold, p.noise, p.power, p.slope),
      std::tuple(double{0.22f}, 0.5, double{1.02f}, double{0.04f}, double{0.0375f}, double{0.98f}));
  // 1000 x 600 is processed at 1056 x 640 (600 / 32 + 1 = 19.75: 20 blocks).
  EXPECT_EQ(
      std::tuple(ToneMapPaddedSize(1000, 5), ToneMapPaddedSize(600, 5), ToneMapPaddedSize(1024, 5)),
      std::tuple(1056, 640, 1056));
  const int w = 100, h = 60, pw = ToneMapPaddedSize(w, 5), ph = ToneMapPaddedSize(h, 5);
  ScopedPicBuf src(w, h, 1, 8), dst;
  FillPhotoLike(src.get(), 21);
  ToneMap(dst.get(), src.get(), kDefaults);
  std::vector<float> padded, out(pw * ph);
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x)
      padded.push_back(RowPtr(*src, std::min(y, h - 1))[std::min(x, w - 1)]);
  ASSERT_FALSE(RemapFloatPlane(out.data(), padded.data(), pw, ph, 5, kDefaults.threshold,
                               kDefaults.noise, kDefaults.power, kDefaults.slope, nullptr));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_NEAR(RowPtr(*dst, y)[x], std::clamp(out[y * pw + x], 0.f, 255.f), 0.5f)
          << x << "," << y;
  EXPECT_GT(MaxDifference(*src, *dst), 8);  // it did change the picture
}

// Every coefficient is remapped, up to the right and bottom edges: a checkerboard
// that a half-turn maps onto itself comes out (nearly) the same under the turn.
// Measured: about 1 step; stopping each pass's grid a whole step before the right
// and bottom edges gives 10 to 12 in the right and bottom thirds.
TEST(ToneMapPicture, RightAndBottomEdgesAreProcessedLikeTheLeftAndTop) {
  const int w = 288, h = 192;
  ScopedPicBuf src(w, h, 1, 8), out;
  Fill(src.get(), [](int x, int y, uint32_t) { return (x / 48 + y / 48) % 2 ? 180 : 70; });
  ToneMap(out.get(), src.get(), ToneMapParamsFromSliders(5, 10, 10, 50, false));
  auto turnDifference = [&](int x1, int y1) {
    double sum = 0.0;
    for (int y = 0; y < y1; ++y)
      for (int x = 0; x < x1; ++x)
        sum += std::abs(RowPtr(*out, y)[x] - RowPtr(*out, h - 1 - y)[w - 1 - x]);
    return sum / (x1 * y1);
  };
  EXPECT_LT(turnDifference(96, h), 2.5);  // left third against the right third
  EXPECT_LT(turnDifference(w, 64), 2.5);  // top third against the bottom third
  EXPECT_GT(MaxDifference(*src, *out), 20);
}

TEST(ToneMapPicture, FaintNoiseOnAFlatPictureIsLeftAlone) {
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf src(70, 45, 1, bits), dst;
    uint32_t seed = 13;
    Fill(src.get(), [&](int, int, uint32_t) { return 120 + std::floor(3.0f * Uniform(seed)); });
    ToneMap(dst.get(), src.get(), kDefaults);  // spread 2 < N = 2.805
    EXPECT_LE(MaxDifference(*src, *dst), 1) << bits << " bits";
  }
}

// Progress: 3 * L per plane run, one step at each decomposition level and two at
// each remapping level. A grey picture is one run whatever the extra colours;
// without them a colour picture processes only the luma of its luma/chroma form.
TEST(ToneMapPicture, ExtraColoursAndProgress) {
  ToneMapParams off = kDefaults;
  off.useExtraColors = false;
  ScopedPicBuf grey(50, 30, 1, 16), greyOn, greyOff, src(50, 30, 3, 8), dst, on;
  FillPhotoLike(grey.get(), 23);
  FillPhotoLike(src.get(), 29);
  RecordingProgress greyOnSteps, offSteps, onSteps;
  ToneMap(greyOn.get(), grey.get(), kDefaults, &greyOnSteps);
  ToneMap(greyOff.get(), grey.get(), off);
  ToneMap(dst.get(), src.get(), off, &offSteps);
  ToneMap(on.get(), src.get(), kDefaults, &onSteps);
  EXPECT_TRUE(SamePixels(*greyOn, *greyOff));
  EXPECT_FALSE(SamePixels(*on, *dst));
  EXPECT_EQ(greyOnSteps.steps, (std::vector<int>{1, 1, 1, 1, 1, 2, 2, 2, 2, 2}));
  EXPECT_EQ(std::tuple(offSteps.Total(), onSteps.Total(), ToneMapProgressSteps(*grey, kDefaults),
                       ToneMapProgressSteps(*src, off), ToneMapProgressSteps(*src, kDefaults)),
            std::tuple(15, 45, 15, 15, 45));
  ScopedPicBuf yuv, luma(50, 30, 1, 8), lumaMapped, want;
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), src.get()));
  CBxPicBufAPI::ExtractComponent(luma.get(), 0, yuv.get());
  ToneMap(lumaMapped.get(), luma.get(), off);
  CBxPicBufAPI::InsertComponent(yuv.get(), 0, lumaMapped.get());
  ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(want.get(), yuv.get()));
  EXPECT_TRUE(SamePixels(*dst, *want));
}

// A cancel before the call, during the decomposition (seen when it ends) or at the
// first or third remapping level (seen within the level) gives the input back: one
// component as it was, three through the colour round trip.
TEST(ToneMapPicture, CancelGivesTheInputBack) {
  for (auto [components, bits, cancelAt, advances] :
       {std::tuple{1u, 8u, 0, 0}, std::tuple{1u, 16u, 0, 0}, std::tuple{3u, 8u, 0, 0},
        std::tuple{1u, 8u, 3, 5}, std::tuple{1u, 8u, 6, 6}, std::tuple{1u, 8u, 8, 8}}) {
    SCOPED_TRACE(testing::Message() << components << " x " << bits << " at " << cancelAt);
    ScopedPicBuf src(64, 48, components, bits), dst, yuv, want;
    FillPhotoLike(src.get(), 41);
    RecordingProgress progress(cancelAt);
    ToneMap(dst.get(), src.get(), kDefaults, &progress, true);
    EXPECT_EQ(static_cast<int>(progress.steps.size()), advances);
    if (components == 3) {
      ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), src.get()) &&
                  CBxPicBufAPI::ConvertYUVtoRGB(want.get(), yuv.get()));
    }
    EXPECT_TRUE(SamePixels(*dst, components == 1 ? *src : *want));
  }
}

// The picture's conversions, the pyramids and the remapping passes are spread
// over threads by rows and points; the pixels must not depend on how many.
TEST(ToneMapPicture, ThreadCountDoesNotChangeThePixels) {
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf src(150, 97, 3, bits), one, many;
    FillPhotoLike(src.get(), 31);
    omp_set_num_threads(1);
    ToneMap(one.get(), src.get(), kDefaults);
    for (int threads : {2, 3}) {
      omp_set_num_threads(threads);
      ToneMap(many.get(), src.get(), kDefaults);
      EXPECT_TRUE(SamePixels(*one, *many)) << bits << " bits, " << threads << " threads";
    }
  }
  omp_set_num_threads(omp_get_num_procs());
}
