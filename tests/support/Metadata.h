#pragma once

#include <FreeImage.h>

#include <filesystem>
#include <string>

#include "picture/TiffSafeLoad.h"
#include "tests/support/TestFiles.h"

// What a written file tells of its camera and colour profile.
struct FileMetadata {
  std::string model;  // EXIF "Model", "(none)" without
  std::string taken;  // EXIF "DateTimeOriginal", "(none)" without
  std::string profile;
};

inline std::string TagText(FIBITMAP* b, FREE_IMAGE_MDMODEL model, const char* key) {
  FITAG* tag = nullptr;
  if (b == nullptr || !FreeImage_GetMetadata(model, b, key, &tag)) return "(none)";
  return FreeImage_TagToString(model, tag);
}

// Reads a file's metadata; TIFFs go through the safe loader, since the
// library's own TIFF reader mishandles the profile of TIFFs with EXIF.
inline FileMetadata ReadFileMetadata(const std::filesystem::path& path) {
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  bool hidden = false;
  FIBITMAP* b = format == FIF_TIFF ? LoadTiffSafely(path, FIF_LOAD_NOPIXELS, &hidden)
                                   : FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS);
  FileMetadata m{TagText(b, FIMD_EXIF_MAIN, "Model"),
                 TagText(b, FIMD_EXIF_EXIF, "DateTimeOriginal"), ""};
  const FIICCPROFILE* p = b ? FreeImage_GetICCProfile(b) : nullptr;
  if (hidden)
    m.profile = ReadTiffProfile(path);
  else if (p && p->data)
    m.profile.assign(static_cast<const char*>(p->data), p->size);
  if (b) FreeImage_Unload(b);
  return m;
}

// Writes a small JPEG with the EXIF of a camera sample and the test profile;
// gives what it carries.
inline FileMetadata MakeCameraJpeg(const std::filesystem::path& path) {
  const std::filesystem::path camera =
      std::filesystem::path(MELVARO_SAMPLES_DIR) / "bracketed/stlouis/stlouis0.jpg";
  FIBITMAP* original = FreeImage_Load(FIF_JPEG, camera.c_str(), FIF_LOAD_NOPIXELS);
  FIBITMAP* small = FreeImage_Allocate(24, 16, 24);
  FreeImage_CloneMetadata(small, original);
  std::string icc = MakeTestProfile();
  FreeImage_CreateICCProfile(small, icc.data(), static_cast<long>(icc.size()));
  FreeImage_Save(FIF_JPEG, small, path.c_str(), 90);
  FileMetadata m{TagText(original, FIMD_EXIF_MAIN, "Model"),
                 TagText(original, FIMD_EXIF_EXIF, "DateTimeOriginal"), icc};
  FreeImage_Unload(small);
  FreeImage_Unload(original);
  return m;
}

inline bool operator==(const FileMetadata& a, const FileMetadata& b) {
  return a.model == b.model && a.taken == b.taken && a.profile == b.profile;
}
