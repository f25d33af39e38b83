// The accumulator and the fused picture: level count and refusals, the sums
// under mismatched adds and merging, and what comes out of them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "fusion/FusionAccumulator.h"
#include "tests/fusion/TestPictures.h"

namespace {

// Owns an accumulator for a test.
struct Acc {
  cFusionAccumulator a;
  ~Acc() { FusionFree(&a); }
  cFusionAccumulator* operator->() { return &a; }
  cFusionAccumulator* get() { return &a; }
};

}  // namespace

// The coarsest level keeps at least 5 pixels on its shorter side; pictures too
// small for any level, float or componentless ones are refused at FusionInit.
TEST(FusionLevels, CountAndRefusals) {
  const uint32_t counts[][3] = {{3000, 2000, 7}, {1024, 768, 7}, {767, 767, 7}, {640, 480, 6},
                                {1000, 600, 6},  {10, 4000, 1},  {19, 19, 1},   {20, 20, 2}};
  for (const auto& [w, h, n] : counts)
    EXPECT_EQ(FusionLevelCount(w, h), n) << w << "x" << h;

  const SBxPicBuf refused[] = {{nullptr, 0, 0, 9, 500, 1, 8},
                               {nullptr, 0, 0, 500, 9, 3, 16},
                               {nullptr, 0, 0, 100, 100, 3, 32},
                               {nullptr, 0, 0, 100, 100, 0, 8}};
  for (const SBxPicBuf& pic : refused) {
    cFusionAccumulator acc;
    EXPECT_EQ(FusionInit(&acc, &pic, 100), 1) << pic.width << "x" << pic.height;
    EXPECT_EQ(FusionFree(&acc), 0);
  }
  // A used accumulator is released by a new FusionInit (the leak check sees it).
  Acc acc;
  const SBxPicBuf edge{nullptr, 0, 0, 767, 767, 1, 8}, smallest{nullptr, 0, 0, 10, 10, 1, 8};
  ASSERT_EQ(FusionInit(acc.get(), &edge, 100), 0);
  ASSERT_EQ(FusionInit(acc.get(), &smallest, 100), 0);
  EXPECT_EQ(acc->levelCount, 1u);
}

// A series of one picture gives it back within one step of truncation; adding
// it twice gives exactly the same, and so does the result made again without
// the working planes. A colour add gives one weight per pixel, so the three
// weight planes are equal; two components are not colour and keep their own.
TEST(FusionResultTest, SeriesOfOnePictureGivesThatPictureBack) {
  const int cases[][4] = {
      {97, 61, 1, 8}, {120, 90, 3, 8}, {64, 48, 3, 16}, {40, 33, 1, 16}, {30, 20, 2, 8}};
  for (const auto& [w, h, comps, bits] : cases) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << " " << comps << "x" << bits);
    const auto c = static_cast<uint32_t>(comps), b = static_cast<uint32_t>(bits);
    ScopedPicBuf pic(w, h, c, b), once(w, h, c, b), twice(w, h, c, b);
    FillScene(pic.get(), 1.0);
    Acc a1, a2;
    ASSERT_EQ(FusionInit(a1.get(), pic.get(), 100) | FusionInit(a2.get(), pic.get(), 100), 0);
    ASSERT_EQ(FusionAddPicture(a1.get(), pic.get()), 0);
    for (uint32_t l = 0; l <= a1->levelCount; ++l) {
      const cFusionComponent* r = a1->componentRecords;
      for (uint32_t k = 1; k < c; ++k)
        EXPECT_EQ(std::memcmp(r[0].weightSum[l], r[k].weightSum[l],
                              sizeof(float) * a1->levelWidth[l] * a1->levelHeight[l]) == 0,
                  c == 3);
    }
    for (int i = 0; i < 2; ++i)
      ASSERT_EQ(FusionAddPicture(a2.get(), pic.get()), 0);
    ASSERT_EQ(FusionResult(once.get(), a1.get()) | FusionResult(twice.get(), a2.get()), 0);
    EXPECT_LE(MaxDifference(*once, *pic), 1.0);
    EXPECT_EQ(MaxDifference(*once, *twice), 0.0);
    FusionReleaseWorkspace(a2.get());
    CBxPicBufAPI::SetConst(twice.get(), 0);
    ASSERT_EQ(FusionResult(twice.get(), a2.get()), 0);
    EXPECT_EQ(MaxDifference(*once, *twice), 0.0);
  }
}

