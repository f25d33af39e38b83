#include "app/state/SourceList.h"

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
