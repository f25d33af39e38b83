#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "picture/CBxPicBufAPI.h"
#include "picture/SBxPicBuf.h"

// Decoded series pictures kept in memory between previews, so that moving the preview
// rectangle or a slider re-fuses only the work region instead of decoding every file
// again. Pictures are kept while their samples fit in the byte bound; past it a file is
// decoded again each time it is needed (only its geometry is remembered). Safe to use from
// the fusion threads at once.
class SeriesPictureCache {
 public:
  // A quarter of the machine's memory, at most 2 GiB.
  static size_t DefaultBound();

  explicit SeriesPictureCache(size_t byteBound = DefaultBound());
  SeriesPictureCache(const SeriesPictureCache&) = delete;
  SeriesPictureCache& operator=(const SeriesPictureCache&) = delete;

  // Copies the work region of the file into `regionPicture` (allocating it) when it lies
  // inside the picture, and gives the whole picture's geometry; true when the file cannot
  // be read. Fits SeriesRegionLoader.
  bool LoadRegion(const std::filesystem::path& path, const CBxRect& region,
                  SBxPicBuf* regionPicture, SBxPicBuf* geometry);
  // A copy of the whole picture; true when the file cannot be read. Fits SeriesLoader.
  bool Load(const std::filesystem::path& path, SBxPicBuf* picture);

  size_t BytesKept() const;
  // Forgets every picture (the files changed on disk).
  void Clear();

 private:
  using Picture = std::shared_ptr<const ScopedPicBuf>;
  struct Entry {
    bool unreadable = false;
    SBxPicBuf geometry;  // no pixels
    Picture picture;     // null when not kept
  };
  // The decoded picture (kept or not), or null when unreadable; `geometry` is filled.
  Picture Get(const std::filesystem::path& path, SBxPicBuf* geometry);

  const size_t bound_;
  mutable std::mutex mutex_;
  std::map<std::filesystem::path, Entry> entries_;
  size_t bytes_ = 0;
};
