#pragma once

// The inside of the capture-data reader (CaptureData.h): bounded reads of a file or of bytes
// in memory, and the TIFF directories that hold EXIF, wherever they are stored.

#include <cstddef>
#include <cstdint>
#include <span>

#include "picture/CaptureData.h"

namespace capture {

// Random access to a file's bytes that never reaches past its end.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies `count` bytes from `offset`; false (and nothing defined in `out`) when they are not
  // all inside.
  virtual bool Read(uint64_t offset, void* out, size_t count) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* out, size_t count) const override;

 private:
  std::span<const uint8_t> bytes_;
};

// Where a TIFF structure lies in its source: its header at `base`, `length` bytes long. Its
// offsets count from the header.
struct TiffSpan {
  uint64_t base = 0;
  uint64_t length = 0;
};

// Reads the EXIF fields of the TIFF structure (its first directory, the EXIF directory it
// links to and a Canon or Nikon maker note there) into `data`. With `imageFile` the structure
// is the picture file itself and its first directory also gives the picture's size and depth.
// Fields already set stay unless the structure holds them. False when the span holds no TIFF
// header.
bool ReadTiffCapture(const ByteSource& source, TiffSpan span, bool imageFile, CaptureData* data);

}  // namespace capture
