#pragma once

#include <span>

#include "align/Motion.h"
#include "picture/SBxPicBuf.h"

// Resampling a picture onto the reference's frame with its motion.
//
// Output pixel p shows the picture at toSource(p), interpolated with the
// Catmull-Rom bicubic kernel in the picture's own depth (8 or 16 bits, rounded
// to nearest) and component count (1 to 4). A motion that is a whole-pixel
// shift copies the pixels exactly.
//
// The coverage plane (one 8-bit component) tells where the moved picture
// covers the frame: 255 where toSource(p) lies within the picture's outer pixel
// centres, falling linearly to 0 within the last pixel beyond them. Where it
// is 0 the output repeats the picture's edge pixels (no black, no mirror), and
// callers give those pixels no weight.
//
// Outputs: an empty picture is allocated (the region's size, the source's
// components and depth; the coverage one 8-bit component); a non-empty one
// must have exactly that geometry. Rows are spread over the TBB pool; every
// pixel's value is the same whatever the split. True on failure (unsupported
// source, a mismatched output, a region outside the frame, no memory), with
// nothing written.

bool WarpPicture(const SBxPicBuf& picture, const Homography& toSource, SBxPicBuf* output,
                 SBxPicBuf* coverage = nullptr);

// Only `region` of the output frame (output pixel (0, 0) is frame pixel
// (region.left, region.top)); the frame and the whole picture have the size
// `pictureSize`. `source` holds the picture's pixels from `sourceOrigin` on:
// at least SourceRegionFor(toSource, region, pictureSize), else the pixels
// beyond it repeat its edge. Gives the same pixels as WarpPicture over the region.
bool WarpRegion(const SBxPicBuf& source, CBxPoint sourceOrigin, CBxSize pictureSize,
                const Homography& toSource, const CBxRect& region, SBxPicBuf* output,
                SBxPicBuf* coverage = nullptr);

// The picture's pixels that WarpRegion reads for `region` (within the picture;
// empty when none).
CBxRect SourceRegionFor(const Homography& toSource, const CBxRect& region, CBxSize pictureSize);

// The largest rectangle of the frame in which every picture, moved by its
// toSource (identity for pictures used as they are), has coverage 255: the
// crop that leaves no uncovered border. Empty when there is none.
CBxRect CoveredRectangle(std::span<const Homography> motions, CBxSize pictureSize);
