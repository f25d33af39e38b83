// The view's drawing into the surface, on plain pictures shown 1:1 at the top left corner.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "app/RenderView.h"
#include "picture/CBxPicBufAPI.h"

namespace {

class RenderViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CBxPicBufAPI::ReinitHeap(&surface_, 60, 40, 3, 8);
    view_.surface = &surface_;
    view_.zoom = 1.0;
    view_.srcCx = view_.srcCy = view_.dstCx = view_.dstCy = 0.0;
  }
  void TearDown() override {
    ReleaseViewCaches(&view_);
    for (SBxPicBuf* picture : {&surface_, &picture_, &mask_})
      CBxPicBufAPI::DoneHeap(picture);
  }
  // An 8-bit colour picture of one colour (blue, green, red).
  void MakeSolid(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
    CBxPicBufAPI::ReinitHeap(&picture_, width, height, 3, 8);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        std::copy_n(std::array<uint8_t, 3>{blue, green, red}.data(), 3,
                    RowPtr(picture_, y) + 3 * x);
  }
  // True on failure, as RenderView.
  bool Render(RenderMode mode, int slot, int draw = 1, const SBxPicBuf* mask = nullptr) {
    return RenderView(&view_, mode, mode == kRenderRefresh ? &picture_ : nullptr, slot, draw, mask);
  }
  const uint8_t* At(int x, int y) const { return RowPtr(surface_, y) + 3 * x; }

  SBxPicBuf surface_, picture_, mask_;
  ViewContext view_;
};

TEST_F(RenderViewTest, DrawsInStoredOrderOnTheBackgroundAndCachesSixteenBitGreyAsColour) {
  MakeSolid(20, 10, 10, 20, 30);
  EXPECT_FALSE(Render(kRenderRefresh, kSlotResult));
  EXPECT_EQ(std::vector<uint8_t>(At(5, 5), At(5, 5) + 3), (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_EQ(At(40, 30)[0], kViewBackgroundDark);  // beyond the picture

  CBxPicBufAPI::ReinitHeap(&picture_, 8, 8, 1, 16);
  for (int y = 0; y < 8; ++y)
    std::fill_n(reinterpret_cast<uint16_t*>(RowPtr(picture_, y)), 8, 257 * 200);
  EXPECT_FALSE(Render(kRenderRefresh, kSlotSource));
  EXPECT_EQ(view_.sourceCache.components, 3u);
  EXPECT_EQ(view_.sourceCache.bitsPerComponent, 8u);
  EXPECT_EQ(At(2, 2)[0], 200);
  EXPECT_EQ(At(2, 2)[2], 200);
}

TEST_F(RenderViewTest, NothingCachedOrNoScratchOfTheSurfaceSizeDrawsNothing) {
  EXPECT_TRUE(Render(kRenderCached, kSlotResult));
  EXPECT_TRUE(Render(kRenderScratch, kSlotResult));
  MakeSolid(20, 10, 1, 2, 3);
  EXPECT_FALSE(Render(kRenderRefresh, kSlotResult));
  EXPECT_FALSE(Render(kRenderScratch, kSlotResult));
  CBxPicBufAPI::ReinitHeap(&surface_, 61, 40, 3, 8);  // resized: the old scratch no longer fits
  EXPECT_TRUE(Render(kRenderScratch, kSlotResult));
}

TEST_F(RenderViewTest, TransparencyShowsTheCheckerboardBlendedWithIntegerDivision) {
  MakeSolid(60, 40, 100, 100, 100);
  CBxPicBufAPI::ReinitHeap(&mask_, 60, 40, 1, 8);
  CBxPicBufAPI::SetConst(&mask_, 0);
  for (int y = 0; y < 40; ++y) {
    RowPtr(mask_, y)[58] = 128;
    RowPtr(mask_, y)[59] = 255;
  }
  ASSERT_FALSE(Render(kRenderRefresh, kSlotResult, 1, &mask_));
  EXPECT_EQ(At(0, 0)[0], kCheckerDark);                                      // square (0, 0)
  EXPECT_EQ(At(14, 14)[1], kCheckerDark);                                    // still square (0, 0)
  EXPECT_EQ(At(15, 0)[2], kCheckerLight);                                    // square (1, 0)
  EXPECT_EQ(At(0, 15)[0], kCheckerLight);                                    // square (0, 1)
  EXPECT_EQ(At(15, 15)[0], kCheckerDark);                                    // square (1, 1)
  EXPECT_EQ(At(58, 0)[0], ((255 - 128) * kCheckerLight + 100 * 128) / 255);  // square (3, 0)
  EXPECT_EQ(At(59, 20)[0], 100);                                             // opaque
}

TEST_F(RenderViewTest, PreviewRectangleIsAnInvertedFrameTwoPixelsWide) {
  MakeSolid(60, 40, 10, 10, 10);
  const CBxRect rect{10, 5, 30, 25};
  view_.previewRect = &rect;
  ASSERT_FALSE(Render(kRenderRefresh, kSlotResult));
  // Re-caching the source without drawing must not invert the frame again and erase it.
  ASSERT_FALSE(Render(kRenderRefresh, kSlotSource, 0));
  const uint8_t inverted = static_cast<uint8_t>(~10);
  for (int x : {10, 11, 29, 30})
    EXPECT_EQ(At(x, 15)[1], inverted) << "column " << x;
  for (int y : {5, 6, 24, 25})
    EXPECT_EQ(At(20, y)[1], inverted) << "row " << y;
  EXPECT_EQ(At(10, 5)[0], inverted);  // corners belong to the columns, inverted once
  EXPECT_EQ(At(12, 5)[0], inverted);
  for (auto [x, y] : {std::pair{20, 15}, {9, 15}, {12, 7}})  // inside and outside
    EXPECT_EQ(At(x, y)[0], 10) << x << "," << y;

  const CBxRect beyond{-100, -100, 500, 500};  // clipped to the surface
  view_.previewRect = &beyond;
  EXPECT_FALSE(Render(kRenderRefresh, kSlotResult));
  EXPECT_EQ(At(0, 0)[0], 10);
}

}  // namespace

TEST_F(RenderViewTest, OverlayTintsTowardsRedByItsAmountAndOnlyOverAPictureOfItsSize) {
  MakeSolid(20, 10, 100, 100, 100);
  SBxPicBuf overlay;
  CBxPicBufAPI::ReinitHeap(&overlay, 20, 10, 1, 8);
  CBxPicBufAPI::SetConst(&overlay, 0);
  for (int y = 0; y < 10; ++y)
    RowPtr(overlay, y)[15] = 255;  // one column fully kept out
  view_.interpolation = kInterpolationNearest;
  view_.overlay = &overlay;
  EXPECT_FALSE(Render(kRenderRefresh, kSlotResult));
  EXPECT_EQ(std::vector<uint8_t>(At(5, 5), At(5, 5) + 3), (std::vector<uint8_t>{100, 100, 100}));
  // Half way to red: 100 * 128 / 255 and (100 * 128 + 255 * 127) / 255.
  EXPECT_EQ(std::vector<uint8_t>(At(15, 5), At(15, 5) + 3), (std::vector<uint8_t>{50, 50, 177}));
  EXPECT_EQ(At(40, 30)[2], kViewBackgroundDark);  // beyond the picture: nothing tinted

  // An overlay of another picture's size is not drawn.
  MakeSolid(30, 10, 100, 100, 100);
  EXPECT_FALSE(Render(kRenderRefresh, kSlotResult));
  EXPECT_EQ(At(15, 5)[2], 100);
  view_.overlay = nullptr;
  CBxPicBufAPI::DoneHeap(&overlay);
}
