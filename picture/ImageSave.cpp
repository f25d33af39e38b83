#include "picture/ImageSave.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

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

// A file made beside the destination under a name no one else uses, removed
// again unless it was renamed over the destination.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& destination) {
    static std::atomic<unsigned> counter{0};
    // Long stems are shortened so the name stays within the file system's limit.
    const std::string stem = destination.stem().string().substr(0, 64);
    const std::string extension = destination.extension().string().substr(0, 16);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const fs::path candidate =
          destination.parent_path() / ("." + stem + ".part-" + std::to_string(getpid()) + "-" +
                                       std::to_string(counter++) + extension);
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        path_ = candidate;
        return;
      }
      if (errno != EEXIST) return;
    }
  }
  ~TemporaryFile() {
    std::error_code error;
    if (!path_.empty()) fs::remove(path_, error);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const fs::path& path() const { return path_; }

  bool RenameTo(const fs::path& destination) {
    std::error_code error;
    // An existing file keeps its permissions, as an overwrite in place would.
    const fs::file_status status = fs::status(destination, error);
    if (!error && fs::is_regular_file(status))
      fs::permissions(path_, status.permissions(), fs::perm_options::replace, error);
    fs::rename(path_, destination, error);
    if (error) return false;
    path_.clear();
    return true;
  }

 private:
  fs::path path_;
};

}  // namespace

bool WriteImageFile(const SBxPicBuf* picture, const SBxPicBuf* mask, const fs::path& destination,
                    const fs::path& metadataSource, int formatCode, int jpegQuality) {
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

  TemporaryFile temporary(destination);
  if (temporary.path().empty()) return true;
  if (!FreeImage_Save(format, bitmap.get(), temporary.path().c_str(), flags)) return true;
  if (format == FIF_TIFF && AddExifToTiff(temporary.path(), bitmap.get())) return true;
  return !temporary.RenameTo(destination);
}
