#include "picture/ImageSave.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "files/AtomicFile.h"
#include "picture/FreeImageSupport.h"
#include "picture/TiffExif.h"
#include "picture/TiffSafeLoad.h"

namespace fs = std::filesystem;

namespace {

bool Writable(const SBxPicBuf* pic) {
  return pic != nullptr && pic->pixels != nullptr && pic->width > 0 && pic->height > 0 &&
         (pic->components == 1 || pic->components == 3) &&
         (pic->bitsPerComponent == 8 || pic->bitsPerComponent == 16);
}

FREE_IMAGE_FORMAT FormatOf(int formatCode, const fs::path& destination) {
  if (formatCode == kFormatFromName) formatCode = FormatCodeFromExtension(destination);
  switch (formatCode) {
    case kFormatBmp:
      return FIF_BMP;
    case kFormatTiff:
      return FIF_TIFF;
    case kFormatPng:
      return FIF_PNG;
    case kFormatJpeg:
      return FIF_JPEG;
    default:
      throw UnsupportedImageFormat();
  }
}

void FillGrey(FIBITMAP* bitmap, const SBxPicBuf& pic) {
  const size_t rowBytes = static_cast<size_t>(pic.width) * (pic.bitsPerComponent / 8);
  for (int r = 0; r < pic.height; ++r)
    std::memcpy(FreeImage_GetScanLine(bitmap, pic.height - 1 - r), RowPtr(pic, r), rowBytes);
}

void FillColour8(FIBITMAP* bitmap, const SBxPicBuf& pic, const SBxPicBuf* mask) {
  for (int r = 0; r < pic.height; ++r) {
    BYTE* d = FreeImage_GetScanLine(bitmap, pic.height - 1 - r);
    const uint8_t* s = RowPtr(pic, r);
    if (mask == nullptr) {
      std::memcpy(d, s, static_cast<size_t>(pic.width) * 3);
      continue;
    }
    const uint8_t* a = RowPtr(*mask, r);
    for (int x = 0; x < pic.width; ++x) {
      d[4 * x] = s[3 * x];
      d[4 * x + 1] = s[3 * x + 1];
      d[4 * x + 2] = s[3 * x + 2];
      d[4 * x + 3] = a[x];
    }
  }
}

// 16-bit bitmaps hold red first; pictures hold blue first.
void FillColour16(FIBITMAP* bitmap, const SBxPicBuf& pic, const SBxPicBuf* mask) {
  for (int r = 0; r < pic.height; ++r) {
    const uint16_t* s = reinterpret_cast<const uint16_t*>(RowPtr(pic, r));
    BYTE* line = FreeImage_GetScanLine(bitmap, pic.height - 1 - r);
    if (mask == nullptr) {
      FIRGB16* d = reinterpret_cast<FIRGB16*>(line);
      for (int x = 0; x < pic.width; ++x) {
        d[x].red = s[3 * x + 2];
        d[x].green = s[3 * x + 1];
        d[x].blue = s[3 * x];
      }
      continue;
    }
    const uint16_t* a = reinterpret_cast<const uint16_t*>(RowPtr(*mask, r));
    FIRGBA16* d = reinterpret_cast<FIRGBA16*>(line);
    for (int x = 0; x < pic.width; ++x) {
      d[x].red = s[3 * x + 2];
      d[x].green = s[3 * x + 1];
      d[x].blue = s[3 * x];
      d[x].alpha = a[x];
    }
  }
}

// The picture as a bitmap; mask null or of the picture's size and depth.
BitmapPtr MakeBitmap(const SBxPicBuf& pic, const SBxPicBuf* mask) {
  const unsigned bits = pic.bitsPerComponent;
  FREE_IMAGE_TYPE type = FIT_BITMAP;
  if (bits == 16) type = pic.components == 1 ? FIT_UINT16 : (mask ? FIT_RGBA16 : FIT_RGB16);
  const unsigned bpp = (pic.components + (mask ? 1 : 0)) * bits;
  BitmapPtr bitmap(
      FreeImage_AllocateT(type, pic.width, pic.height, static_cast<int>(bpp), 0, 0, 0));
  if (!bitmap) return bitmap;
  if (pic.components == 1)
    FillGrey(bitmap.get(), pic);
  else if (bits == 8)
    FillColour8(bitmap.get(), pic, mask);
  else
    FillColour16(bitmap.get(), pic, mask);
  return bitmap;
}

bool FormatHolds(FREE_IMAGE_FORMAT format, FIBITMAP* bitmap) {
  if (!FreeImage_FIFSupportsWriting(format) || format == FIF_GIF) return false;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
  if (type != FIT_BITMAP) return FreeImage_FIFSupportsExportType(format, type) != FALSE;
  return FreeImage_FIFSupportsExportBPP(format, static_cast<int>(FreeImage_GetBPP(bitmap))) !=
         FALSE;
}

void CopyMetadata(FIBITMAP* target, const fs::path& source) {
  const FREE_IMAGE_FORMAT format = DetectFileFormat(source);
  if (format == FIF_UNKNOWN || format == FIF_GIF || !FreeImage_FIFSupportsReading(format))
    throw UnsupportedImageFormat();
  // Only the metadata is wanted: skip decoding the pixels where the format allows.
  int flags = LoadFlagsFor(format);
  if (FreeImage_FIFSupportsNoPixels(format)) flags |= FIF_LOAD_NOPIXELS;
  bool profileHidden = false;
  BitmapPtr original = LoadBitmapFile(source, format, flags, &profileHidden);
  if (!original) throw ImageReadError();
  FreeImage_CloneMetadata(target, original.get());
  if (profileHidden) {
    std::string profile = ReadTiffProfile(source);
    if (!profile.empty())
      FreeImage_CreateICCProfile(target, profile.data(), static_cast<long>(profile.size()));
    return;
  }
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(original.get());
  if (profile != nullptr && profile->data != nullptr && profile->size > 0)
    FreeImage_CreateICCProfile(target, profile->data, profile->size);
}

// The encoders write through these into the temporary file, so that every
// write is checked: the library ignores the results of some of them. A failed
// write is kept by the file, which then fails the save, and told to the
// encoder as a success: the BMP encoder leaks its row buffer when it sees a
// failure, and what it writes after one is dropped anyway.
unsigned DLL_CALLCONV WriteToFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  static_cast<AtomicFile*>(handle)->Write(buffer, static_cast<size_t>(size) * count);
  return count;
}

