// The accumulator and the fused picture: level count, refusals, invariants of
// the sums, merging, and the brightness of real-sized results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

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

// A copy of every sum plane, to see whether anything changed.
std::vector<std::vector<float>> Snapshot(const cFusionAccumulator& acc) {
  std::vector<std::vector<float>> planes;
  for (uint32_t c = 0; c < acc.components; ++c) {
    for (uint32_t l = 0; l <= acc.levelCount; ++l) {
      const size_t n = static_cast<size_t>(acc.levelWidth[l]) * acc.levelHeight[l];
      const cFusionComponent& r = acc.componentRecords[c];
      planes.emplace_back(r.weightSum[l], r.weightSum[l] + n);
      planes.emplace_back(r.valueSum[l], r.valueSum[l] + n);
    }
  }
  return planes;
}

// Fuses pictures of `gains` (exposures of one scene) into a new picture.
void FuseScene(SBxPicBuf* out, int w, int h, uint32_t comps, uint32_t bits,
               std::initializer_list<double> gains, uint32_t exposure = 128) {
  Acc acc;
  ScopedPicBuf pic(w, h, comps, bits);
  ASSERT_EQ(FusionInit(acc.get(), pic.get(), exposure), 0);
  for (double g : gains) {
    FillScene(pic.get(), g);
    ASSERT_EQ(FusionAddPicture(acc.get(), pic.get()), 0);
  }
  CBxPicBufAPI::ReinitHeap(out, w, h, comps, bits);
  ASSERT_EQ(FusionResult(out, acc.get()), 0);
}

}  // namespace

TEST(FusionLevels, CoarsestLevelKeepsAtLeastFivePixels) {
  EXPECT_EQ(FusionLevelCount(3000, 2000), 7u);
  EXPECT_EQ(FusionLevelCount(1024, 768), 7u);
  EXPECT_EQ(FusionLevelCount(767, 767), 7u);
  EXPECT_EQ(FusionLevelCount(640, 480), 6u);   // level 7 would be 5 x 3
  EXPECT_EQ(FusionLevelCount(1000, 600), 6u);  // level 7 would be 7 x 4
  EXPECT_EQ(FusionLevelCount(10, 4000), 1u);
  EXPECT_EQ(FusionLevelCount(19, 19), 1u);
  EXPECT_EQ(FusionLevelCount(20, 20), 2u);

  Acc acc;
  SBxPicBuf geometry{nullptr, 0, 0, 3000, 2000, 3, 8};
  ASSERT_EQ(FusionInit(acc.get(), &geometry, 100), 0);
  const uint32_t widths[] = {3000, 1500, 750, 375, 187, 93, 46, 23};
  const uint32_t heights[] = {2000, 1000, 500, 250, 125, 62, 31, 15};
  for (uint32_t l = 0; l <= 7; ++l) {
    EXPECT_EQ(acc->levelWidth[l], widths[l]);
    EXPECT_EQ(acc->levelHeight[l], heights[l]);
  }
}

TEST(FusionLevels, InitRefusesPicturesThatCannotBeFused) {
  const SBxPicBuf refused[] = {
      {nullptr, 0, 0, 9, 500, 1, 8},     // shorter side below 10
      {nullptr, 0, 0, 500, 9, 3, 16},    //
      {nullptr, 0, 0, 100, 100, 3, 32},  // float samples
      {nullptr, 0, 0, 100, 100, 0, 8},   // no component
  };
  for (const SBxPicBuf& pic : refused) {
    cFusionAccumulator acc;
    EXPECT_EQ(FusionInit(&acc, &pic, 100), 1);
    EXPECT_EQ(FusionFree(&acc), 0);
    EXPECT_EQ(acc.componentRecords, nullptr);
  }
  cFusionAccumulator acc;
  const SBxPicBuf smallest{nullptr, 0, 0, 10, 10, 1, 8};
  EXPECT_EQ(FusionInit(&acc, &smallest, 100), 0);
  EXPECT_EQ(acc.levelCount, 1u);
  FusionFree(&acc);
  FusionFree(&acc);  // a second release does nothing
}

