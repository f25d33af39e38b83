#include "files/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "files/StaleFiles.h"

namespace fs = std::filesystem;

std::filesystem::path FinalLinkTarget(const fs::path& path) {
  // The limit the kernel itself puts on links followed in one lookup.
  constexpr int kMaxLinks = 40;
  fs::path current = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(current, error)) return current;
    const fs::path next = fs::read_symlink(current, error);
    if (error) return {};
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return {};
}

AtomicFile::AtomicFile(const fs::path& destination) : target_(FinalLinkTarget(destination)) {
  if (target_.empty() || !target_.has_filename()) {
    error_ = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return;
  }
  static std::atomic<unsigned> counter{0};
  // A hidden name that tells whose it is; long stems are shortened so the name stays within the
  // file system's limit.
  const std::string stem = target_.stem().string().substr(0, 64);
  const std::string extension = target_.extension().string().substr(0, 16);
  // Temporary files of earlier writes of the same file whose process was killed mid-write.
  RemoveStaleFiles(target_.parent_path().empty() ? fs::path(".") : target_.parent_path(),
                   "." + stem + ".part-");
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        target_.parent_path() / ("." + stem + ".part-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++) + extension);
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    temporary_ = candidate;
    stream_ = ::fdopen(fd, "w+b");
    if (stream_ == nullptr) {
      Remember(errno);
      ::close(fd);
    }
    return;
  }
  Remember(errno);
}

AtomicFile::~AtomicFile() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::Remember(int errnoValue) {
  if (!error_)
    error_ = std::error_code(errnoValue != 0 ? errnoValue : EIO, std::generic_category());
}

void AtomicFile::Fail(std::errc reason) {
  if (!error_) error_ = std::make_error_code(reason);
}

bool AtomicFile::Write(const void* data, std::size_t size) {
  if (!Good()) return false;
  if (size > 0 && std::fwrite(data, 1, size, stream_) != size) Remember(errno);
  return Good();
}

std::size_t AtomicFile::Read(void* data, std::size_t size) {
  if (stream_ == nullptr) return 0;
  const std::size_t got = std::fread(data, 1, size, stream_);
  if (got < size && std::ferror(stream_)) Remember(errno);
  return got;
}

bool AtomicFile::Seek(off_t offset, int origin) {
  if (stream_ == nullptr) return false;
  if (::fseeko(stream_, offset, origin) == 0) return true;
  Remember(errno);
  return false;
}

off_t AtomicFile::Tell() {
  return stream_ != nullptr ? ::ftello(stream_) : -1;
}

bool AtomicFile::Flush() {
  if (Good() && std::fflush(stream_) != 0) Remember(errno);
  return Good();
}

bool AtomicFile::Commit() {
  if (Good()) {
    struct stat previous {};
    const int fd = ::fileno(stream_);
    // A file replaced keeps its permissions, as an overwrite in place would.
    if (::stat(target_.c_str(), &previous) == 0 && S_ISREG(previous.st_mode))
      (void)::fchmod(fd, previous.st_mode & 07777);
    // Every byte on the disk before the name moves: a full disk or an I/O error shows here at the
    // latest, while the old file is still in place.
    if (std::fflush(stream_) != 0 || std::ferror(stream_) || ::fsync(fd) != 0) Remember(errno);
  }
  if (stream_ != nullptr) {
    if (std::fclose(stream_) != 0) Remember(errno);
    stream_ = nullptr;
  }
  if (error_ || temporary_.empty()) return false;
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Remember(errno);
    return false;
  }
  temporary_.clear();
  // The rename itself reaches the disk with the folder.
  const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}
