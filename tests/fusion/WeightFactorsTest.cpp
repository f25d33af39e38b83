// A caller's weight factors on an added picture: where they are 0 the picture
// leaves no trace, where they are 1 it counts as usual, and a series fusion
// hands each file's factors to its picture, whole or cut to a work region.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fusion/FusionAccumulator.h"
#include "fusion/SeriesFusion.h"
#include "tests/fusion/TestPictures.h"

namespace {

struct Acc {
  cFusionAccumulator a;
  ~Acc() { FusionFree(&a); }
  cFusionAccumulator* get() { return &a; }
};

// A one-component factor plane: `inside` on columns [0, split), `outside` from there.
void FillFactors(SBxPicBuf* factors, int split, float inside, float outside) {
  for (int y = 0; y < factors->height; ++y)
    for (int x = 0; x < factors->width; ++x) {
      const float f = x < split ? inside : outside;
      if (factors->bitsPerComponent == 8) {
        RowPtr(*factors, y)[x] = static_cast<uint8_t>(f * 255.0f);
      } else {
        reinterpret_cast<float*>(RowPtr(*factors, y))[x] = f;
      }
    }
}

bool SameSums(const cFusionAccumulator& a, const cFusionAccumulator& b) {
  for (uint32_t c = 0; c < a.components; ++c)
    for (uint32_t l = 0; l <= a.levelCount; ++l) {
      const size_t bytes = sizeof(float) * a.levelWidth[l] * a.levelHeight[l];
      if (std::memcmp(a.componentRecords[c].weightSum[l], b.componentRecords[c].weightSum[l],
                      bytes) != 0 ||
          std::memcmp(a.componentRecords[c].valueSum[l], b.componentRecords[c].valueSum[l],
                      bytes) != 0)
        return false;
    }
  return true;
}

// The largest difference over columns [0, columns) only.
double MaxDifferenceLeft(const SBxPicBuf& a, const SBxPicBuf& b, int columns) {
  double worst = 0.0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < columns; ++x)
      for (uint32_t c = 0; c < a.components; ++c)
        worst = std::max(worst, std::fabs(SampleAt(a, x, y, c) - SampleAt(b, x, y, c)));
  return worst;
}

}  // namespace

// Factors of 0 over every pixel add nothing at all (the sums keep their bits);
// over the left part of the frame they keep another picture out of the result
// there, at every level, while it still counts in the rest. Factors of 1 give
// level 0 exactly the unweighted sums and the result within a step of them.
// 8-bit and float factors alike, grey and colour, 8 and 16 bits.
TEST(FusionWeightFactors, ZeroKeepsThePictureOutOneKeepsItIn) {
  const int kWidth = 200, kHeight = 64;  // three levels: a zero area 120 wide covers
                                         // every level's window over the first 24 columns
  const uint32_t formats[][3] = {{3, 8, 8}, {1, 16, 32}, {3, 16, 32}, {2, 8, 8}};
  for (const auto& [comps, bits, factorBits] : formats) {
    SCOPED_TRACE(testing::Message() << comps << "x" << bits << ", factors " << factorBits);
    ScopedPicBuf scene(kWidth, kHeight, comps, bits), other(kWidth, kHeight, comps, bits);
    ScopedPicBuf factors(kWidth, kHeight, 1, factorBits);
    FillScene(scene.get(), 1.0);
    FillScene(other.get(), 0.8, 99);

    Acc alone, none, left, ones, plain;
    for (Acc* a : {&alone, &none, &left, &ones, &plain})
      ASSERT_EQ(FusionInit(a->get(), scene.get(), 100), 0);
    for (Acc* a : {&alone, &none, &left})
      ASSERT_EQ(FusionAddPicture(a->get(), scene.get()), 0);

    FillFactors(factors.get(), kWidth, 0.0f, 0.0f);
    ASSERT_EQ(FusionAddWeightedPicture(none.get(), other.get(), factors.get()), 0);
    EXPECT_TRUE(SameSums(*alone.get(), *none.get()));

    FillFactors(factors.get(), 120, 0.0f, 1.0f);
    ASSERT_EQ(FusionAddWeightedPicture(left.get(), other.get(), factors.get()), 0);
    ScopedPicBuf aloneOut(kWidth, kHeight, comps, bits), leftOut(kWidth, kHeight, comps, bits);
    ASSERT_EQ(FusionResult(aloneOut.get(), alone.get()) | FusionResult(leftOut.get(), left.get()),
              0);
    EXPECT_EQ(MaxDifferenceLeft(*leftOut, *aloneOut, 24), 0.0);
    EXPECT_GT(MaxDifference(*leftOut, *aloneOut), 4.0 * (1 << (bits - 8)));  // it counts elsewhere

    FillFactors(factors.get(), kWidth, 1.0f, 1.0f);
    ASSERT_EQ(FusionAddWeightedPicture(ones.get(), scene.get(), factors.get()), 0);
    ASSERT_EQ(FusionAddPicture(plain.get(), scene.get()), 0);
    const size_t finest = sizeof(float) * kWidth * kHeight;
    EXPECT_EQ(std::memcmp(ones.get()->componentRecords[0].weightSum[0],
                          plain.get()->componentRecords[0].weightSum[0], finest),
              0);
    ScopedPicBuf onesOut(kWidth, kHeight, comps, bits), plainOut(kWidth, kHeight, comps, bits);
    ASSERT_EQ(FusionResult(onesOut.get(), ones.get()) | FusionResult(plainOut.get(), plain.get()),
              0);
    EXPECT_LE(MaxDifference(*onesOut, *plainOut), 1.0);
  }
}

