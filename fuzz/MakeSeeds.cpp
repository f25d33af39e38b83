// Writes the fuzzer's seed corpus: small valid files of every kind the loader
// reads, one folder per format (bmp, jpg, png, tif) under the given folder.
// Usage: melvaro_fuzz_seeds FOLDER
#include <FreeImage.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 21;  // odd, and more than one 16-pixel tile across
constexpr int kHeight = 19;

struct Unloader {
  void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unloader>;

uint8_t Sample(int x, int y, int c) {
  return static_cast<uint8_t>(x * 11 + y * 7 + c * 60);
}

// A bitmap of the given type and bits per pixel with a pattern in every byte.
Bitmap Make(FREE_IMAGE_TYPE type, int bpp) {
  Bitmap b(FreeImage_AllocateT(type, kWidth, kHeight, bpp));
  const unsigned bytes = FreeImage_GetLine(b.get());
  for (int y = 0; y < kHeight; ++y) {
    BYTE* line = FreeImage_GetScanLine(b.get(), y);
    for (unsigned i = 0; i < bytes; ++i)
      line[i] = Sample(static_cast<int>(i), y, 0);
  }
  if (bpp == 8 && type == FIT_BITMAP) {
    RGBQUAD* palette = FreeImage_GetPalette(b.get());
    for (int i = 0; i < 256; ++i)
      palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
  }
  return b;
}

bool Save(const fs::path& path, FREE_IMAGE_FORMAT format, FIBITMAP* b, int flags) {
  if (FreeImage_Save(format, b, path.c_str(), flags)) return true;
  std::fprintf(stderr, "could not write %s\n", path.c_str());
  return false;
}

// Stripped or tiled TIFFs the library's writer does not make: two rows per
// strip, or 16 x 16 tiles over a picture that is not a whole number of tiles.
bool WriteTiff(const fs::path& path, int samples, int bits, bool tiled, uint16_t compression,
               bool separatePlanes = false) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
               separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  if (samples == 4) {
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  const size_t rowBytes = static_cast<size_t>(kWidth) * samples * bits / 8;
  std::vector<uint8_t> image(rowBytes * kHeight);
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = Sample(static_cast<int>(i % rowBytes), static_cast<int>(i / rowBytes), 1);
  bool ok = true;
  if (tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    const size_t pixelBytes = static_cast<size_t>(samples) * bits / 8;
    std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tif)));
    for (int ty = 0; ty < kHeight; ty += 16)
      for (int tx = 0; tx < kWidth; tx += 16) {
        std::fill(tile.begin(), tile.end(), 0);
        for (int y = ty; y < std::min(ty + 16, kHeight); ++y)
          for (int x = tx; x < std::min(tx + 16, kWidth); ++x)
            std::memcpy(&tile[((y - ty) * 16 + (x - tx)) * pixelBytes],
                        &image[y * rowBytes + x * pixelBytes], pixelBytes);
        ok = ok && TIFFWriteTile(tif, tile.data(), static_cast<uint32_t>(tx),
                                 static_cast<uint32_t>(ty), 0, 0) >= 0;
      }
  } else if (separatePlanes) {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    const size_t sampleBytes = static_cast<size_t>(bits) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(kWidth) * sampleBytes);
    for (int s = 0; s < samples; ++s)
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
          std::memcpy(&row[x * sampleBytes], &image[y * rowBytes + (x * samples + s) * sampleBytes],
                      sampleBytes);
        ok = ok && TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y),
                                     static_cast<uint16_t>(s)) == 1;
      }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
    for (int y = 0; y < kHeight; ++y)
      ok = ok && TIFFWriteScanline(tif, &image[y * rowBytes], static_cast<uint32_t>(y), 0) == 1;
  }
  TIFFClose(tif);
  return ok;
}

