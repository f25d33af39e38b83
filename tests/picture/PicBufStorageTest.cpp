#include <gtest/gtest.h>

#include <cstring>

#include "picture/CBxPicBufAPI.h"
#include "tests/support/TestFiles.h"

TEST(PicBufStorage, ReinitHeapAlignsRowsRefusesBadGeometryAndMayCopyItsOwnShape) {
  ScopedPicBuf pic(13, 5, 3, 16);
  ASSERT_NE(pic->pixels, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pic->pixels) % 64, 0u);
  EXPECT_EQ(pic->stride % 64, 0u);
  EXPECT_GE(pic->stride, 13u * 3 * 2);
  EXPECT_EQ(pic->byteSize, pic->stride * 5);
  CBxPicBufAPI::ReinitHeap(pic.get(), pic.get());  // the model is read before it is freed
  EXPECT_TRUE(pic->width == 13 && pic->height == 5 && pic->bitsPerComponent == 16);

  ScopedPicBuf bad;
  CBxPicBufAPI::ReinitHeap(bad.get(), 0, 10, 1, 8);
  EXPECT_TRUE(IsEmpty(*bad));
  CBxPicBufAPI::ReinitHeap(bad.get(), 10, 10, 2, 12);
  EXPECT_TRUE(IsEmpty(*bad));
  CBxPicBufAPI::ReinitHeap(bad.get(), 70000, 70000, 3, 16);  // more than 4 GiB
  EXPECT_TRUE(IsEmpty(*bad));
}

TEST(PicBufStorage, CopyRectClipsToBothPictures) {
  ScopedPicBuf src(10, 8, 3, 8), dst(6, 6, 3, 8);
  FillPattern(src.get());
  CBxPicBufAPI::SetConst(dst.get(), 0);
  // Block partly left of the destination and partly below the source.
  CBxPicBufAPI::CopyRect(dst.get(), src.get(), {-2, 3}, {4, 5}, {5, 5});
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      for (uint32_t c = 0; c < 3; ++c) {
        const unsigned want = x < 3 && y >= 3 ? SampleAt(*src, x + 6, y + 2, c) : 0;
        EXPECT_EQ(SampleAt(*dst, x, y, c), want) << x << "," << y;
      }
    }
  }
}

TEST(PicBufStorage, ExtractInsertRoundTripPerComponent) {
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf rgb(9, 4, 3, bits), plane(9, 4, 1, bits), out(9, 4, 3, bits);
    FillPattern(rgb.get());
    CBxPicBufAPI::SetConst(out.get(), 0);
    for (int c = 0; c < 3; ++c) {
      ASSERT_TRUE(CBxPicBufAPI::ExtractComponent(plane.get(), c, rgb.get()));
      EXPECT_EQ(SampleAt(*plane, 5, 2, 0), SampleAt(*rgb, 5, 2, static_cast<uint32_t>(c)));
      ASSERT_TRUE(CBxPicBufAPI::InsertComponent(out.get(), c, plane.get()));
    }
    EXPECT_TRUE(SameSamples(*out, *rgb)) << bits;
    EXPECT_FALSE(CBxPicBufAPI::ExtractComponent(plane.get(), 3, rgb.get()));
  }
  ScopedPicBuf out(9, 4, 3, 8), wrongDepth(9, 4, 1, 16);
  EXPECT_FALSE(CBxPicBufAPI::InsertComponent(out.get(), 0, wrongDepth.get()));
}
