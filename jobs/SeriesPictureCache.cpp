#include "jobs/SeriesPictureCache.h"

#include <unistd.h>

#include <algorithm>

#include "picture/ImageLoad.h"

namespace {
constexpr size_t kMaxBound = size_t{2} << 30;

size_t SampleBytes(const SBxPicBuf& picture) {
  return static_cast<size_t>(picture.stride) * static_cast<size_t>(picture.height);
}
}  // namespace

size_t SeriesPictureCache::DefaultBound() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return kMaxBound / 4;
  return std::min(kMaxBound, static_cast<size_t>(pages) * static_cast<size_t>(pageSize) / 4);
}

SeriesPictureCache::SeriesPictureCache(size_t byteBound) : bound_(byteBound) {}

SeriesPictureCache::Picture SeriesPictureCache::Get(const std::filesystem::path& path,
                                                    SBxPicBuf* geometry) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = entries_.find(path);
    if (found != entries_.end()) {
      *geometry = found->second.geometry;
      if (found->second.unreadable) return nullptr;
      if (found->second.picture) return found->second.picture;
    }
  }
  // Decoded outside the lock, so that the fusion threads decode their files side by side.
  auto decoded = std::make_shared<ScopedPicBuf>();
  ScopedPicBuf mask;  // a fused picture has no alpha
  const bool failed = LoadImageFile(decoded->get(), mask.get(), path) || IsEmpty(**decoded);
  Entry entry;
  entry.unreadable = failed;
  if (!failed) {
    entry.geometry = **decoded;
    entry.geometry.pixels = nullptr;
  }
  *geometry = entry.geometry;
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& stored = entries_[path];
  const bool keep = !failed && !stored.picture && bytes_ + SampleBytes(**decoded) <= bound_;
  if (keep) {
    entry.picture = decoded;
    bytes_ += SampleBytes(**decoded);
  } else if (stored.picture) {
    entry.picture = stored.picture;  // another thread kept it meanwhile
  }
  stored = entry;
  if (failed) return nullptr;
  return decoded;
}

bool SeriesPictureCache::LoadRegion(const std::filesystem::path& path, const CBxRect& region,
                                    SBxPicBuf* regionPicture, SBxPicBuf* geometry) {
  const Picture picture = Get(path, geometry);
  if (!picture) return true;
  const SBxPicBuf& whole = **picture;
  const bool inside = region.left >= 0 && region.top >= 0 && region.right <= whole.width &&
                      region.bottom <= whole.height && region.left < region.right &&
                      region.top < region.bottom;
  if (!inside) return false;
  CBxPicBufAPI::ReinitHeap(regionPicture, region.Width(), region.Height(), whole.components,
                           whole.bitsPerComponent);
  if (IsEmpty(*regionPicture)) return true;
  CBxPicBufAPI::CopyRect(regionPicture, &whole, CBxPoint{0, 0}, CBxPoint{region.left, region.top},
                         CBxSize{region.Width(), region.Height()});
  return false;
}

bool SeriesPictureCache::Load(const std::filesystem::path& path, SBxPicBuf* picture) {
  SBxPicBuf geometry;
  const Picture kept = Get(path, &geometry);
  if (!kept) return true;
  CBxPicBufAPI::ReinitHeap(picture, kept->get());
  if (IsEmpty(*picture)) return true;
  CBxPicBufAPI::Copy(picture, kept->get());
  return false;
}

size_t SeriesPictureCache::BytesKept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

void SeriesPictureCache::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  bytes_ = 0;
}
