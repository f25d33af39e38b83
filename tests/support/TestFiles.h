#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "picture/SBxPicBuf.h"

// A fresh folder under the system's temporary folder, removed with all its
// content when the test ends.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("melvaro-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Names of everything in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Deterministic samples that reach both ends of the range and differ between
// neighbours, components and rows, so swapped components or rows show.
inline void FillPattern(SBxPicBuf* pic, uint32_t seed = 0) {
  const uint32_t count = static_cast<uint32_t>(pic->width) * pic->components;
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t v = (i * 2654435761u) ^ (static_cast<uint32_t>(y) * 40503u + seed * 7919u);
      if (pic->bitsPerComponent == 16)
        reinterpret_cast<uint16_t*>(row)[i] = static_cast<uint16_t>(v >> 8);
      else
        row[i] = static_cast<uint8_t>(v >> 13);
    }
  }
}

// Same geometry and the same samples (row padding ignored).
inline bool SameSamples(const SBxPicBuf& a, const SBxPicBuf& b) {
  if (!SameGeometry(a, b) || a.pixels == nullptr || b.pixels == nullptr) return false;
  const size_t rowBytes = static_cast<size_t>(a.width) * BytesPerPixel(a);
  for (int y = 0; y < a.height; ++y)
    if (std::memcmp(RowPtr(a, y), RowPtr(b, y), rowBytes) != 0) return false;
  return true;
}

// The sample at x, y, component c of an 8- or 16-bit picture.
inline unsigned SampleAt(const SBxPicBuf& pic, int x, int y, uint32_t c) {
  const size_t i = static_cast<size_t>(x) * pic.components + c;
  if (pic.bitsPerComponent == 16) return reinterpret_cast<const uint16_t*>(RowPtr(pic, y))[i];
  return RowPtr(pic, y)[i];
}

// A small but well-formed RGB display profile header with a recognisable tail.
inline std::string MakeTestProfile() {
  std::string icc(160, '\0');
  icc[3] = static_cast<char>(160);
  icc.replace(8, 4, std::string("\x02\x10\0\0", 4));
  icc.replace(12, 12, "mntrRGB XYZ ");
  icc.replace(36, 4, "acsp");
  icc.replace(68, 12, std::string("\0\0\xf6\xd6\0\1\0\0\0\0\xd3\x2d", 12));  // D50
  icc.replace(132, 28, "melvaro test profile bytes!!");
  return icc;
}
