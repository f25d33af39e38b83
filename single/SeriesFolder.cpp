#include "single/SeriesFolder.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Digits(std::string_view s) {
  if (s.size() != 3) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

fs::path SeriesFileName(const fs::path& folder, int index) {
  char name[32];
  std::snprintf(name, sizeof name, "file_%.3i.tif", index);
  return folder / name;
}

fs::path FamilyFileName(const fs::path& folder, int row, int column) {
  char name[40];
  std::snprintf(name, sizeof name, "file_%.3i_%.3i.tif", row, column);
  return folder / name;
}

bool IsSeriesFileName(std::string_view name) {
  constexpr std::string_view kPrefix = "file_", kSuffix = ".tif";
  if (name.size() < kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
      !name.ends_with(kSuffix)) {
    return false;
  }
  const std::string_view middle =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  if (middle.size() == 3) return Digits(middle);
  return middle.size() == 7 && middle[3] == '_' && Digits(middle.substr(0, 3)) &&
         Digits(middle.substr(4));
}

bool PrepareSeriesFolder(const fs::path& folder, FolderCleanup cleanup) {
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return false;
  // Collect first, delete after: removing entries while iterating is unspecified.
  std::vector<fs::path> doomed;
  fs::directory_iterator it(folder, ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::error_code statusError;
    if (entry.is_directory(statusError)) continue;  // sub-folders (and links to them) stay
    if (cleanup == FolderCleanup::kSeriesFilesOnly &&
        (!IsSeriesFileName(entry.path().filename().string()) ||
         !entry.is_regular_file(statusError))) {
      continue;
    }
    doomed.push_back(entry.path());
  }
  if (ec) return false;
  for (const fs::path& path : doomed)
    fs::remove(path, ec);
  return true;
}
