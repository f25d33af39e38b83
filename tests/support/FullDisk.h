#pragma once

// Real write failures for the tests of the savers: a small file system that is
// full (a tmpfs mounted for the test, where the test may mount: as root), and a
// limit on the size of the files this process writes, which fails the same
// writes (EFBIG instead of ENOSPC) wherever the tests run.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

class FullFileSystem {
 public:
  // Mounts a tmpfs of `bytes` on a new folder `mountPoint`.
  explicit FullFileSystem(const std::filesystem::path& mountPoint, unsigned bytes = 256 * 1024)
      : path_(mountPoint) {
    std::filesystem::create_directories(path_);
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~FullFileSystem() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  FullFileSystem(const FullFileSystem&) = delete;
  FullFileSystem& operator=(const FullFileSystem&) = delete;

  bool Mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return path_; }

  // Takes every byte still free; the files already there stay as they are.
  void Fill() const {
    std::FILE* filler = std::fopen((path_ / "filler").c_str(), "wb");
    if (filler == nullptr) return;
    const std::vector<char> block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    }
    std::fclose(filler);
  }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

// While it lives, no file of this process may grow beyond `bytes`: a write
// past it fails (the signal it would raise is ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previousHandler_ = SIG_DFL;
};
