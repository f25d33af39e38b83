#include <FreeImage.h>
#include <gtest/gtest.h>

#include <utility>

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
      EXPECT_TRUE(!mask || SampleAt(*mask, x, y, 0) == 7u * y * scale);
    }
  }
}

}  // namespace

// Straight from a bitmap and through a TIFF file (a 48-bit TIFF holds red first).
TEST(ConvertFromFreeImage, ColourComesOutBlueFirstTopRowFirstWithAlphaAsMask) {
  TempFolder folder;
  for (const auto& [type, bpp] : {std::pair{FIT_BITMAP, 24}, std::pair{FIT_BITMAP, 32},
                                  std::pair{FIT_RGB16, 48}, std::pair{FIT_RGBA16, 64}}) {
    Bitmap b = MakeColourBitmap(type, bpp);
    ASSERT_TRUE(FreeImage_Save(FIF_TIFF, b.get(), (folder / "in.tif").c_str(), 0));
    for (bool fromFile : {false, true}) {
      SCOPED_TRACE(testing::Message() << bpp << (fromFile ? " file" : " bitmap"));
      ScopedPicBuf pic, mask;
      bool unsupported = false;
      ASSERT_FALSE(fromFile ? LoadImageFile(pic.get(), mask.get(), folder / "in.tif")
                            : ConvertFromFreeImage(b.get(), pic.get(), mask.get(), &unsupported));
      const bool alpha = bpp == 32 || bpp == 64;
      EXPECT_EQ(IsEmpty(*mask), !alpha);
      EXPECT_EQ(pic->bitsPerComponent, bpp > 32 ? 16u : 8u);
      ExpectPattern(*pic, alpha ? mask.get() : nullptr, bpp > 32 ? 257 : 1);
    }
  }
}

TEST(ConvertFromFreeImage, RefusesKindsItCannotHoldAndLeavesPicturesAlone) {
  // Palette, 1-bit and float files are refused through the loader below.
  std::vector<Bitmap> refused;
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 4));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 16, FI16_565_RED_MASK,
                                           FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
  refused.emplace_back(FreeImage_AllocateT(FIT_UINT32, 4, 4, 32));  // as many bits as 8-bit RGBA
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
