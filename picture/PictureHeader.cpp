#include "picture/PictureHeader.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "picture/FreeImageSupport.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

class HeaderFile {
 public:
  explicit HeaderFile(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb")) {
    if (file_ && ::fseeko(file_.get(), 0, SEEK_END) == 0) size_ = ::ftello(file_.get());
  }
  bool Open() const { return file_ != nullptr && size_ > 0; }
  uint64_t Size() const { return static_cast<uint64_t>(size_); }
  bool Read(uint64_t offset, void* buffer, size_t bytes) const {
    return bytes <= Size() && offset <= Size() - bytes &&
           ::fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(buffer, 1, bytes, file_.get()) == bytes;
  }

 private:
  std::unique_ptr<std::FILE, FileCloser> file_;
  off_t size_ = 0;
};

uint64_t Little(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = (v << 8) | p[i];
  return v;
}

uint64_t Big(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v = (v << 8) | p[i];
  return v;
}

uint64_t DivideUp(uint64_t a, uint64_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

// Bytes of the samples of the claimed picture, rows packed to whole bytes.
uint64_t RawBytes(const PictureClaim& c) {
  return DivideUp(c.width * c.bitsPerPixel, 8) * c.height;
}

// Deflate codes at most 258 bytes in 2 bits.
constexpr uint64_t kDeflateExpansion = 1032;

bool ReadPng(const HeaderFile& file, PictureClaim* claim) {
  uint8_t h[26];
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (!file.Read(0, h, sizeof h) || std::memcmp(h, kSignature, 8) != 0 ||
      std::memcmp(h + 12, "IHDR", 4) != 0)
    return false;
  static const uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
  const uint32_t channels = h[25] < 7 ? kChannels[h[25]] : 0;
  if (channels == 0) return false;
  claim->width = Big(h + 16, 4);
  claim->height = Big(h + 20, 4);
  claim->bitsPerPixel = h[24] * channels;
  // Each row also starts with a filter byte.
  claim->minFileBytes = DivideUp(RawBytes(*claim) + claim->height, kDeflateExpansion);
  return true;
}

bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the segments up to the frame header. Every 8 x 8 block of every
// component is coded with at least one bit where the coding is Huffman's (its
// shortest code has one bit); arithmetic coding has no such bound.
bool ReadJpeg(const HeaderFile& file, PictureClaim* claim) {
  uint8_t m[4];
  if (!file.Read(0, m, 2) || m[0] != 0xFF || m[1] != 0xD8) return false;
  uint64_t at = 2;
  for (int segments = 0; segments < 1000; ++segments) {
    if (!file.Read(at, m, 4) || m[0] != 0xFF) return false;
    if (m[1] == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const uint64_t length = Big(m + 2, 2);
    if (!IsStartOfFrame(m[1])) {
      if (m[1] == 0xDA || m[1] == 0xD9 || length < 2) return false;
      at += 2 + length;
      continue;
    }
    uint8_t frame[6 + 3 * 4];
    if (!file.Read(at + 4, frame, 6)) return false;
    const uint32_t components = frame[5];
    if (components == 0 || components > 4 || !file.Read(at + 10, frame + 6, 3 * components))
      return false;
    claim->height = Big(frame + 1, 2);
    claim->width = Big(frame + 3, 2);
    claim->bitsPerPixel = frame[0] * components;
    if (m[1] >= 0xC9) return true;  // arithmetic coding
    uint32_t maxH = 1, maxV = 1;
    for (uint32_t c = 0; c < components; ++c) {
      maxH = std::max<uint32_t>(maxH, frame[7 + 3 * c] >> 4);
      maxV = std::max<uint32_t>(maxV, frame[7 + 3 * c] & 15);
    }
    uint64_t blocks = 0;
    for (uint32_t c = 0; c < components; ++c) {
      const uint32_t h = std::max(1, frame[7 + 3 * c] >> 4), v = std::max(1, frame[7 + 3 * c] & 15);
      blocks += DivideUp(DivideUp(claim->width * h, maxH), 8) *
                DivideUp(DivideUp(claim->height * v, maxV), 8);
    }
    claim->minFileBytes = DivideUp(blocks, 8);
    return true;
  }
  return false;
}

bool ReadBmp(const HeaderFile& file, PictureClaim* claim) {
  uint8_t h[34] = {};
  if (!file.Read(0, h, 26) || h[0] != 'B' || h[1] != 'M') return false;
  const uint64_t dataOffset = Little(h + 10, 4);
  const uint64_t infoSize = Little(h + 14, 4);
  uint64_t compression = 0;
  if (infoSize == 12) {  // the oldest header: 16-bit sizes, never compressed
    claim->width = Little(h + 18, 2);
    claim->height = Little(h + 20, 2);
    claim->bitsPerPixel = static_cast<uint32_t>(Little(h + 24, 2));
  } else if (infoSize >= 40 && file.Read(26, h + 26, 8)) {
    const auto width = static_cast<int32_t>(Little(h + 18, 4));
    const auto height = static_cast<int32_t>(Little(h + 22, 4));  // negative: top row first
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    claim->width = static_cast<uint64_t>(width);
    claim->height = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
    claim->bitsPerPixel = static_cast<uint32_t>(Little(h + 28, 2));
    compression = Little(h + 30, 4);
  } else {
    return false;
  }
  // Run-length coding is defined for 8- and 4-bit pixels only; the decoder
  // allocates the pixels the header names whatever the coding.
  if ((compression == 1 && claim->bitsPerPixel != 8) ||
      (compression == 2 && claim->bitsPerPixel != 4))
    claim->damage = "its header names run-length coding for pixels of another depth";
  // Samples stored as they are (plain or with colour masks), rows padded to
  // 4 bytes; the last row's padding may be missing. Run-length coding can
  // skip any part of the picture in a few bytes: no bound there.
  if ((compression == 0 || compression == 3 || compression == 6) && claim->height > 0) {
    const uint64_t rowBytes = DivideUp(claim->width * claim->bitsPerPixel, 8);
    const uint64_t stride = DivideUp(rowBytes, 4) * 4;
    claim->minFileBytes = dataOffset + stride * (claim->height - 1) + rowBytes;
  }
  return true;
}

// The most raw bytes per coded byte for a TIFF compression; 0 for codings
// with no such bound we rely on.
uint64_t TiffExpansion(uint64_t compression) {
  switch (compression) {
    case 1:  // none
      return 1;
    case 32773:  // PackBits: 128 bytes from 2
      return 64;
    case 8:
    case 32946:  // deflate
      return kDeflateExpansion;
    case 5:  // LZW: a 9-bit code stands for at most 4096 bytes
    case 6:
    case 7:  // JPEG: at least one bit per 8 x 8 block
      return 4096;
    default:
      return 0;
  }
}

// The first directory's size, samples and compression (the one decoded).
bool ReadTiff(const HeaderFile& file, PictureClaim* claim) {
  uint8_t h[16] = {};
  if (!file.Read(0, h, 8) || h[0] != h[1] || (h[0] != 'I' && h[0] != 'M')) return false;
  const bool little = h[0] == 'I';
  const auto value = [little](const uint8_t* p, int bytes) {
    return little ? Little(p, bytes) : Big(p, bytes);
  };
  const uint64_t version = value(h + 2, 2);
  const bool big = version == 43;
  if (!big && (version != 42 || !file.Read(0, h, 8))) return false;
  if (big && !file.Read(0, h, 16)) return false;
  const uint64_t directory = big ? value(h + 8, 8) : value(h + 4, 4);
  const int countBytes = big ? 8 : 2;
  const uint64_t entryBytes = big ? 20 : 12;
  const int inlineBytes = big ? 8 : 4;
  uint8_t countField[8] = {};
  if (!file.Read(directory, countField, static_cast<size_t>(countBytes))) return false;
  const uint64_t count = value(countField, countBytes);
  if (count == 0 || count > 4096) return false;
  uint64_t bitsPerSample = 1, samples = 1, compression = 1;
  bool haveWidth = false, haveHeight = false;
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t e[20];
    if (!file.Read(directory + static_cast<uint64_t>(countBytes) + i * entryBytes, e, entryBytes))
      return false;
    const uint64_t tag = value(e, 2), type = value(e + 2, 2);
    // SHORT, LONG and the large files' LONG8.
    const int size = type == 3 ? 2 : (type == 4 ? 4 : (type == 16 ? 8 : 0));
    if (size == 0) continue;  // not an integer field: not one of ours
    const uint64_t values = value(e + 4, big ? 8 : 4);
    const uint8_t* field = e + 4 + (big ? 8 : 4);
    uint8_t first[8];
    // The first value, where it lies: in the entry when all of them fit.
    if (values * static_cast<uint64_t>(size) > static_cast<uint64_t>(inlineBytes)) {
      if (!file.Read(value(field, inlineBytes), first, static_cast<size_t>(size))) continue;
      field = first;
    }
    const uint64_t v = value(field, size);
    if (tag == 256) claim->width = v, haveWidth = true;
    if (tag == 257) claim->height = v, haveHeight = true;
    if (tag == 258) bitsPerSample = v;
    if (tag == 259) compression = v;
    if (tag == 277) samples = v;
  }
  if (!haveWidth || !haveHeight || bitsPerSample > 64 || samples > 64) return false;
  claim->bitsPerPixel = static_cast<uint32_t>(bitsPerSample * samples);
  const uint64_t expansion = TiffExpansion(compression);
  if (expansion > 0) claim->minFileBytes = DivideUp(RawBytes(*claim), expansion);
  return true;
}

std::string Size(const PictureClaim& c) {
  return std::to_string(c.width) + " x " + std::to_string(c.height) + " pixels";
}

std::string Gigabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
  return text;
}

