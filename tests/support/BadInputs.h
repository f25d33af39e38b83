#pragma once

#include <FreeImage.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

// Files no loader may accept, made in the folder: palette PNG and GIF, 1-bit
// BMP, float TIFF, the CMYK JPEG sample, a truncated PNG, text named .png, a
// missing file and a folder.
inline std::vector<std::filesystem::path> MakeUnreadableInputs(const TempFolder& folder) {
  FIBITMAP* palette = FreeImage_AllocateT(FIT_BITMAP, 8, 8, 8);
  FreeImage_GetPalette(palette)[3].rgbBlue = 200;  // not a grey ramp
  FreeImage_Save(FIF_PNG, palette, (folder / "palette.png").c_str(), 0);
  FreeImage_Save(FIF_GIF, palette, (folder / "palette.gif").c_str(), 0);
  FIBITMAP* oneBit = FreeImage_AllocateT(FIT_BITMAP, 8, 8, 1);
  FreeImage_Save(FIF_BMP, oneBit, (folder / "onebit.bmp").c_str(), 0);
  FIBITMAP* floats = FreeImage_AllocateT(FIT_FLOAT, 8, 8, 32);
  FreeImage_Save(FIF_TIFF, floats, (folder / "float.tif").c_str(), 0);
  FIBITMAP* rgb = FreeImage_AllocateT(FIT_RGB16, 40, 30, 48);
  FreeImage_Save(FIF_PNG, rgb, (folder / "whole.png").c_str(), 0);
  for (FIBITMAP* b : {palette, oneBit, floats, rgb})
    FreeImage_Unload(b);
  const std::string png = ReadWholeFile(folder / "whole.png");
  WriteTextFile(folder / "cut.png", png.substr(0, png.size() / 3));
  WriteTextFile(folder / "text.png", "not a picture\n");
  std::filesystem::create_directory(folder / "folder.png");
  return {folder / "palette.png",
          folder / "palette.gif",
          folder / "onebit.bmp",
          folder / "float.tif",
          std::filesystem::path(MELVARO_SAMPLES_DIR) / "metadata/cmyk.jpg",
          folder / "cut.png",
          folder / "text.png",
          folder / "missing.png",
          folder / "folder.png"};
}
