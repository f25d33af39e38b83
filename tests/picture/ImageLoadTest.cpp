#include <FreeImage.h>
#include <gtest/gtest.h>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "tests/support/BadInputs.h"

namespace {

struct Unloader {
  void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unloader>;

// A 13 x 3 bitmap (odd width, so picture rows have padding) whose pixel x, y
// has red 10x + y, green 100 + x, blue 200 - x, alpha 7y, times `scale`.
Bitmap MakeColourBitmap(FREE_IMAGE_TYPE type, int bpp) {
  Bitmap b(FreeImage_AllocateT(type, 13, 3, bpp));
  const WORD scale = type == FIT_BITMAP ? 1 : 257;
  for (int y = 0; y < 3; ++y) {
    BYTE* line = FreeImage_GetScanLine(b.get(), 2 - y);  // bitmaps are stored bottom-up
    for (int x = 0; x < 13; ++x) {
      const WORD v[4] = {static_cast<WORD>((10 * x + y) * scale),
                         static_cast<WORD>((100 + x) * scale), static_cast<WORD>((200 - x) * scale),
                         static_cast<WORD>(7 * y * scale)};
      if (type == FIT_BITMAP) {
        BYTE* p = line + x * (bpp / 8);
        p[FI_RGBA_RED] = static_cast<BYTE>(v[0]);
        p[FI_RGBA_GREEN] = static_cast<BYTE>(v[1]);
        p[FI_RGBA_BLUE] = static_cast<BYTE>(v[2]);
        if (bpp == 32) p[FI_RGBA_ALPHA] = static_cast<BYTE>(v[3]);
      } else {  // FIRGB16 and FIRGBA16 are red, green, blue[, alpha]
        std::copy(v, v + bpp / 16, reinterpret_cast<WORD*>(line) + x * (bpp / 16));
      }
    }
  }
  return b;
}

void ExpectPattern(const SBxPicBuf& pic, const SBxPicBuf* mask, unsigned scale) {
  ASSERT_EQ(pic.components, 3u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 13; ++x) {
      EXPECT_EQ(SampleAt(pic, x, y, 0), (200u - x) * scale) << x << "," << y;
      EXPECT_EQ(SampleAt(pic, x, y, 1), (100u + x) * scale);
      EXPECT_EQ(SampleAt(pic, x, y, 2), (10u * x + y) * scale);
      if (mask) {
        EXPECT_EQ(SampleAt(*mask, x, y, 0), 7u * y * scale);
      }
    }
  }
}

}  // namespace

TEST(ConvertFromFreeImage, ColourComesOutBlueFirstTopRowFirstWithAlphaAsMask) {
  const struct {
    FREE_IMAGE_TYPE type;
    int bpp;
  } cases[] = {{FIT_BITMAP, 24}, {FIT_BITMAP, 32}, {FIT_RGB16, 48}, {FIT_RGBA16, 64}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bpp);
    Bitmap b = MakeColourBitmap(c.type, c.bpp);
    ScopedPicBuf pic, mask;
    bool unsupported = true;
    ASSERT_FALSE(ConvertFromFreeImage(b.get(), pic.get(), mask.get(), &unsupported));
    EXPECT_FALSE(unsupported);
    const bool alpha = c.bpp == 32 || c.bpp == 64;
    EXPECT_EQ(IsEmpty(*mask), !alpha);
    ExpectPattern(*pic, alpha ? mask.get() : nullptr, c.bpp > 32 ? 257 : 1);
  }
}

TEST(ConvertFromFreeImage, RefusesKindsItCannotHoldAndLeavesPicturesAlone) {
  std::vector<Bitmap> refused;
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 8));
  FreeImage_GetPalette(refused.back().get())[1].rgbRed = 255;  // a colour palette
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 1));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 4));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 16, FI16_565_RED_MASK,
                                           FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
  // Float and 32-bit integer samples have bit counts of 8-bit colour with alpha.
  refused.emplace_back(FreeImage_AllocateT(FIT_FLOAT, 4, 4, 32));
  refused.emplace_back(FreeImage_AllocateT(FIT_UINT32, 4, 4, 32));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 32));
  FreeImage_GetICCProfile(refused.back().get())->flags |= FIICC_COLOR_IS_CMYK;

  ScopedPicBuf pic(2, 2, 1, 8), mask(2, 2, 1, 8);
  const uint8_t* before = pic->pixels;
  for (const Bitmap& b : refused) {
    bool unsupported = false;
    EXPECT_TRUE(ConvertFromFreeImage(b.get(), pic.get(), mask.get(), &unsupported));
    EXPECT_TRUE(unsupported) << FreeImage_GetImageType(b.get()) << "/" << FreeImage_GetBPP(b.get());
    EXPECT_EQ(pic->pixels, before);
  }
  bool unsupported = true;
  EXPECT_TRUE(ConvertFromFreeImage(nullptr, pic.get(), mask.get(), &unsupported));
  EXPECT_FALSE(unsupported);
}

TEST(LoadImageFile, ReadsA48BitTiffBlueFirstAndLeavesTheMaskWithoutAlpha) {
  TempFolder folder;
  Bitmap rgb16 = MakeColourBitmap(FIT_RGB16, 48);
  ASSERT_TRUE(FreeImage_Save(FIF_TIFF, rgb16.get(), (folder / "rgb48.tif").c_str(), 0));
  ScopedPicBuf pic, mask(1, 1, 1, 8);
  ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(), folder / "rgb48.tif"));
  EXPECT_EQ(pic->bitsPerComponent, 16u);
  ExpectPattern(*pic, nullptr, 257);
  EXPECT_EQ(mask->width, 1);
}

TEST(OpenSourceImage, RefusesUnsupportedOrBrokenFilesLeavingTheDocumentAlone) {
  TempFolder folder;
  ImageDocument doc;
  CBxPicBufAPI::ReinitHeap(&doc.source, 3, 3, 3, 8);
  const uint8_t* source = doc.source.pixels;
  std::vector<std::filesystem::path> bad = MakeUnreadableInputs(folder);
  bad.emplace_back();
  for (const std::filesystem::path& path : bad) {
    std::filesystem::path current = "kept.jpg";
    EXPECT_TRUE(OpenSourceImage(&doc, path, &current)) << path;
    EXPECT_EQ(doc.source.pixels, source);
    EXPECT_EQ(current, "kept.jpg");
    ScopedPicBuf pic, mask;
    EXPECT_TRUE(LoadImageFile(pic.get(), mask.get(), path)) << path;
  }
  ReleaseDocument(&doc);
}
