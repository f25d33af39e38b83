// Drawing the shown picture into the view's surface.
#include "app/RenderView.h"

#include <algorithm>
#include <array>

#include "picture/CBxPicBufAPI.h"

CBxPicMap ViewMap(const ViewContext& view) {
  CBxPicMap map;
  map.Compute(view.dstCx, view.dstCy, view.srcCx, view.srcCy, 0.0, view.zoom);
  return map;
}

void ReleaseViewCaches(ViewContext* view) {
  CBxPicBufAPI::DoneHeap(&view->sourceCache);
  CBxPicBufAPI::DoneHeap(&view->resultCache);
  CBxPicBufAPI::DoneHeap(&view->maskCache);
  CBxPicBufAPI::DoneHeap(&view->scratch);
  CBxPicBufAPI::DoneHeap(&view->maskScratch);
  CBxPicBufAPI::DoneHeap(&view->overlayScratch);
}

namespace {

bool HasPixels(const SBxPicBuf* picture) {
  return picture != nullptr && picture->pixels != nullptr;
}

// An 8-bit copy of `picture` with `components` components in `cache`; the cache is emptied
// when the picture has no pixels or cannot be converted.
void RefreshCache(SBxPicBuf* cache, const SBxPicBuf* picture, uint32_t components) {
  if (!HasPixels(picture)) {
    CBxPicBufAPI::DoneHeap(cache);
    return;
  }
  CBxPicBufAPI::ReinitHeap(cache, picture);
  if (cache->pixels == nullptr) return;
  CBxPicBufAPI::Copy(cache, picture);
  if (!CBxPicBufAPI::ConvertBpcComp(cache, 8, components)) CBxPicBufAPI::DoneHeap(cache);
}

// Makes `buf` a picture of the surface's size and format unless it is one already.
void FitToSurface(SBxPicBuf* buf, const SBxPicBuf& surface, uint32_t components) {
  if (buf->pixels != nullptr && buf->width == surface.width && buf->height == surface.height &&
      buf->components == components && buf->bitsPerComponent == 8)
    return;
  CBxPicBufAPI::ReinitHeap(buf, surface.width, surface.height, components, 8);
}

void Transform(SBxPicBuf* dst, const SBxPicBuf* src, const CBxPicMap& map, int interpolation) {
  switch (interpolation) {
    case kInterpolationNearest:
      CBxPicBufAPI::TransformConstantFast(dst, src, map);
      break;
    case kInterpolationBicubic:
      CBxPicBufAPI::TransformBicubicFast(dst, src, map);
      break;
    default:
      CBxPicBufAPI::TransformBilinearFast(dst, src, map);
      break;
  }
}

// Blends every surface pixel towards the checkerboard by the transparency of the
// resampled mask: byte = ((255 - a) * checker + byte * a) / 255.
void BlendCheckerboard(SBxPicBuf* surface, const SBxPicBuf& alpha) {
  for (int y = 0; y < surface->height; ++y) {
    uint8_t* row = RowPtr(*surface, y);
    const uint8_t* a = RowPtr(alpha, y);
    const bool oddRow = (y / kCheckerSquare) % 2 != 0;
    for (int x = 0; x < surface->width; ++x) {
      const bool oddColumn = (x / kCheckerSquare) % 2 != 0;
      const unsigned checker = oddRow == oddColumn ? kCheckerDark : kCheckerLight;
      const unsigned opacity = a[x];
      for (int c = 0; c < 3; ++c) {
        uint8_t& byte = row[3 * x + c];
        byte = static_cast<uint8_t>(((255u - opacity) * checker + byte * opacity) / 255u);
      }
    }
  }
}

// Tints every surface pixel towards red by the resampled overlay: at 255 half way, so that
// what lies under it stays visible.
void TintOverlay(SBxPicBuf* surface, const SBxPicBuf& amount) {
  for (int y = 0; y < surface->height; ++y) {
    uint8_t* row = RowPtr(*surface, y);
    const uint8_t* a = RowPtr(amount, y);
    for (int x = 0; x < surface->width; ++x) {
      const unsigned tint = a[x] / 2u;
      uint8_t* pixel = row + 3 * x;  // blue, green, red
      pixel[0] = static_cast<uint8_t>(pixel[0] * (255u - tint) / 255u);
      pixel[1] = static_cast<uint8_t>(pixel[1] * (255u - tint) / 255u);
      pixel[2] = static_cast<uint8_t>((pixel[2] * (255u - tint) + 255u * tint) / 255u);
    }
  }
}

void InvertPixel(SBxPicBuf* surface, int x, int y) {
  if (x < 0 || y < 0 || x >= surface->width || y >= surface->height) return;
  uint8_t* p = RowPtr(*surface, y) + 3 * x;
  for (int c = 0; c < 3; ++c)
    p[c] = static_cast<uint8_t>(~p[c]);
}

// Four distinct lines a, a + 1, b - 1, b (fewer when the rectangle is very thin, so that no
// pixel is inverted twice and vanishes).
int FrameLines(int a, int b, std::array<int, 4>* lines) {
  const std::array<int, 4> all = {a, a + 1, b - 1, b};
  int count = 0;
  for (int v : all) {
    if (std::find(lines->begin(), lines->begin() + count, v) == lines->begin() + count)
      (*lines)[static_cast<size_t>(count++)] = v;
  }
  return count;
}

// The preview rectangle as an inverted frame two pixels wide.
void DrawPreviewFrame(SBxPicBuf* surface, const CBxRect& rect, const CBxPicMap& map) {
  int left = 0, top = 0, right = 0, bottom = 0;
  map.MapPointSrcToDst(&left, &top, rect.left, rect.top);
  map.MapPointSrcToDst(&right, &bottom, rect.right, rect.bottom);
  std::array<int, 4> columns{};
  const int columnCount = FrameLines(left, right, &columns);
  for (int i = 0; i < columnCount; ++i)
    for (int y = top; y <= bottom; ++y)
      InvertPixel(surface, columns[static_cast<size_t>(i)], y);
  std::array<int, 4> rows{};
  const int rowCount = FrameLines(top, bottom, &rows);
  for (int i = 0; i < rowCount; ++i) {
    const int y = rows[static_cast<size_t>(i)];
    if (y < top || y > bottom) continue;  // already inverted by a thin rectangle's columns
    for (int x = left + 2; x <= right - 2; ++x) {
      if (std::find(columns.begin(), columns.begin() + columnCount, x) !=
          columns.begin() + columnCount)
        continue;
      InvertPixel(surface, x, y);
    }
  }
}

// The slot's cache resampled into the scratch, then onto the surface.
void DrawCache(ViewContext* view, const SBxPicBuf& cache, const CBxPicMap& map) {
  SBxPicBuf* surface = view->surface;
  FitToSurface(&view->scratch, *surface, 3);
  if (view->scratch.pixels == nullptr) {
    CBxPicBufAPI::SetConst(surface, view->background);
    return;
  }
  CBxPicBufAPI::SetConst(&view->scratch, view->background);
  Transform(&view->scratch, &cache, map, view->interpolation);
  CBxPicBufAPI::Copy(surface, &view->scratch);
}

void DrawMask(ViewContext* view, const CBxPicMap& map) {
  FitToSurface(&view->maskScratch, *view->surface, 1);
  if (view->maskScratch.pixels == nullptr || view->maskCache.pixels == nullptr) return;
  CBxPicBufAPI::SetConst(&view->maskScratch, 255);
  Transform(&view->maskScratch, &view->maskCache, map, view->interpolation);
  BlendCheckerboard(view->surface, view->maskScratch);
}

// The overlay, when it has the shown picture's size, resampled and tinted over the surface.
void DrawOverlay(ViewContext* view, const CBxPicMap& map, const SBxPicBuf& cache) {
  const SBxPicBuf& overlay = *view->overlay;
  if (overlay.pixels == nullptr || overlay.components != 1 || overlay.bitsPerComponent != 8 ||
      overlay.width != cache.width || overlay.height != cache.height)
    return;
  FitToSurface(&view->overlayScratch, *view->surface, 1);
  if (view->overlayScratch.pixels == nullptr) return;
  CBxPicBufAPI::SetConst(&view->overlayScratch, 0);
  Transform(&view->overlayScratch, &overlay, map, view->interpolation);
  TintOverlay(view->surface, view->overlayScratch);
}

}  // namespace

