#include "single/Denoise.h"

#include <gtest/gtest.h>

#include "single/Exposure.h"
#include "single/NlmPlane.h"
#include "tests/single/TestPictures.h"

namespace {

// The plane at even size with the added row and column zero, filtered, cropped.
void EvenSizeFiltered(SBxPicBuf* dst, const SBxPicBuf& src, double strength, double noise) {
  const int w = src.width + src.width % 2, h = src.height + src.height % 2;
  ScopedPicBuf even(w, h, 1, 8), out(w, h, 1, 8);
  CBxPicBufAPI::SetConst(even.get(), 0);
  CBxPicBufAPI::CopyRect(even.get(), &src, {0, 0}, {0, 0}, {src.width, src.height});
  ASSERT_EQ(NlmPlane_x8(out.get(), even.get(), even.get(), strength, 0.0, 1, noise), 0);
  CBxPicBufAPI::CopyRect(dst, out.get(), {0, 0}, {0, 0}, {src.width, src.height});
}

TEST(DenoisePlane, OddPlaneIsFilteredAtEvenSizeAndCroppedBack) {
  ScopedPicBuf src(33, 21, 1, 8), dst(33, 21, 1, 8), expected(33, 21, 1, 8);
  FillNoisy(src.get(), 12, 25);
  ASSERT_EQ(DenoisePlane(dst.get(), src.get(), 10.0, 1.0, 5.0, 1), 0);
  EvenSizeFiltered(expected.get(), *src, 10.0, 5.0);
  EXPECT_TRUE(SamePixels(*dst, *expected));
  EXPECT_FALSE(SamePixels(*dst, *src));
}

TEST(DenoisePlane, PlanesNarrowerThanThreeColumnsComeBackUnchanged) {
  ScopedPicBuf src(2, 50, 1, 8), dst(2, 50, 1, 8);
  FillNoisy(src.get(), 15, 60);
  CBxPicBufAPI::SetConst(dst.get(), 0);
  EXPECT_EQ(DenoisePlane(dst.get(), src.get(), 18.0, 1.0, 20.0, 1), 0);
  EXPECT_TRUE(SamePixels(*dst, *src));
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
  EXPECT_EQ(grid.columns, 3);
  EXPECT_EQ(grid.rows, 2);
  EXPECT_EQ(grid.tileWidth, 834);
  EXPECT_EQ(grid.tileHeight, 600);
  EXPECT_EQ(2500 - 2 * grid.tileWidth, 832);  // the last column
  const TileGrid small = DenoiseTileGrid(999, 999);
  EXPECT_EQ(small.columns * small.rows, 1);
}

TEST(DenoiseTiled, EachTileIsFilteredWithAHundredPixelsOfItsSurroundings) {
  // 1100 wide: two tiles of 550, filtered from columns [0, 650) and [450, 1100).
  ScopedPicBuf src(1100, 24, 1, 8), dst(1100, 24, 1, 8);
  FillNoisy(src.get(), 18, 25);
  NoiseRecord noise{4.0, 4.0};
  ASSERT_EQ(DenoiseTiled(dst.get(), src.get(), 8.0, 8.0, 1.0, &noise, 2), 0);
  for (const auto& [from, to, keepFrom] : {std::tuple{0, 650, 0}, std::tuple{450, 1100, 550}}) {
    ScopedPicBuf tile(to - from, 24, 1, 8), out(to - from, 24, 1, 8), part(to - keepFrom, 24, 1, 8);
    CBxPicBufAPI::CopyRect(tile.get(), src.get(), {0, 0}, {from, 0}, {to - from, 24});
    ASSERT_EQ(DenoisePlane(out.get(), tile.get(), 8.0, 1.0, 4.0, 2), 0);
    ScopedPicBuf got(550, 24, 1, 8), want(550, 24, 1, 8);
    CBxPicBufAPI::CopyRect(got.get(), dst.get(), {0, 0}, {keepFrom, 0}, {550, 24});
    CBxPicBufAPI::CopyRect(want.get(), out.get(), {0, 0}, {keepFrom - from, 0}, {550, 24});
    EXPECT_TRUE(SamePixels(*got, *want)) << "tile from " << keepFrom;
  }
}

TEST(DenoiseTiled, MeasuresTheNoiseOnceOnTheGreyPicture) {
  ScopedPicBuf src(60, 40, 3, 8), dst(60, 40, 3, 8), grey(60, 40, 3, 8);
  FillNoisy(src.get(), 19, 15);
  NoiseRecord noise;
  ASSERT_EQ(DenoiseTiled(dst.get(), src.get(), 4.0, 4.0, 1.0, &noise, 1), 0);
  CBxPicBufAPI::Copy(grey.get(), src.get());
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(grey.get(), 8, 1));
  EXPECT_DOUBLE_EQ(noise.luma, EstimateNoise(grey.get()));
  EXPECT_DOUBLE_EQ(noise.chroma, noise.luma);
  // A measured record is kept: the next picture reuses it.
  const NoiseRecord before = noise;
  ScopedPicBuf other(60, 40, 3, 8);
  CBxPicBufAPI::SetConst(other.get(), 128);
  DenoiseTiled(dst.get(), other.get(), 4.0, 4.0, 1.0, &noise, 1);
  EXPECT_EQ(noise.luma, before.luma);
}

}  // namespace