unsigned DLL_CALLCONV ReadFromFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  if (size == 0) return 0;
  const size_t bytes = static_cast<size_t>(size) * count;
  return static_cast<unsigned>(static_cast<AtomicFile*>(handle)->Read(buffer, bytes) / size);
}

int DLL_CALLCONV SeekInFile(fi_handle handle, long offset, int origin) {
  return static_cast<AtomicFile*>(handle)->Seek(offset, origin) ? 0 : -1;
}

long DLL_CALLCONV TellInFile(fi_handle handle) {
  return static_cast<long>(static_cast<AtomicFile*>(handle)->Tell());
}

}  // namespace

bool WriteImageFile(const SBxPicBuf* picture, const SBxPicBuf* mask, const fs::path& destination,
                    const fs::path& metadataSource, int formatCode, int jpegQuality,
                    std::error_code* failure) {
  if (!Writable(picture) || destination.empty()) return true;
  EnsureFreeImageReady();
  const FREE_IMAGE_FORMAT format = FormatOf(formatCode, destination);

  // Grey pictures never carry a mask, and JPEG cannot: the colour is written.
  if (mask != nullptr &&
      (mask->pixels == nullptr || picture->components != 3 || format == FIF_JPEG))
    mask = nullptr;
  if (mask != nullptr &&
      (mask->components != 1 || mask->width != picture->width || mask->height != picture->height ||
       mask->bitsPerComponent != picture->bitsPerComponent))
    return true;

  BitmapPtr bitmap = MakeBitmap(*picture, mask);
  if (!bitmap) return true;
  if (!FormatHolds(format, bitmap.get())) throw UnsupportedImageFormat();
  const int flags = format == FIF_JPEG ? EffectiveJpegQuality(jpegQuality) : 0;
  if (!metadataSource.empty()) CopyMetadata(bitmap.get(), metadataSource);

  AtomicFile file(destination);
  FreeImageIO io{ReadFromFile, WriteToFile, SeekInFile, TellInFile};
  if (file.Good() && !FreeImage_SaveToHandle(format, bitmap.get(), &io, &file, flags))
    file.Fail(std::errc::io_error);
  // The EXIF step opens the file by name and writes into it; a failure there
  // leaves a file that is not to be used.
  if (format == FIF_TIFF && file.Flush() && AddExifToTiff(file.TemporaryPath(), bitmap.get()))
    file.Fail(std::errc::io_error);
  const bool saved = file.Commit();
  if (!saved && failure != nullptr) *failure = file.Error();
  return !saved;
}

SaveFailure SaveFailureOf(const fs::path& destination, std::error_code error) {
  if (error.category() == std::generic_category() || error.category() == std::system_category()) {
    switch (error.value()) {
      case ENOSPC:
      case EDQUOT:
        return SaveFailure::kDiskFull;
      case EFBIG:
        return SaveFailure::kTooLarge;
      case EISDIR:
        return SaveFailure::kFolderInTheWay;
      case EACCES:
      case EPERM:
        return SaveFailure::kNoPermission;
      case EROFS:
        return SaveFailure::kReadOnly;
      case ENAMETOOLONG:
        return SaveFailure::kNameTooLong;
      default:
        break;
    }
  }
  // Other codes (a missing folder gives ENOENT, but so does a folder that takes no new files)
  // say less than the folder itself. The file that was to be replaced: the destination or the
  // file its links finally name.
  const fs::path target = FinalLinkTarget(destination);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code status;
  if (!fs::is_directory(folder, status)) return SaveFailure::kNoFolder;
  if (::access(folder.c_str(), W_OK) != 0) return SaveFailure::kNoPermission;
  if (fs::is_directory(target, status)) return SaveFailure::kFolderInTheWay;
  return SaveFailure::kOther;
}
