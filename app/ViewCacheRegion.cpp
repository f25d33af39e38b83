#include "app/ViewCacheRegion.h"

#include <algorithm>

#include "jobs/PanelPreviews.h"
#include "picture/CBxPicBufAPI.h"

bool RefreshCacheRegion(ViewContext* view, const SBxPicBuf& picture, int slot,
                        const CBxRect& region) {
  if (slot != kSlotSource && slot != kSlotResult) return false;
  SBxPicBuf& cache = slot == kSlotSource ? view->sourceCache : view->resultCache;
  if (IsEmpty(cache) || IsEmpty(picture) || cache.width != picture.width ||
      cache.height != picture.height || cache.components != 3 || cache.bitsPerComponent != 8)
    return false;
  const CBxRect part{std::max(region.left, 0), std::max(region.top, 0),
                     std::min(region.right, picture.width),
                     std::min(region.bottom, picture.height)};
  if (part.Width() <= 0 || part.Height() <= 0) return true;
  const CBxPoint at{part.left, part.top};
  const CBxSize size{part.Width(), part.Height()};
  if (picture.components == 3 && picture.bitsPerComponent == 8) {
    CBxPicBufAPI::CopyRect(&cache, &picture, at, at, size);
    return true;
  }
  // The conversion works pixel by pixel, so the part converted alone gives the same samples.
  ScopedPicBuf converted;
  CutRect(picture, part, converted.get());
  if (IsEmpty(*converted) || !CBxPicBufAPI::ConvertBpcComp(converted.get(), 8, 3)) return false;
  CBxPicBufAPI::CopyRect(&cache, converted.get(), at, CBxPoint{0, 0}, size);
  return true;
}