uint64_t MachineMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize)
                                   : UINT64_MAX;
}

}  // namespace

bool ReadPictureClaim(const std::filesystem::path& path, FREE_IMAGE_FORMAT format,
                      PictureClaim* claim) {
  const HeaderFile file(path);
  if (!file.Open()) return false;
  *claim = {};
  claim->fileBytes = file.Size();
  switch (format) {
    case FIF_PNG:
      return ReadPng(file, claim);
    case FIF_JPEG:
      return ReadJpeg(file, claim);
    case FIF_BMP:
      return ReadBmp(file, claim);
    case FIF_TIFF:
      return ReadTiff(file, claim);
    default:
      return false;
  }
}

bool ReadPictureClaim(const std::filesystem::path& path, PictureClaim* claim) {
  EnsureFreeImageReady();
  return ReadPictureClaim(path, FreeImage_GetFileType(path.c_str(), 0), claim);
}

std::string RefusalOf(const PictureClaim& claim, uint64_t machineBytes) {
  if (claim.damage != nullptr) return claim.damage;
  // A size of zero is the decoder's to refuse.
  if (claim.width == 0 || claim.height == 0) return {};
  if (claim.width > kMaxPicturePixels || claim.height > kMaxPicturePixels ||
      claim.width * claim.height > kMaxPicturePixels)
    return "claims " + Size(claim) + ", more than the limit of " +
           std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels";
  const uint64_t pixels = claim.width * claim.height;
  if (claim.minFileBytes > claim.fileBytes)
    return "claims " + Size(claim) + ", which need at least " + std::to_string(claim.minFileBytes) +
           " bytes, but the file has only " + std::to_string(claim.fileBytes) +
           ": it is truncated or damaged";
  // The decoder's bitmap and our picture are held at once.
  const uint64_t bytesPerPixel = std::max<uint64_t>(1, DivideUp(claim.bitsPerPixel, 8));
  const uint64_t needed = pixels * bytesPerPixel * 2;
  if (needed > machineBytes)
    return "claims " + Size(claim) + ", which need about " + Gigabytes(needed) +
           " of memory, more than this machine's " + Gigabytes(machineBytes);
  return {};
}

std::string RefusalFromHeader(const std::filesystem::path& path, FREE_IMAGE_FORMAT format) {
  PictureClaim claim;
  if (!ReadPictureClaim(path, format, &claim)) return {};
  static const uint64_t machineBytes = MachineMemory();
  return RefusalOf(claim, machineBytes);
}
