#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <span>
#include <vector>

// The files of the open series, in the order they are fused. Holds at most 99
// entries; later files are ignored.
struct SourceList {
  static constexpr int kCapacity = 99;
  static constexpr size_t kMaxPathLength = 2047;

  std::array<std::filesystem::path, kCapacity> entries;
  int count = 0;
  int index = 0;  // the entry shown while browsing the series

  // Adds a path; false when the list is full or the path is too long.
  bool Append(const std::filesystem::path& path);
  void Clear();
  // The list becomes `paths` (up to 99 of them, empty places kept), the index 0.
  void Assign(std::span<const std::filesystem::path> paths);
  // The first `limit` entries (all when the list is shorter).
  std::vector<std::filesystem::path> First(int limit) const;
};
