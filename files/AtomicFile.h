#pragma once

// Replacing a file so that a failure never destroys or truncates what was there: the new content
// goes to a temporary file beside the file, every write is checked, the data is flushed to the
// disk, and only then is the temporary file renamed over the old one. A destination that is a
// symbolic link is written through: the link stays and the file it finally names is replaced.
// Used by the settings file and the picture writer. The temporary file's name tells which
// process writes it (files/StaleFiles.h), so what a killed write left goes with the next write
// of the same file.

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <system_error>

class AtomicFile {
 public:
  // Creates the temporary file; Good() tells whether that worked.
  explicit AtomicFile(const std::filesystem::path& destination);
  // Removes the temporary file unless Commit() renamed it.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // The file the rename will replace: the destination, or the final target of its links.
  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& TemporaryPath() const { return temporary_; }

  // True while the temporary file is open and nothing has failed.
  bool Good() const { return stream_ != nullptr && !error_; }
  // The first failure, empty while there is none.
  std::error_code Error() const { return error_; }

  // Buffered writing, reading back and positioning in the temporary file. A failure is kept and
  // makes Commit() fail too; Write returns false, and writes nothing more, once anything failed.
  // Reading and positioning go on working after a failed write, so that a writer that is not told
  // of it (see the picture writer) carries on along its usual path.
  bool Write(const void* data, std::size_t size);
  std::size_t Read(void* data, std::size_t size);
  bool Seek(off_t offset, int origin);
  off_t Tell();
  // Hands buffered bytes to the file, for a writer that opens it by name next.
  bool Flush();
  // Records a failure found by the caller (an encoder that reported one, say).
  void Fail(std::errc reason);

  // Syncs and closes the temporary file and renames it over the target, which keeps its
  // permissions. False when this or any earlier step failed: the temporary file is then removed
  // and the target left as it was.
  bool Commit();

 private:
  void Remember(int errnoValue);

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* stream_ = nullptr;
  std::error_code error_;
};

// The file a path finally names: links are followed (relative ones from their own folder) until a
// path that is no link; a missing target is fine, it is what a write through the link creates.
// Empty when the links loop.
std::filesystem::path FinalLinkTarget(const std::filesystem::path& path);
