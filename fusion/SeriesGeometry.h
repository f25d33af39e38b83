#pragma once

#include <vector>

#include "picture/SBxPicBuf.h"

// Where the fusion panels show their preview and which part of the pictures
// they fuse for it, and how a series is split over threads. Pure functions.

// The preview rectangle in source-picture pixels, kept as doubles so that
// dragging by fractions of a pixel at low zoom adds up.
struct PreviewRect {
  double left = 0.0;
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;
};

// Multi Image: 500 x 500, its lower-right corner 150 pixels right of and below
// the point shown at the centre of the window. Daylight: 400 x 400 centred.
constexpr int kMultiImagePreviewSide = 500;
constexpr int kMultiImagePreviewReach = 150;
constexpr int kDaylightPreviewSide = 400;
constexpr int kDaylightPreviewReach = 200;
// Margin of picture fused around the preview, so that the pyramid's coarse
// levels see the surroundings of the rectangle.
constexpr int kWorkRegionMargin = 256;

// Places the rectangle for the source point (centreX, centreY) shown at the
// centre of the window: both coordinates rounded; the far edge `reach` pixels
// beyond the point but inside the picture; the rectangle `side` pixels long
// where the picture allows, pushed back inside at the edges.
PreviewRect PlacePreviewRect(double centreX, double centreY, int width, int height, int side,
                             int reach);

// The rectangle in whole pixels: each edge + 0.5, truncated, limited to the
// picture; an edge below 1 becomes 0.
CBxRect IntegerPreviewRect(const PreviewRect& rect, int width, int height);

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
