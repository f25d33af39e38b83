#pragma once

#include <vector>

#include "picture/SBxPicBuf.h"

// Which part of the pictures a preview fuses, and how a series is split over
// threads. Pure functions.

// Margin of picture fused around the preview, so that the pyramid's coarse
// levels see the surroundings of the rectangle.
constexpr int kWorkRegionMargin = 256;

// The preview rectangle widened by `margin` on every side and limited to the
// picture: the region fused for a preview.
CBxRect WorkRegion(const CBxRect& preview, int width, int height, int margin = kWorkRegionMargin);

// The files [first, end) one thread fuses.
struct SeriesPart {
  int first = 0;
  int end = 0;
};

// How `count` files are spread over threads for a preview: fewer than 5 on the
// caller's thread alone; from 5 the upper half on one worker; from 9 the
// second and last thirds on two workers. Part 0 is the caller's.
std::vector<SeriesPart> SplitSeries(int count);