// A series of one picture gives that picture back; adding it twice gives
// exactly the same (the sums double, their quotients do not change); making
// the result again without the working planes gives the same too.
TEST(FusionResultTest, SeriesOfOnePictureGivesThatPictureBack) {
  struct Case {
    int w, h;
    uint32_t comps, bits;
  };
  for (const Case& k : {Case{97, 61, 1, 8}, Case{120, 90, 3, 8}, Case{64, 48, 3, 16},
                        Case{40, 33, 1, 16}, Case{30, 20, 2, 8}}) {
    SCOPED_TRACE(testing::Message() << k.w << "x" << k.h << " " << k.comps << "x" << k.bits);
    ScopedPicBuf pic(k.w, k.h, k.comps, k.bits);
    FillScene(pic.get(), 1.0);
    Acc once, twice;
    ASSERT_EQ(FusionInit(once.get(), pic.get(), 100), 0);
    ASSERT_EQ(FusionInit(twice.get(), pic.get(), 100), 0);
    ASSERT_EQ(FusionAddPicture(once.get(), pic.get()), 0);
    for (int i = 0; i < 2; ++i)
      ASSERT_EQ(FusionAddPicture(twice.get(), pic.get()), 0);
    ScopedPicBuf a(k.w, k.h, k.comps, k.bits), b(k.w, k.h, k.comps, k.bits);
    ASSERT_EQ(FusionResult(a.get(), once.get()), 0);
    ASSERT_EQ(FusionResult(b.get(), twice.get()), 0);
    // Float rounding of the collapse, then truncation: at most one step off.
    EXPECT_LE(MaxDifference(*a, *pic), 1.0);
    EXPECT_EQ(MaxDifference(*a, *b), 0.0);
    FusionReleaseWorkspace(twice.get());
    CBxPicBufAPI::SetConst(b.get(), 0);
    ASSERT_EQ(FusionResult(b.get(), twice.get()), 0);
    EXPECT_EQ(MaxDifference(*a, *b), 0.0);
  }
}

TEST(FusionAccumulatorTest, MismatchedPicturesAreRefusedAndChangeNothing) {
  ScopedPicBuf first(64, 40, 3, 8);
  FillScene(first.get(), 1.0);
  Acc acc;
  ASSERT_EQ(FusionInit(acc.get(), first.get(), 100), 0);
  ASSERT_EQ(FusionAddPicture(acc.get(), first.get()), 0);
  const auto before = Snapshot(acc.a);
  ScopedPicBuf grey(64, 40, 1, 8), deep(64, 40, 3, 16), wide(65, 40, 3, 8), tall(64, 41, 3, 8);
  for (SBxPicBuf* other : {grey.get(), deep.get(), wide.get(), tall.get()}) {
    FillScene(other, 1.3);
    EXPECT_EQ(FusionAddPicture(acc.get(), other), 1);
  }
  SBxPicBuf noPixels = *first;
  noPixels.pixels = nullptr;
  EXPECT_EQ(FusionAddPicture(acc.get(), &noPixels), 1);
  EXPECT_EQ(Snapshot(acc.a), before);

  // The output picture must match too; it stays untouched.
  ScopedPicBuf out(64, 41, 3, 8);
  CBxPicBufAPI::SetConst(out.get(), 7);
  EXPECT_EQ(FusionResult(out.get(), acc.get()), 1);
  EXPECT_EQ(SampleAt(*out, 3, 3, 1), 7u);
}

