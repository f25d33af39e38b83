#include <gtest/gtest.h>

#include <cstring>

#include "picture/CBxPicBufAPI.h"

namespace {

// Fills every sample of an 8-bit picture with a value that depends on x, y, c.
void FillPattern(SBxPicBuf* pic) {
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (uint32_t i = 0; i < static_cast<uint32_t>(pic->width) * pic->components; ++i)
      row[i] = static_cast<uint8_t>(y * 31 + i * 7);
  }
}

}  // namespace

TEST(PicBufStorage, ReinitHeapAlignsRowsAndSizes) {
  ScopedPicBuf pic(13, 5, 3, 16);
  ASSERT_NE(pic->pixels, nullptr);
  EXPECT_EQ(pic->stride % CBxPicBufAPI::kRowAlignment, 0u);
  EXPECT_GE(pic->stride, 13u * 3 * 2);
  EXPECT_EQ(pic->byteSize, pic->stride * 5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pic->pixels) % CBxPicBufAPI::kRowAlignment, 0u);
}

TEST(PicBufStorage, ReinitHeapRefusesBadGeometry) {
  ScopedPicBuf pic;
  CBxPicBufAPI::ReinitHeap(pic.get(), 0, 10, 1, 8);
  EXPECT_TRUE(IsEmpty(*pic));
  CBxPicBufAPI::ReinitHeap(pic.get(), 10, 10, 2, 12);
  EXPECT_TRUE(IsEmpty(*pic));
  CBxPicBufAPI::ReinitHeap(pic.get(), 70000, 70000, 3, 16);  // more than 4 GiB
  EXPECT_TRUE(IsEmpty(*pic));
}

TEST(PicBufStorage, ReinitHeapFromItselfKeepsGeometry) {
  ScopedPicBuf pic(7, 3, 1, 32);
  CBxPicBufAPI::ReinitHeap(pic.get(), pic.get());
  EXPECT_EQ(pic->width, 7);
  EXPECT_EQ(pic->height, 3);
  EXPECT_EQ(pic->bitsPerComponent, 32u);
}

TEST(PicBufStorage, CopyRectClipsToBothPictures) {
  ScopedPicBuf src(10, 8, 3, 8), dst(6, 6, 3, 8);
  FillPattern(src.get());
  CBxPicBufAPI::SetConst(dst.get(), 0);
  // Block partly left of the destination and partly below the source.
  CBxPicBufAPI::CopyRect(dst.get(), src.get(), {-2, 3}, {4, 5}, {5, 5});
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x < 3 && y >= 3 && y < 6;
      const uint8_t* d = RowPtr(*dst, y) + 3 * x;
      if (inside) {
        const uint8_t* s = RowPtr(*src, y + 2) + 3 * (x + 6);
        EXPECT_EQ(std::memcmp(d, s, 3), 0) << x << "," << y;
      } else {
        EXPECT_EQ(d[0] | d[1] | d[2], 0) << x << "," << y;
      }
    }
  }
}

TEST(PicBufStorage, ExtractInsertRoundTripPerComponent) {
  ScopedPicBuf rgb(9, 4, 3, 8), plane(9, 4, 1, 8), out(9, 4, 3, 8);
  FillPattern(rgb.get());
  CBxPicBufAPI::SetConst(out.get(), 0);
  for (int c = 0; c < 3; ++c) {
    ASSERT_TRUE(CBxPicBufAPI::ExtractComponent(plane.get(), c, rgb.get()));
    EXPECT_EQ(RowPtr(*plane, 2)[5], RowPtr(*rgb, 2)[5 * 3 + c]);
    ASSERT_TRUE(CBxPicBufAPI::InsertComponent(out.get(), c, plane.get()));
  }
  for (int y = 0; y < 4; ++y)
    EXPECT_EQ(std::memcmp(RowPtr(*out, y), RowPtr(*rgb, y), 27), 0);
  EXPECT_FALSE(CBxPicBufAPI::ExtractComponent(plane.get(), 3, rgb.get()));
  ScopedPicBuf wrongDepth(9, 4, 1, 16);
  EXPECT_FALSE(CBxPicBufAPI::InsertComponent(out.get(), 0, wrongDepth.get()));
}
