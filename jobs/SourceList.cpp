#include "jobs/SourceList.h"

#include <algorithm>

bool SourceList::Append(const std::filesystem::path& path) {
  if (count >= kCapacity || path.native().size() > kMaxPathLength) return false;
  entries[static_cast<size_t>(count++)] = path;
  return true;
}

void SourceList::Clear() {
  for (auto& entry : entries)
    entry.clear();
  count = 0;
  index = 0;
}

void SourceList::Assign(std::span<const std::filesystem::path> paths) {
  Clear();
  count = static_cast<int>(std::min<size_t>(paths.size(), kCapacity));
  std::copy_n(paths.begin(), count, entries.begin());
}

std::vector<std::filesystem::path> SourceList::First(int limit) const {
  const int n = std::clamp(limit, 0, count);
  return {entries.begin(), entries.begin() + n};
}
