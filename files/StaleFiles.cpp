#include "files/StaleFiles.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>

namespace fs = std::filesystem;

bool LeftByEndedProcess(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  const char* digits = name.c_str() + prefix.size();
  char* end = nullptr;
  const long pid = std::strtol(digits, &end, 10);
  if (end == digits || *end != '-' || pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

namespace {

enum class EntryKind { kFile, kFolder };

void RemoveStale(const fs::path& folder, const std::string& prefix, EntryKind kind) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (!LeftByEndedProcess(entry.path().filename().string(), prefix)) continue;
    std::error_code entryError;
    if (kind == EntryKind::kFile && entry.is_regular_file(entryError)) {
      fs::remove(entry.path(), entryError);
    } else if (kind == EntryKind::kFolder && entry.is_directory(entryError)) {
      fs::remove_all(entry.path(), entryError);
    }
  }
}

}  // namespace

void RemoveStaleFiles(const fs::path& folder, const std::string& prefix) {
  RemoveStale(folder, prefix, EntryKind::kFile);
}

void RemoveStaleFolders(const fs::path& folder, const std::string& prefix) {
  RemoveStale(folder, prefix, EntryKind::kFolder);
}
