#pragma once

#include <filesystem>
#include <span>

#include "jobs/PreviewFusion.h"
#include "jobs/SeriesPictureCache.h"
#include "jobs/ToneJobs.h"
#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"

// The panels' previews as plain steps: cutting the rectangle out of a picture, computing its
// preview, and pasting the preview into the picture the window shows. The desktop program
// computes on a worker thread and pastes on its interface thread; every step works on
// pictures its caller owns.

// `to` becomes a copy of `from` (reallocated to its geometry; emptied when `from` is empty).
void CopyPicture(SBxPicBuf* to, const SBxPicBuf& from);

// `part` becomes a copy of `rect` of `picture`; empty when the rectangle is empty or does not
// lie inside the picture.
void CutRect(const SBxPicBuf& picture, const CBxRect& rect, SBxPicBuf* part);

// The fusion panels' preview: the work `region` of the files fused (FusePreview), then the
// part of the fused region inside `rect` cut out into `preview`. `preview` stays empty when
// nothing was fused or `rect` does not lie inside `region`.
SeriesFusionReport FusePreviewRect(SeriesPictureCache& cache,
                                   std::span<const std::filesystem::path> files,
                                   const CBxRect& region, const CBxRect& rect, int exposure,
                                   JobProgress* progress, SBxPicBuf* preview);
// The part of `fused` (the fused work `region`) inside `rect`, into `preview`; `preview` is
// left as it is when `rect` is empty or does not lie inside `region`.
void CutPreviewRect(const SBxPicBuf& fused, const CBxRect& region, const CBxRect& rect,
                    SBxPicBuf* preview);

// The Tone Mapping preview: `part` (the rectangle cut from the source) tone-mapped with the
// sliders into `preview`, which stays empty when the engine did not process it (cancelled
// through `progress`, unsupported or out of memory).
void ToneMapPreview(const SBxPicBuf& part, const ToneSliders& sliders, JobProgress* progress,
                    SBxPicBuf* preview);

// The picture a panel with a preview rectangle shows: `source` with `preview` pasted at
// (at.left, at.top) when it fits there. `shown` must equal `source` outside `*pasted`, the
// part where it may differ (the last preview; the whole picture when unknown), so that only
// that part and the new rectangle are written; a `shown` of another geometry is made a whole
// copy. `*pasted` becomes where the new preview lies (empty when none). Returns the part of
// `shown` that was written, for the view to redraw.
CBxRect ShowPreview(const SBxPicBuf& source, const SBxPicBuf& preview, const CBxRect& at,
                    CBxRect* pasted, SBxPicBuf* shown);

// The whole of a picture as a rectangle.
inline CBxRect WholePicture(const SBxPicBuf& picture) {
  return {0, 0, picture.width, picture.height};
}
