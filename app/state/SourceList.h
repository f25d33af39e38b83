#pragma once

#include <array>
#include <cstddef>
#include <filesystem>

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
};
