#include <FreeImage.h>
#include <gtest/gtest.h>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "tests/support/TestFiles.h"

namespace {

struct Unloader {
  void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unloader>;

// Scan line of picture row y (bitmaps are stored bottom-up).
BYTE* Line(FIBITMAP* b, int y) {
  return FreeImage_GetScanLine(b, static_cast<int>(FreeImage_GetHeight(b)) - 1 - y);
}

// A 13 x 3 bitmap whose pixel (x, y) has red = 10x + y, green = 100 + x,
// blue = 200 - x and alpha = 7y, for 8- or 16-bit types.
Bitmap MakeColourBitmap(FREE_IMAGE_TYPE type, int bpp) {
  Bitmap b(FreeImage_AllocateT(type, 13, 3, bpp));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 13; ++x) {
      const unsigned r = 10u * x + y, g = 100u + x, bl = 200u - x, a = 7u * y;
      if (type == FIT_BITMAP) {
        BYTE* p = Line(b.get(), y) + x * (bpp / 8);
        p[FI_RGBA_RED] = static_cast<BYTE>(r);
        p[FI_RGBA_GREEN] = static_cast<BYTE>(g);
        p[FI_RGBA_BLUE] = static_cast<BYTE>(bl);
        if (bpp == 32) p[FI_RGBA_ALPHA] = static_cast<BYTE>(a);
      } else if (type == FIT_RGB16) {
        reinterpret_cast<FIRGB16*>(Line(b.get(), y))[x] = {
            static_cast<WORD>(r * 257), static_cast<WORD>(g * 257), static_cast<WORD>(bl * 257)};
      } else {
        reinterpret_cast<FIRGBA16*>(Line(b.get(), y))[x] = {
            static_cast<WORD>(r * 257), static_cast<WORD>(g * 257), static_cast<WORD>(bl * 257),
            static_cast<WORD>(a * 257)};
      }
    }
  }
  return b;
}

void ExpectBlueGreenRedTopDown(const SBxPicBuf& pic, unsigned scale) {
  ASSERT_EQ(pic.components, 3u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 13; ++x) {
      EXPECT_EQ(SampleAt(pic, x, y, 0), (200u - x) * scale) << x << "," << y;
      EXPECT_EQ(SampleAt(pic, x, y, 1), (100u + x) * scale);
      EXPECT_EQ(SampleAt(pic, x, y, 2), (10u * x + y) * scale);
    }
  }
}

void ExpectAlpha(const SBxPicBuf& mask, unsigned scale) {
  ASSERT_EQ(mask.components, 1u);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 13; ++x)
      EXPECT_EQ(SampleAt(mask, x, y, 0), 7u * y * scale);
}

}  // namespace

TEST(ConvertFromFreeImage, ColourComesOutBlueFirstTopRowFirstAtEveryDepth) {
  struct Case {
    FREE_IMAGE_TYPE type;
    int bpp;
    unsigned bits;
    bool alpha;
  };
  for (const Case c : {Case{FIT_BITMAP, 24, 8, false}, Case{FIT_BITMAP, 32, 8, true},
                       Case{FIT_RGB16, 48, 16, false}, Case{FIT_RGBA16, 64, 16, true}}) {
    SCOPED_TRACE(c.bpp);
    Bitmap b = MakeColourBitmap(c.type, c.bpp);
    ScopedPicBuf pic, mask;
    bool unsupported = true;
    ASSERT_FALSE(ConvertFromFreeImage(b.get(), pic.get(), mask.get(), &unsupported));
    EXPECT_FALSE(unsupported);
    EXPECT_EQ(pic->bitsPerComponent, c.bits);
    const unsigned scale = c.bits == 16 ? 257 : 1;
    ExpectBlueGreenRedTopDown(*pic, scale);
    if (c.alpha)
      ExpectAlpha(*mask, scale);
    else
      EXPECT_TRUE(IsEmpty(*mask));
  }
}

TEST(ConvertFromFreeImage, GreyIsCopiedAsStoredEvenWithWhiteToBlackPalette) {
  Bitmap grey(FreeImage_AllocateT(FIT_BITMAP, 5, 2, 8));
  RGBQUAD* palette = FreeImage_GetPalette(grey.get());
  for (int i = 0; i < 256; ++i)
    palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(255 - i);
  ASSERT_EQ(FreeImage_GetColorType(grey.get()), FIC_MINISWHITE);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x)
      Line(grey.get(), y)[x] = static_cast<BYTE>(40 * y + x);
  Bitmap grey16(FreeImage_AllocateT(FIT_UINT16, 5, 2, 16));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x)
      reinterpret_cast<WORD*>(Line(grey16.get(), y))[x] = static_cast<WORD>(30000 * y + x);

  ScopedPicBuf pic, mask;
  bool unsupported = true;
  ASSERT_FALSE(ConvertFromFreeImage(grey.get(), pic.get(), mask.get(), &unsupported));
  EXPECT_EQ(pic->components, 1u);
  EXPECT_EQ(SampleAt(*pic, 3, 1, 0), 43u);
  ASSERT_FALSE(ConvertFromFreeImage(grey16.get(), pic.get(), mask.get(), &unsupported));
  EXPECT_EQ(pic->bitsPerComponent, 16u);
  EXPECT_EQ(SampleAt(*pic, 4, 1, 0), 30004u);
  EXPECT_TRUE(IsEmpty(*mask));
}