bool RenderView(ViewContext* view, int mode, const SBxPicBuf* picture, int slot, int draw,
                const SBxPicBuf* mask) {
  SBxPicBuf* surface = view->surface;
  if (surface == nullptr || surface->pixels == nullptr) return true;
  const CBxPicMap map = ViewMap(*view);

  if (mode == kRenderScratch) {
    if (view->scratch.pixels == nullptr || view->scratch.width != surface->width ||
        view->scratch.height != surface->height)
      return true;
    CBxPicBufAPI::Copy(surface, &view->scratch);
  } else if (slot == kSlotSource || slot == kSlotResult) {
    SBxPicBuf* cache = slot == kSlotSource ? &view->sourceCache : &view->resultCache;
    if (mode == kRenderRefresh) {
      RefreshCache(cache, picture, 3);
      RefreshCache(&view->maskCache, mask, 1);
    }
    if (cache->pixels == nullptr) return true;
    if (!draw) return false;
    DrawCache(view, *cache, map);
    if (HasPixels(mask)) DrawMask(view, map);
    if (view->overlay != nullptr) DrawOverlay(view, map, *cache);
  } else {
    if (!draw) return false;
    CBxPicBufAPI::SetConst(surface, view->background);
  }

  if (view->previewRect != nullptr) DrawPreviewFrame(surface, *view->previewRect, map);
  return false;
}