// Pictures of other components, bits or sizes, or without pixels, are refused
// and change nothing (the result stays the same bits); so is an output of
// another size, which is left alone.
TEST(FusionAccumulatorTest, MismatchedPicturesAreRefusedAndChangeNothing) {
  ScopedPicBuf first(64, 40, 3, 8), before(64, 40, 3, 8), after(64, 40, 3, 8);
  FillScene(first.get(), 1.0);
  Acc acc;
  ASSERT_EQ(FusionInit(acc.get(), first.get(), 100), 0);
  ASSERT_EQ(FusionAddPicture(acc.get(), first.get()) | FusionResult(before.get(), acc.get()), 0);
  ScopedPicBuf grey(64, 40, 1, 8), deep(64, 40, 3, 16), wide(65, 40, 3, 8), tall(64, 41, 3, 8);
  SBxPicBuf noPixels = *first;
  noPixels.pixels = nullptr;
  for (SBxPicBuf* other : {grey.get(), deep.get(), wide.get(), tall.get(), &noPixels}) {
    if (other->pixels != nullptr) FillScene(other, 1.3);
    EXPECT_EQ(FusionAddPicture(acc.get(), other), 1);
  }
  ASSERT_EQ(FusionResult(after.get(), acc.get()), 0);
  EXPECT_EQ(MaxDifference(*before, *after), 0.0);
  CBxPicBufAPI::SetConst(tall.get(), 7);
  EXPECT_EQ(FusionResult(tall.get(), acc.get()), 1);
  EXPECT_EQ(SampleAt(*tall, 3, 3, 1), 7u);
}

TEST(FusionAccumulatorTest, MergingDisjointPartsEqualsAddingAllIntoOne) {
  for (uint32_t comps : {1u, 3u}) {
    ScopedPicBuf pic(90, 70, comps, 8);
    Acc all, first, second;
    for (Acc* acc : {&all, &first, &second})
      ASSERT_EQ(FusionInit(acc->get(), pic.get(), 120), 0);
    const double gains[] = {0.3, 0.6, 0.9, 1.2, 1.6, 2.2};
    for (int i = 0; i < 6; ++i) {
      FillScene(pic.get(), gains[i], 100 + i);
      FusionAddPicture(all.get(), pic.get());
      FusionAddPicture(i < 3 ? first.get() : second.get(), pic.get());
    }
    ASSERT_EQ(FusionMerge(first.get(), second.get()), 0);
    ScopedPicBuf merged(90, 70, comps, 8), direct(90, 70, comps, 8);
    ASSERT_EQ(FusionResult(merged.get(), first.get()) | FusionResult(direct.get(), all.get()), 0);
    EXPECT_LE(MaxDifference(*merged, *direct), 1.0);
  }
  // Another geometry, or an accumulator never initialised, is refused.
  SBxPicBuf g1{nullptr, 0, 0, 40, 40, 1, 8}, g2{nullptr, 0, 0, 41, 40, 1, 8};
  Acc a, b;
  ASSERT_EQ(FusionInit(a.get(), &g1, 100) | FusionInit(b.get(), &g2, 100), 0);
  EXPECT_EQ(FusionMerge(a.get(), b.get()), 1);
  cFusionAccumulator empty;
  EXPECT_EQ(FusionMerge(a.get(), &empty), 1);
}

// Pictures whose shorter side does not reach 768 keep their low-frequency
// base: a bracketed series comes out as bright as its middle exposure, not
// nearly black.
TEST(FusionResultTest, MidSizedSeriesKeepTheirBrightness) {
  for (auto [w, h] : {std::pair{640, 480}, std::pair{1000, 600}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    ScopedPicBuf pic(w, h, 3, 8), fused(w, h, 3, 8);
    FillScene(pic.get(), 1.0);
    const double reference = MeanSample(*pic);
    Acc acc;
    ASSERT_EQ(FusionInit(acc.get(), pic.get(), 128), 0);
    for (double gain : {0.5, 1.0, 1.6}) {
      FillScene(pic.get(), gain);
      ASSERT_EQ(FusionAddPicture(acc.get(), pic.get()), 0);
    }
    ASSERT_EQ(FusionResult(fused.get(), acc.get()), 0);
    EXPECT_GT(MeanSample(*fused), 0.8 * reference);
    EXPECT_LT(MeanSample(*fused), 1.25 * reference);
  }
}

// A weight sum within 1e-10 of zero (or NaN) counts as no weight: the pixel
// gets 0, as does every pixel when nothing was added.
TEST(FusionResultTest, WeightsWithinTheThresholdCountAsNone) {
  float atThreshold = static_cast<float>(1e-10);
  if (static_cast<double>(atThreshold) <= 1e-10) atThreshold = std::nextafter(atThreshold, 1.0f);
  const float below = std::nextafter(atThreshold, 0.0f);
  const float weights[] = {0.0f, below, -below, std::nanf(""), atThreshold, -atThreshold};
  for (float weight : weights) {
    SCOPED_TRACE(testing::Message() << weight);
    SBxPicBuf geometry{nullptr, 0, 0, 12, 12, 1, 8};
    Acc acc;
    ASSERT_EQ(FusionInit(acc.get(), &geometry, 100), 0);
    cFusionComponent& r = acc->componentRecords[0];
    for (size_t i = 0; i < 36; ++i) {  // the coarsest level, 6 x 6
      r.weightSum[1][i] = weight;
      r.valueSum[1][i] = weight * 100.0f;
    }
    ScopedPicBuf out(12, 12, 1, 8);
    ASSERT_EQ(FusionResult(out.get(), acc.get()), 0);
    EXPECT_NEAR(SampleAt(*out, 6, 6, 0), std::fabs(weight) > 1e-10 ? 100.0 : 0.0, 1.0);
  }
}