TEST(ConvertFromFreeImage, RefusesKindsItCannotHoldAndLeavesPicturesAlone) {
  std::vector<Bitmap> refused;
  Bitmap palette(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 8));
  FreeImage_GetPalette(palette.get())[1].rgbRed = 255;  // a colour palette
  refused.push_back(std::move(palette));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 1));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 4));
  refused.emplace_back(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 16, FI16_565_RED_MASK,
                                           FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
  refused.emplace_back(FreeImage_AllocateT(FIT_FLOAT, 4, 4, 32));
  refused.emplace_back(FreeImage_AllocateT(FIT_UINT32, 4, 4, 32));
  refused.emplace_back(FreeImage_AllocateT(FIT_RGBF, 4, 4, 96));
  Bitmap cmyk(FreeImage_AllocateT(FIT_BITMAP, 4, 4, 32));
  FreeImage_GetICCProfile(cmyk.get())->flags |= FIICC_COLOR_IS_CMYK;
  refused.push_back(std::move(cmyk));

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

TEST(LoadImageFile, ReadsFilesWrittenByTheLibraryInOurComponentOrder) {
  TempFolder folder;
  Bitmap rgb16 = MakeColourBitmap(FIT_RGB16, 48);
  ASSERT_TRUE(FreeImage_Save(FIF_TIFF, rgb16.get(), (folder / "rgb48.tif").c_str(), 0));
  Bitmap rgba8 = MakeColourBitmap(FIT_BITMAP, 32);
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, rgba8.get(), (folder / "rgba32.png").c_str(), 0));

  ScopedPicBuf pic, mask(1, 1, 1, 8);
  ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(), folder / "rgb48.tif"));
  EXPECT_EQ(pic->bitsPerComponent, 16u);
  ExpectBlueGreenRedTopDown(*pic, 257);
  EXPECT_EQ(mask->width, 1);  // no alpha in the file: the caller's mask stays
  ASSERT_FALSE(LoadImageFile(pic.get(), mask.get(), folder / "rgba32.png"));
  ExpectBlueGreenRedTopDown(*pic, 1);
  ExpectAlpha(*mask, 1);
}

TEST(OpenSourceImage, ReplacesSourceAndMaskAndRecordsThePath) {
  TempFolder folder;
  Bitmap rgb = MakeColourBitmap(FIT_BITMAP, 24);
  ASSERT_TRUE(FreeImage_Save(FIF_BMP, rgb.get(), (folder / "plain.bmp").c_str(), 0));
  ImageDocument doc;
  CBxPicBufAPI::ReinitHeap(&doc.source, 3, 3, 1, 8);
  CBxPicBufAPI::ReinitHeap(&doc.mask, 3, 3, 1, 8);
  std::filesystem::path current = "earlier.jpg";
  ASSERT_FALSE(OpenSourceImage(&doc, folder / "plain.bmp", &current));
  ExpectBlueGreenRedTopDown(doc.source, 1);
  EXPECT_TRUE(IsEmpty(doc.mask));  // the file has no alpha
  EXPECT_EQ(current, folder / "plain.bmp");
  ReleaseDocument(&doc);
}

TEST(OpenSourceImage, RefusesUnsupportedOrBrokenFilesLeavingTheDocumentAlone) {
  TempFolder folder;
  Bitmap palette(FreeImage_AllocateT(FIT_BITMAP, 8, 8, 8));
  FreeImage_GetPalette(palette.get())[1].rgbGreen = 255;
  ASSERT_TRUE(FreeImage_Save(FIF_GIF, palette.get(), (folder / "palette.gif").c_str(), 0));
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, palette.get(), (folder / "palette.png").c_str(), 0));
  Bitmap oneBit(FreeImage_AllocateT(FIT_BITMAP, 8, 8, 1));
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, oneBit.get(), (folder / "onebit.png").c_str(), 0));
  Bitmap floats(FreeImage_AllocateT(FIT_FLOAT, 8, 8, 32));
  ASSERT_TRUE(FreeImage_Save(FIF_TIFF, floats.get(), (folder / "float.tif").c_str(), 0));
  Bitmap big = MakeColourBitmap(FIT_RGB16, 48);
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, big.get(), (folder / "whole.png").c_str(), 0));
  const std::string png = ReadWholeFile(folder / "whole.png");
  WriteTextFile(folder / "truncated.png", png.substr(0, png.size() / 2));
  WriteTextFile(folder / "text.png", "this is not a picture\n");
  std::filesystem::create_directory(folder / "folder.png");

  ImageDocument doc;
  CBxPicBufAPI::ReinitHeap(&doc.source, 3, 3, 3, 8);
  const uint8_t* source = doc.source.pixels;
  const std::filesystem::path cmyk =
      std::filesystem::path(MELVARO_SAMPLES_DIR) / "metadata/cmyk.jpg";
  for (const std::filesystem::path& bad :
       {folder / "palette.gif", folder / "palette.png", folder / "onebit.png", folder / "float.tif",
        cmyk, folder / "truncated.png", folder / "text.png", folder / "missing.png",
        folder / "folder.png", std::filesystem::path()}) {
    std::filesystem::path current = "kept.jpg";
    EXPECT_TRUE(OpenSourceImage(&doc, bad, &current)) << bad;
    EXPECT_EQ(doc.source.pixels, source);
    EXPECT_EQ(current, "kept.jpg");
    ScopedPicBuf pic, mask;
    EXPECT_TRUE(LoadImageFile(pic.get(), mask.get(), bad)) << bad;
  }
  ReleaseDocument(&doc);
}
