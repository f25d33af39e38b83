#include "picture/TiffSafeLoad.h"

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "picture/FreeImageSupport.h"

namespace {

constexpr uint16_t kExifIfdTag = 34665;
constexpr uint16_t kIccTag = 34675;
// An unassigned number right after the profile's, so the directory stays sorted.
constexpr uint16_t kHiddenIccTag = 34676;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct TiffReader {
  FILE* file;
  bool littleEndian;

  bool Read(uint64_t offset, void* buffer, size_t size) const {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(buffer, 1, size, file) == size;
  }
  uint64_t Value(const uint8_t* p, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v |= static_cast<uint64_t>(p[littleEndian ? i : bytes - 1 - i]) << (8 * i);
    return v;
  }
};

// Where the tag number of the profile's entry lies in the first directory,
// when that directory also links an EXIF directory; -1 otherwise.
int64_t FindProfileEntryToHide(FILE* file, bool* littleEndian) {
  uint8_t header[16] = {};
  if (std::fread(header, 1, sizeof header, file) < 8) return -1;
  if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) return -1;
  TiffReader tiff{file, header[0] == 'I'};
  *littleEndian = tiff.littleEndian;
  const uint64_t version = tiff.Value(header + 2, 2);
  const bool big = version == 43;
  if (!big && version != 42) return -1;
  const uint64_t directory = big ? tiff.Value(header + 8, 8) : tiff.Value(header + 4, 4);
  const int countBytes = big ? 8 : 2;
  const uint64_t entryBytes = big ? 20 : 12;
  uint8_t countField[8] = {};
  if (!tiff.Read(directory, countField, static_cast<size_t>(countBytes))) return -1;
  const uint64_t count = tiff.Value(countField, countBytes);
  if (count == 0 || count > 4096) return -1;
  std::vector<uint8_t> entries(static_cast<size_t>(count * entryBytes));
  if (!tiff.Read(directory + static_cast<uint64_t>(countBytes), entries.data(), entries.size()))
    return -1;
  bool hasExif = false;
  int64_t profileAt = -1;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t tag = tiff.Value(entries.data() + i * entryBytes, 2);
    if (tag == kExifIfdTag) hasExif = true;
    if (tag == kHiddenIccTag) return -1;  // the number is taken: leave the file alone
    if (tag == kIccTag)
      profileAt =
          static_cast<int64_t>(directory + static_cast<uint64_t>(countBytes) + i * entryBytes);
  }
  return hasExif ? profileAt : -1;
}

// Reads the file as it is, except for the two bytes of one tag number.
struct PatchedFile {
  FILE* file;
  int64_t patchAt;
  uint8_t patch[2];
};

unsigned DLL_CALLCONV ReadPatched(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* f = static_cast<PatchedFile*>(handle);
  const int64_t start = ftello(f->file);
  const size_t items = std::fread(buffer, size, count, f->file);
  const int64_t end = start + static_cast<int64_t>(items * size);
  for (int i = 0; i < 2; ++i) {
    const int64_t at = f->patchAt + i;
    if (f->patchAt >= 0 && at >= start && at < end)
      static_cast<uint8_t*>(buffer)[at - start] = f->patch[i];
  }
  return static_cast<unsigned>(items);
}

unsigned DLL_CALLCONV WriteNothing(void*, unsigned, unsigned, fi_handle) {
  return 0;
}

int DLL_CALLCONV SeekPatched(fi_handle handle, long offset, int origin) {
  return fseeko(static_cast<PatchedFile*>(handle)->file, offset, origin);
}

long DLL_CALLCONV TellPatched(fi_handle handle) {
  return static_cast<long>(ftello(static_cast<PatchedFile*>(handle)->file));
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

}  // namespace

namespace {

FIBITMAP* LoadPatched(PatchedFile* patched, int flags) {
  if (fseeko(patched->file, 0, SEEK_SET) != 0) return nullptr;
  FreeImageIO io{ReadPatched, WriteNothing, SeekPatched, TellPatched};
  return FreeImage_LoadFromHandle(FIF_TIFF, &io, patched, flags);
}

// The decoder sizes its bitmap from the colour model and copies each row the
// codec delivers into it whole, unchecked. A header whose samples disagree
// with its colour model (an RGB picture of two samples, say) so overruns the
// heap. Such a file is refused: the codec's rows must fit the bitmap's lines,
// as the decoder's own reading of the header (no pixels) sizes them.
//
// Separate planes are gathered sample by sample, whole bytes at a time, into
// pixels as wide as the bitmap's: the decoder asserts (and the program aborts)
// on samples of fewer than 8 bits, and overruns on pixels of another width.
bool RowsFitTheBitmap(const std::filesystem::path& path, PatchedFile* patched, int flags) {
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
  if (!tif) return false;
  const uint64_t rowBytes = TIFFScanlineSize64(tif.get());
  BitmapPtr header(LoadPatched(patched, flags | FIF_LOAD_NOPIXELS));
  if (!header || rowBytes == 0 || rowBytes > FreeImage_GetLine(header.get())) return false;
  uint16_t planar = PLANARCONFIG_CONTIG, bits = 1, samples = 1;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  if (planar != PLANARCONFIG_SEPARATE) return true;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  return bits % 8 == 0 && static_cast<uint64_t>(samples) * bits == FreeImage_GetBPP(header.get());
}

}  // namespace

FIBITMAP* LoadTiffSafely(const std::filesystem::path& path, int flags, bool* profileHidden) {
  *profileHidden = false;
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return nullptr;
  bool littleEndian = true;
  PatchedFile patched{file.get(), FindProfileEntryToHide(file.get(), &littleEndian), {0, 0}};
  patched.patch[littleEndian ? 0 : 1] = static_cast<uint8_t>(kHiddenIccTag & 0xff);
  patched.patch[littleEndian ? 1 : 0] = static_cast<uint8_t>(kHiddenIccTag >> 8);
  *profileHidden = patched.patchAt >= 0;
  if ((flags & FIF_LOAD_NOPIXELS) == 0 && !RowsFitTheBitmap(path, &patched, flags)) return nullptr;
  return LoadPatched(&patched, flags);
}

std::string ReadTiffProfile(const std::filesystem::path& path) {
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
  uint32_t size = 0;
  const void* data = nullptr;
  if (!tif || TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &size, &data) != 1 || data == nullptr)
    return {};
  return std::string(static_cast<const char*>(data), size);
}
