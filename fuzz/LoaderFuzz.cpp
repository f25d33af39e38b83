// libFuzzer target over the picture loader: the bytes become a file, which
// goes through the same path as every file the user opens (format detection,
// header checks, decoding, conversion to pictures).
//
// MELVARO_FUZZ_EXT (for example "tif") names the scratch file, so that bytes
// whose signature the mutations destroyed still reach that format's decoder
// by the name, as a file of the user's would.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"

namespace {

std::filesystem::path ScratchPath() {
  const char* ext = std::getenv("MELVARO_FUZZ_EXT");
  const std::filesystem::path folder =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  return folder / ("melvaro-fuzz-" + std::to_string(getpid()) + "." + (ext ? ext : "img"));
}

bool WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && size > 0) {
    const ssize_t put = ::write(fd, data, size);
    ok = put > 0;
    if (ok) {
      data += put;
      size -= static_cast<size_t>(put);
    }
  }
  return ::close(fd) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path path = ScratchPath();
  if (!WriteFile(path, data, size)) std::abort();
  ScopedPicBuf picture, mask;
  (void)LoadImageFile(picture.get(), mask.get(), path);
  return 0;
}
