#pragma once

#include "app/ViewContext.h"

// Refreshes the part `region` of the view's cache of `slot` (kSlotSource or kSlotResult)
// from `picture`, giving the samples a whole refresh would give there (8 bits, 3
// components), so that a preview redraws without copying the whole picture. False when the
// cache does not hold a picture of this size or the part cannot be converted: the caller
// then refreshes the cache whole.
bool RefreshCacheRegion(ViewContext* view, const SBxPicBuf& picture, int slot,
                        const CBxRect& region);
