#pragma once

#include "app/ViewContext.h"

// Draws `picture` (or the cache of `slot`) into the view's surface. mode is a RenderMode,
// slot a ViewSlot; with draw = 0 only the caches are refreshed. `mask`, when it has pixels,
// shows a checkerboard through the transparent parts. Returns true when nothing could be
// drawn (no picture cached for the slot, or no scratch of the surface's size for
// kRenderScratch). The caller repaints the view afterwards.
bool RenderView(ViewContext* view, int mode, const SBxPicBuf* picture, int slot, int draw,
                const SBxPicBuf* mask);

// Square size and the two greys of the checkerboard shown through transparent pixels.
constexpr int kCheckerSquare = 15;
constexpr uint8_t kCheckerDark = 190;
constexpr uint8_t kCheckerLight = 220;