// A 24-bit BMP stored top row first (negative height), which the library's
// writer never makes.
bool WriteTopDownBmp(const fs::path& path) {
  const uint32_t stride = (kWidth * 3 + 3) & ~3u;
  const uint32_t dataBytes = stride * kHeight;
  std::vector<uint8_t> file(54 + dataBytes, 0);
  auto put32 = [&file](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, kWidth);
  put32(22, static_cast<uint32_t>(-kHeight));
  file[26] = 1;
  file[28] = 24;
  put32(34, dataBytes);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth * 3; ++x)
      file[54 + y * stride + x] = Sample(x, y, 2);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* format : {"bmp", "jpg", "png", "tif"})
    fs::create_directories(root / format);
  FreeImage_Initialise(FALSE);
  TIFFSetWarningHandler(nullptr);

  const Bitmap grey8 = Make(FIT_BITMAP, 8), rgb8 = Make(FIT_BITMAP, 24),
               rgba8 = Make(FIT_BITMAP, 32), grey16 = Make(FIT_UINT16, 16),
               rgb16 = Make(FIT_RGB16, 48), rgba16 = Make(FIT_RGBA16, 64);
  Bitmap rgb565(FreeImage_Allocate(kWidth, kHeight, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK,
                                   FI16_565_BLUE_MASK));
  const fs::path png = root / "png", jpg = root / "jpg", tif = root / "tif", bmp = root / "bmp";
  bool ok = true;
  ok &= Save(png / "grey8.png", FIF_PNG, grey8.get(), 0);
  ok &= Save(png / "grey16.png", FIF_PNG, grey16.get(), 0);
  ok &= Save(png / "rgb8.png", FIF_PNG, rgb8.get(), 0);
  ok &= Save(png / "rgba8-interlaced.png", FIF_PNG, rgba8.get(), PNG_INTERLACED);
  ok &= Save(png / "rgb16-interlaced.png", FIF_PNG, rgb16.get(), PNG_INTERLACED);
  ok &= Save(png / "rgba16.png", FIF_PNG, rgba16.get(), 0);

  ok &= Save(jpg / "grey.jpg", FIF_JPEG, grey8.get(), 75);
  ok &= Save(jpg / "rgb420.jpg", FIF_JPEG, rgb8.get(), 75 | JPEG_SUBSAMPLING_420);
  ok &= Save(jpg / "rgb444-optimized.jpg", FIF_JPEG, rgb8.get(),
             75 | JPEG_SUBSAMPLING_444 | JPEG_OPTIMIZE);
  ok &= Save(jpg / "rgb-progressive.jpg", FIF_JPEG, rgb8.get(), 75 | JPEG_PROGRESSIVE);
  ok &= Save(jpg / "grey-progressive.jpg", FIF_JPEG, grey8.get(), 60 | JPEG_PROGRESSIVE);

  ok &= Save(tif / "grey8.tif", FIF_TIFF, grey8.get(), TIFF_NONE);
  ok &= Save(tif / "grey16-packbits.tif", FIF_TIFF, grey16.get(), TIFF_PACKBITS);
  ok &= Save(tif / "rgb8-lzw.tif", FIF_TIFF, rgb8.get(), TIFF_LZW);
  ok &= Save(tif / "rgba8-deflate.tif", FIF_TIFF, rgba8.get(), TIFF_DEFLATE);
  ok &= Save(tif / "rgb16-adobe-deflate.tif", FIF_TIFF, rgb16.get(), TIFF_ADOBE_DEFLATE);
  ok &= Save(tif / "rgba16.tif", FIF_TIFF, rgba16.get(), TIFF_NONE);
  ok &= Save(tif / "rgb8-jpeg.tif", FIF_TIFF, rgb8.get(), TIFF_JPEG);
  ok &= WriteTiff(tif / "rgb8-strips.tif", 3, 8, false, COMPRESSION_NONE);
  ok &= WriteTiff(tif / "rgb8-tiles.tif", 3, 8, true, COMPRESSION_NONE);
  ok &= WriteTiff(tif / "rgba8-tiles-lzw.tif", 4, 8, true, COMPRESSION_LZW);
  ok &= WriteTiff(tif / "grey16-tiles-deflate.tif", 1, 16, true, COMPRESSION_ADOBE_DEFLATE);
  ok &= WriteTiff(tif / "rgb16-strips-lzw.tif", 3, 16, false, COMPRESSION_LZW);
  ok &= WriteTiff(tif / "rgb8-planes.tif", 3, 8, false, COMPRESSION_NONE, true);
  ok &= WriteTiff(tif / "rgba16-planes-deflate.tif", 4, 16, false, COMPRESSION_ADOBE_DEFLATE, true);

  ok &= Save(bmp / "grey8.bmp", FIF_BMP, grey8.get(), 0);
  ok &= Save(bmp / "grey8-rle.bmp", FIF_BMP, grey8.get(), BMP_SAVE_RLE);
  ok &= Save(bmp / "rgb24.bmp", FIF_BMP, rgb8.get(), 0);
  ok &= Save(bmp / "rgba32.bmp", FIF_BMP, rgba8.get(), 0);
  ok &= Save(bmp / "rgb565.bmp", FIF_BMP, rgb565.get(), 0);
  ok &= WriteTopDownBmp(bmp / "rgb24-topdown.bmp");
  return ok ? 0 : 1;
}
