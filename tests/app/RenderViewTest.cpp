// The view's drawing into the surface, on plain pictures.
#include <gtest/gtest.h>

#include "app/RenderView.h"
#include "picture/CBxPicBufAPI.h"
#include "tests/app/AppTestSupport.h"

namespace {

class RenderViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CBxPicBufAPI::ReinitHeap(&surface_, 60, 40, 3, 8);
    view_.surface = &surface_;
    view_.background = kViewBackgroundDark;
    view_.zoom = 1.0;
  }
  void TearDown() override {
    ReleaseViewCaches(&view_);
    CBxPicBufAPI::DoneHeap(&surface_);
    CBxPicBufAPI::DoneHeap(&picture_);
    CBxPicBufAPI::DoneHeap(&mask_);
  }
  // Shows the picture's top left corner at the view's top left corner.
  void AlignTopLeft() {
    view_.srcCx = view_.srcCy = 0.0;
    view_.dstCx = view_.dstCy = 0.0;
  }
  const uint8_t* At(int x, int y) const { return RowPtr(surface_, y) + 3 * x; }

  SBxPicBuf surface_;
  SBxPicBuf picture_;
  SBxPicBuf mask_;
  ViewContext view_;
};

TEST_F(RenderViewTest, DrawsThePictureInStoredOrderOnTheBackground) {
  MakeSolid(&picture_, 20, 10, 10, 20, 30);
  AlignTopLeft();
  EXPECT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, nullptr));
  EXPECT_EQ(At(5, 5)[0], 10);
  EXPECT_EQ(At(5, 5)[1], 20);
  EXPECT_EQ(At(5, 5)[2], 30);
  EXPECT_EQ(At(40, 30)[0], kViewBackgroundDark);  // beyond the picture
}

TEST_F(RenderViewTest, SixteenBitGreyIsCachedAsEightBitColour) {
  CBxPicBufAPI::ReinitHeap(&picture_, 8, 8, 1, 16);
  for (int y = 0; y < 8; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(RowPtr(picture_, y));
    for (int x = 0; x < 8; ++x)
      row[x] = 257 * 200;
  }
  AlignTopLeft();
  EXPECT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotSource, 1, nullptr));
  EXPECT_EQ(view_.sourceCache.components, 3u);
  EXPECT_EQ(view_.sourceCache.bitsPerComponent, 8u);
  EXPECT_EQ(At(2, 2)[0], 200);
  EXPECT_EQ(At(2, 2)[2], 200);
}

TEST_F(RenderViewTest, NothingCachedOrNoScratchOfTheSurfaceSizeDrawsNothing) {
  EXPECT_TRUE(RenderView(&view_, kRenderCached, nullptr, kSlotResult, 1, nullptr));
  EXPECT_TRUE(RenderView(&view_, kRenderScratch, nullptr, kSlotResult, 1, nullptr));
  MakeSolid(&picture_, 20, 10, 1, 2, 3);
  EXPECT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, nullptr));
  EXPECT_FALSE(RenderView(&view_, kRenderScratch, nullptr, kSlotResult, 1, nullptr));
  // The view was resized since: the old scratch no longer fits.
  CBxPicBufAPI::ReinitHeap(&surface_, 61, 40, 3, 8);
  EXPECT_TRUE(RenderView(&view_, kRenderScratch, nullptr, kSlotResult, 1, nullptr));
}

TEST_F(RenderViewTest, TransparentPixelsShowTheCheckerboard) {
  MakeSolid(&picture_, 60, 40, 0, 0, 0);
  CBxPicBufAPI::ReinitHeap(&mask_, 60, 40, 1, 8);
  CBxPicBufAPI::SetConst(&mask_, 0);  // fully transparent
  for (int y = 0; y < 40; ++y)
    RowPtr(mask_, y)[59] = 255;
  AlignTopLeft();
  ASSERT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, &mask_));
  EXPECT_EQ(At(0, 0)[0], kCheckerDark);    // square (0, 0)
  EXPECT_EQ(At(14, 14)[1], kCheckerDark);  // still square (0, 0)
  EXPECT_EQ(At(15, 0)[2], kCheckerLight);  // square (1, 0)
  EXPECT_EQ(At(0, 15)[0], kCheckerLight);  // square (0, 1)
  EXPECT_EQ(At(15, 15)[0], kCheckerDark);  // square (1, 1)
  EXPECT_EQ(At(59, 20)[0], 0);             // opaque column keeps the picture
}

TEST_F(RenderViewTest, HalfTransparentPixelsBlendWithIntegerDivision) {
  MakeSolid(&picture_, 60, 40, 100, 100, 100);
  CBxPicBufAPI::ReinitHeap(&mask_, 60, 40, 1, 8);
  CBxPicBufAPI::SetConst(&mask_, 128);
  AlignTopLeft();
  ASSERT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, &mask_));
  EXPECT_EQ(At(0, 0)[0], ((255 - 128) * kCheckerDark + 100 * 128) / 255);
}

TEST_F(RenderViewTest, PreviewRectangleIsAnInvertedFrameTwoPixelsWide) {
  MakeSolid(&picture_, 60, 40, 10, 10, 10);
  const CBxRect rect{10, 5, 30, 25};
  view_.previewRect = &rect;
  AlignTopLeft();
  ASSERT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, nullptr));
  const uint8_t inverted = static_cast<uint8_t>(~10);
  for (int x : {10, 11, 29, 30})
    EXPECT_EQ(At(x, 15)[1], inverted) << "column " << x;
  for (int y : {5, 6, 24, 25})
    EXPECT_EQ(At(20, y)[1], inverted) << "row " << y;
  EXPECT_EQ(At(10, 5)[0], inverted);  // corners belong to the columns, inverted once
  EXPECT_EQ(At(12, 5)[0], inverted);
  EXPECT_EQ(At(20, 15)[0], 10);  // inside
  EXPECT_EQ(At(9, 15)[0], 10);   // outside
  EXPECT_EQ(At(12, 7)[0], 10);
}

TEST_F(RenderViewTest, RefreshingCachesWithoutDrawingLeavesTheSurfaceAlone) {
  MakeSolid(&picture_, 60, 40, 10, 10, 10);
  const CBxRect rect{10, 5, 30, 25};
  view_.previewRect = &rect;
  AlignTopLeft();
  ASSERT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, nullptr));
  // Re-caching the source must not invert the frame a second time and erase it.
  ASSERT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotSource, 0, nullptr));
  EXPECT_EQ(At(10, 15)[0], static_cast<uint8_t>(~10));
}

TEST_F(RenderViewTest, FrameOutsideTheSurfaceIsClipped) {
  MakeSolid(&picture_, 60, 40, 10, 10, 10);
  const CBxRect rect{-100, -100, 500, 500};
  view_.previewRect = &rect;
  AlignTopLeft();
  EXPECT_FALSE(RenderView(&view_, kRenderRefresh, &picture_, kSlotResult, 1, nullptr));
  EXPECT_EQ(At(0, 0)[0], 10);
}

}  // namespace
