#include "jobs/PanelPreviews.h"

#include <algorithm>

#include "picture/CBxPicBufAPI.h"

namespace {

bool IsEmptyRect(const CBxRect& rect) {
  return rect.Width() <= 0 || rect.Height() <= 0;
}

bool Inside(const CBxRect& inner, const CBxRect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

CBxRect Clipped(const CBxRect& rect, const SBxPicBuf& picture) {
  return {std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, picture.width),
          std::min(rect.bottom, picture.height)};
}

CBxRect Union(const CBxRect& a, const CBxRect& b) {
  if (IsEmptyRect(a)) return b;
  if (IsEmptyRect(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

}  // namespace

void CopyPicture(SBxPicBuf* to, const SBxPicBuf& from) {
  CBxPicBufAPI::ReinitHeap(to, &from);
  if (!IsEmpty(*to)) CBxPicBufAPI::Copy(to, &from);
}

void CutRect(const SBxPicBuf& picture, const CBxRect& rect, SBxPicBuf* part) {
  CBxPicBufAPI::DoneHeap(part);
  if (IsEmpty(picture) || IsEmptyRect(rect) || !Inside(rect, WholePicture(picture))) return;
  CBxPicBufAPI::ReinitHeap(part, rect.Width(), rect.Height(), picture.components,
                           picture.bitsPerComponent);
  if (IsEmpty(*part)) return;
  CBxPicBufAPI::CopyRect(part, &picture, CBxPoint{0, 0}, CBxPoint{rect.left, rect.top},
                         CBxSize{rect.Width(), rect.Height()});
}

SeriesFusionReport FusePreviewRect(SeriesPictureCache& cache,
                                   std::span<const std::filesystem::path> files,
                                   const CBxRect& region, const CBxRect& rect, int exposure,
                                   JobProgress* progress, SBxPicBuf* preview) {
  CBxPicBufAPI::DoneHeap(preview);
  ScopedPicBuf fused;
  const SeriesFusionReport report =
      FusePreview(cache, files, region, exposure, fused.get(), progress);
  if (report.status == SeriesFusionStatus::kFused) CutPreviewRect(*fused, region, rect, preview);
  return report;
}

void CutPreviewRect(const SBxPicBuf& fused, const CBxRect& region, const CBxRect& rect,
                    SBxPicBuf* preview) {
  if (IsEmptyRect(rect) || !Inside(rect, region)) return;
  const CBxRect inFused{rect.left - region.left, rect.top - region.top, rect.right - region.left,
                        rect.bottom - region.top};
  CutRect(fused, inFused, preview);
}

void ToneMapPreview(const SBxPicBuf& part, const ToneSliders& sliders, JobProgress* progress,
                    SBxPicBuf* preview) {
  CBxPicBufAPI::DoneHeap(preview);
  if (IsEmpty(part)) return;
  if (ToneMapPicture(part, sliders, progress, preview)) CBxPicBufAPI::DoneHeap(preview);
}

CBxRect ShowPreview(const SBxPicBuf& source, const SBxPicBuf& preview, const CBxRect& at,
                    CBxRect* pasted, SBxPicBuf* shown) {
  CBxRect written{};
  if (IsEmpty(*shown) || !SameGeometry(*shown, source)) {
    CopyPicture(shown, source);
    written = WholePicture(*shown);
  } else {
    written = Clipped(*pasted, *shown);
    if (!IsEmptyRect(written)) CBxPicBufAPI::Copy(shown, &source, written);
  }
  *pasted = {};
  const bool fits = !IsEmpty(preview) && !IsEmpty(*shown) &&
                    preview.components == shown->components &&
                    preview.bitsPerComponent == shown->bitsPerComponent && at.left >= 0 &&
                    at.top >= 0 && at.right <= shown->width && at.bottom <= shown->height;
  if (!fits) return written;
  CBxPicBufAPI::CopyRect(shown, &preview, CBxPoint{at.left, at.top}, CBxPoint{0, 0},
                         CBxSize{preview.width, preview.height});
  *pasted = Clipped({at.left, at.top, at.left + preview.width, at.top + preview.height}, *shown);
  return Union(written, *pasted);
}