// Factors that do not fit the picture are refused and change nothing.
TEST(FusionWeightFactors, FactorsThatDoNotFitAreRefused) {
  ScopedPicBuf scene(64, 48, 3, 8), wider(65, 48, 1, 8), twoComps(64, 48, 2, 8),
      deep(64, 48, 1, 16), empty;
  FillScene(scene.get(), 1.0);
  Acc acc, untouched;
  ASSERT_EQ(FusionInit(acc.get(), scene.get(), 100) | FusionInit(untouched.get(), scene.get(), 100),
            0);
  for (ScopedPicBuf* bad : {&wider, &twoComps, &deep, &empty})
    EXPECT_EQ(FusionAddWeightedPicture(acc.get(), scene.get(), bad->get()), 1);
  EXPECT_TRUE(SameSums(*acc.get(), *untouched.get()));
}

// A weighted loader's factors reach their picture, whole or cut to a work region
// alike: a file whose factors are 0 everywhere gives the fusion of the others.
TEST(FusionWeightFactors, SeriesFusionPassesEachFilesFactors) {
  const std::vector<std::filesystem::path> all{"0", "1", "2"}, kept{"0", "2"};
  const auto load = [](const std::filesystem::path& p, SBxPicBuf* pic) {
    const int i = std::stoi(p.string());
    CBxPicBufAPI::ReinitHeap(pic, 96, 72, 3, 8);
    FillScene(pic, 0.5 + 0.4 * i, static_cast<uint32_t>(i));
    return false;
  };
  for (const auto& region : {std::optional<CBxRect>(), std::optional<CBxRect>({9, 5, 70, 60})}) {
    SCOPED_TRACE(region ? "cut" : "whole");
    SeriesFusionRequest weighted;
    weighted.files = all;
    weighted.exposure = 100;
    weighted.region = region;
    weighted.weightedLoader = [&](int index, const std::filesystem::path& p, SBxPicBuf* pic,
                                  SBxPicBuf* factors) {
      if (load(p, pic)) return true;
      if (index == 1) {
        CBxPicBufAPI::ReinitHeap(factors, 96, 72, 1, 8);
        CBxPicBufAPI::SetConst(factors, 0);
      }
      return false;
    };
    SeriesFusionRequest others;
    others.files = kept;
    others.exposure = 100;
    others.region = region;
    others.loader = load;
    ScopedPicBuf got, expected;
    ASSERT_EQ(FuseSeries(weighted, got.get()).status, SeriesFusionStatus::kFused);
    ASSERT_EQ(FuseSeries(others, expected.get()).status, SeriesFusionStatus::kFused);
    EXPECT_EQ(MaxDifference(*got, *expected), 0.0);
  }
}
