#include "single/Denoise.h"

#include <gtest/gtest.h>

#include "single/Exposure.h"
#include "single/NlmPlane.h"
#include "tests/single/TestHelpers.h"

namespace {

TEST(DenoisePlane, OddPlaneIsFilteredAtEvenSizeAndCroppedBackNarrowPlaneIsKept) {
  ScopedPicBuf src(33, 21, 1, 8), dst(33, 21, 1, 8), even(34, 22, 1, 8), out(34, 22, 1, 8);
  FillNoisy(src.get(), 12, 25);
  ASSERT_EQ(DenoisePlane(dst.get(), src.get(), 10.0, 1.0, 5.0, 1), 0);
  EXPECT_FALSE(SamePixels(*dst, *src));
  // Expected: the plane with a zero column and row added, filtered, cropped.
  CBxPicBufAPI::SetConst(even.get(), 0);
  CBxPicBufAPI::CopyRect(even.get(), src.get(), {0, 0}, {0, 0}, {33, 21});
  ASSERT_EQ(NlmPlane_x8(out.get(), even.get(), even.get(), 10.0, 0.0, 1, 5.0), 0);
  CBxPicBufAPI::CopyRect(src.get(), out.get(), {0, 0}, {0, 0}, {33, 21});
  EXPECT_TRUE(SamePixels(*dst, *src));

  ScopedPicBuf narrow(2, 50, 1, 8), kept(2, 50, 1, 8);
  FillNoisy(narrow.get(), 15, 60);
  EXPECT_EQ(DenoisePlane(kept.get(), narrow.get(), 18.0, 1.0, 20.0, 1), 0);
  EXPECT_TRUE(SamePixels(*kept, *narrow));
}

TEST(DenoisePicture, ChromaPlanesUseTwiceTheChromaNoise) {
  ScopedPicBuf src(36, 28, 3, 8), dst(36, 28, 3, 8), yuv(36, 28, 3, 8), expected(36, 28, 3, 8);
  FillNoisy(src.get(), 16, 20);
  const NoiseRecord noise{3.0, 2.5};
  ASSERT_EQ(DenoisePicture(dst.get(), src.get(), 8.0, 5.0, 1.0, &noise, 2), 0);
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), src.get()));
  ScopedPicBuf in(36, 28, 1, 8), out(36, 28, 1, 8);
  const double strengths[] = {8.0, 5.0, 5.0}, levels[] = {3.0, 5.0, 5.0};
  for (int c = 0; c < 3; ++c) {
    CBxPicBufAPI::ExtractComponent(in.get(), c, yuv.get());
    ASSERT_EQ(DenoisePlane(out.get(), in.get(), strengths[c], 1.0, levels[c], 2), 0);
    CBxPicBufAPI::InsertComponent(yuv.get(), c, out.get());
  }
  ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(expected.get(), yuv.get()));
  EXPECT_TRUE(SamePixels(*dst, *expected));
}

TEST(DenoiseTiled, CutsLargePicturesIntoTilesOfAtMostAThousandPixels) {
  const TileGrid grid = DenoiseTileGrid(2500, 1200);
  EXPECT_EQ(std::vector<int>({grid.columns, grid.rows, grid.tileWidth, grid.tileHeight}),
            std::vector<int>({3, 2, 834, 600}));  // the last column is 832 wide
}

TEST(DenoiseTiled, MeasuresTheNoiseOnceOnGreyAndFiltersEachTileWithAHundredPixelsAround) {
  // 1100 wide: two tiles of 550, filtered from columns [0, 650) and [450, 1100).
  ScopedPicBuf src(1100, 24, 3, 8), dst(1100, 24, 3, 8), grey(1100, 24, 3, 8);
  FillNoisy(src.get(), 18, 25);
  NoiseRecord noise;
  ASSERT_EQ(DenoiseTiled(dst.get(), src.get(), 8.0, 6.0, 1.0, &noise, 2), 0);
  CBxPicBufAPI::Copy(grey.get(), src.get());
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(grey.get(), 8, 1));
  EXPECT_EQ(std::pair(noise.luma, noise.chroma),
            std::pair(EstimateNoise(grey.get()), EstimateNoise(grey.get())));
  ScopedPicBuf want(1100, 24, 3, 8);
  for (const auto& [from, to, keepFrom] : {std::tuple{0, 650, 0}, std::tuple{450, 1100, 550}}) {
    ScopedPicBuf tile(to - from, 24, 3, 8), out(to - from, 24, 3, 8);
    CBxPicBufAPI::CopyRect(tile.get(), src.get(), {0, 0}, {from, 0}, {to - from, 24});
    ASSERT_EQ(DenoisePicture(out.get(), tile.get(), 8.0, 6.0, 1.0, &noise, 2), 0);
    CBxPicBufAPI::CopyRect(want.get(), out.get(), {keepFrom, 0}, {keepFrom - from, 0}, {550, 24});
  }
  EXPECT_TRUE(SamePixels(*dst, *want));
  // A measured record is kept: the flat picture next would measure 0.
  CBxPicBufAPI::SetConst(src.get(), 128);
  DenoiseTiled(dst.get(), src.get(), 8.0, 6.0, 1.0, &noise, 1);
  EXPECT_EQ(noise.luma, EstimateNoise(grey.get()));
}

}  // namespace