TEST(FusionAccumulatorTest, ColourWeightsAreSharedAndOtherCountsAreNot) {
  ScopedPicBuf colour(50, 30, 3, 8), twoComps(50, 30, 2, 8);
  FillScene(colour.get(), 1.0);
  FillScene(twoComps.get(), 1.0);
  Acc c3, c2;
  ASSERT_EQ(FusionInit(c3.get(), colour.get(), 100), 0);
  ASSERT_EQ(FusionInit(c2.get(), twoComps.get(), 100), 0);
  FusionAddPicture(c3.get(), colour.get());
  FusionAddPicture(c2.get(), twoComps.get());
  for (uint32_t l = 0; l <= c3->levelCount; ++l) {
    const size_t n = static_cast<size_t>(c3->levelWidth[l]) * c3->levelHeight[l];
    const cFusionComponent* r = c3->componentRecords;
    EXPECT_EQ(std::memcmp(r[0].weightSum[l], r[1].weightSum[l], n * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(r[0].weightSum[l], r[2].weightSum[l], n * sizeof(float)), 0);
    // Components of other counts get weights of their own.
    EXPECT_NE(std::memcmp(c2->componentRecords[0].weightSum[l],
                          c2->componentRecords[1].weightSum[l], n * sizeof(float)),
              0);
  }
}

TEST(FusionAccumulatorTest, MergingDisjointPartsEqualsAddingAllIntoOne) {
  for (uint32_t comps : {1u, 3u}) {
    const int w = 90, h = 70;
    ScopedPicBuf pic(w, h, comps, 8);
    Acc all, first, second;
    for (Acc* a : {&all, &first, &second})
      ASSERT_EQ(FusionInit(a->get(), pic.get(), 120), 0);
    const double gains[] = {0.3, 0.6, 0.9, 1.2, 1.6, 2.2};
    for (int i = 0; i < 6; ++i) {
      FillScene(pic.get(), gains[i], 100 + i);
      FusionAddPicture(all.get(), pic.get());
      FusionAddPicture(i < 3 ? first.get() : second.get(), pic.get());
    }
    ASSERT_EQ(FusionMerge(first.get(), second.get()), 0);
    const auto merged = Snapshot(first.a), direct = Snapshot(all.a);
    ASSERT_EQ(merged.size(), direct.size());
    // Value sums of Laplacian levels cancel, so rounding is judged against
    // the largest magnitude of each plane.
    for (size_t p = 0; p < merged.size(); ++p) {
      float largest = 0.0f;
      for (float v : direct[p])
        largest = std::max(largest, std::fabs(v));
      for (size_t i = 0; i < merged[p].size(); ++i)
        ASSERT_NEAR(merged[p][i], direct[p][i], 1e-5 * largest);
    }
    ScopedPicBuf a(w, h, comps, 8), b(w, h, comps, 8);
    FusionResult(a.get(), first.get());
    FusionResult(b.get(), all.get());
    EXPECT_LE(MaxDifference(*a, *b), 1.0);
  }
}

TEST(FusionAccumulatorTest, MergeRefusesAnotherGeometry) {
  SBxPicBuf g1{nullptr, 0, 0, 40, 40, 1, 8}, g2{nullptr, 0, 0, 41, 40, 1, 8};
  Acc a, b;
  ASSERT_EQ(FusionInit(a.get(), &g1, 100), 0);
  ASSERT_EQ(FusionInit(b.get(), &g2, 100), 0);
  EXPECT_EQ(FusionMerge(a.get(), b.get()), 1);
  cFusionAccumulator empty;
  EXPECT_EQ(FusionMerge(a.get(), &empty), 1);
}

TEST(FusionResultTest, NothingAddedGivesBlack) {
  ScopedPicBuf pic(30, 30, 3, 8);
  Acc acc;
  ASSERT_EQ(FusionInit(acc.get(), pic.get(), 100), 0);
  CBxPicBufAPI::SetConst(pic.get(), 99);
  ASSERT_EQ(FusionResult(pic.get(), acc.get()), 0);
  EXPECT_EQ(MeanSample(*pic), 0.0);
}

// Pictures whose shorter side does not reach 768 keep their low-frequency
// base: a bracketed series comes out as bright as its middle exposure, not
// nearly black.
TEST(FusionResultTest, MidSizedSeriesKeepTheirBrightness) {
  for (auto [w, h] : {std::pair{640, 480}, std::pair{1000, 600}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    ScopedPicBuf middle(w, h, 3, 8), same, bracketed;
    FillScene(middle.get(), 1.0);
    FuseScene(same.get(), w, h, 3, 8, {1.0});
    EXPECT_LE(MaxDifference(*same, *middle), 1.0);
    FuseScene(bracketed.get(), w, h, 3, 8, {0.5, 1.0, 1.6});
    const double mean = MeanSample(*bracketed), reference = MeanSample(*middle);
    EXPECT_GT(mean, 0.8 * reference);
    EXPECT_LT(mean, 1.25 * reference);
  }
}

// A weight sum within 1e-10 of zero (or NaN) counts as no weight at all.
TEST(FusionResultTest, WeightsWithinTheThresholdCountAsNone) {
  float atThreshold = static_cast<float>(1e-10);
  if (static_cast<double>(atThreshold) <= 1e-10) atThreshold = std::nextafter(atThreshold, 1.0f);
  const float below = std::nextafter(atThreshold, 0.0f);
  ASSERT_LE(static_cast<double>(below), 1e-10);
  struct Case {
    float weight;
    double centre;
  };
  for (const Case& k : {Case{below, 0.0}, Case{-below, 0.0}, Case{atThreshold, 100.0},
                        Case{-atThreshold, 100.0}, Case{std::nanf(""), 0.0}}) {
    SCOPED_TRACE(testing::Message() << k.weight);
    SBxPicBuf geometry{nullptr, 0, 0, 12, 12, 1, 8};
    Acc acc;
    ASSERT_EQ(FusionInit(acc.get(), &geometry, 100), 0);
    ASSERT_EQ(acc->levelCount, 1u);
    cFusionComponent& r = acc->componentRecords[0];
    for (size_t i = 0; i < 36; ++i) {  // the coarsest level, 6 x 6
      r.weightSum[1][i] = k.weight;
      r.valueSum[1][i] = k.weight * 100.0f;
    }
    ScopedPicBuf out(12, 12, 1, 8);
    ASSERT_EQ(FusionResult(out.get(), acc.get()), 0);
    EXPECT_NEAR(SampleAt(*out, 6, 6, 0), k.centre, 1.0);
  }
}
