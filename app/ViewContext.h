#pragma once

#include <cstdint>

#include "picture/CBxPicMap.h"
#include "picture/SBxPicBuf.h"

// How the view resamples a picture onto the surface.
enum ViewInterpolation : int {
  kInterpolationNearest = 0,
  kInterpolationBilinear = 1,
  kInterpolationBicubic = 2
};

// Which cached picture a render shows; any other value clears the view.
enum ViewSlot : int { kSlotClear = 0, kSlotSource = 1, kSlotResult = 2 };

// kRenderRefresh refreshes the slot's cache from the picture first, kRenderCached uses the
// caches as they are, kRenderScratch only copies the last scratch to the surface again.
enum RenderMode : int { kRenderRefresh = 0, kRenderCached = 1, kRenderScratch = 2 };

// Background grey of the view: dark with the program's theme, light without it.
constexpr uint8_t kViewBackgroundDark = 48;
constexpr uint8_t kViewBackgroundLight = 190;

// Where and how large the picture is shown, and the pictures the view draws from. One
// instance lives as long as the main window; the open tool panel reads it (to map the mouse
// to picture pixels) and points previewRect at its own rectangle while it shows a preview.
//
// Geometry: screen = (picture - (srcCx, srcCy)) * zoom + (dstCx, dstCy), in the pixels of
// the view area (its top left corner is 0, 0).
struct ViewContext {
  double zoom = 1.0;
  double dstCx = 0.0;
  double dstCy = 0.0;
  double srcCx = 0.0;
  double srcCy = 0.0;

  // The open tool panel's rectangle in picture pixels (left, top, right, bottom), or null.
  const CBxRect* previewRect = nullptr;
  // Tinted over the picture while the open panel wants it: one 8-bit component of the
  // picture's size, how strongly each pixel is tinted (0: not at all); or null. The panel owns
  // it.
  const SBxPicBuf* overlay = nullptr;

  // The drawing surface: 3 components of 8 bits (blue, green, red), the size of the view
  // area. Owned by the view widget, which keeps it at its own size.
  SBxPicBuf* surface = nullptr;

  int interpolation = kInterpolationBilinear;
  uint8_t background = kViewBackgroundDark;

  // 8-bit copies made once per picture so that zooming and panning only resample.
  SBxPicBuf sourceCache;     // 3 components
  SBxPicBuf resultCache;     // 3 components
  SBxPicBuf maskCache;       // 1 component
  SBxPicBuf scratch;         // the last render before the mask and the frame, surface-sized
  SBxPicBuf maskScratch;     // the mask resampled to the surface
  SBxPicBuf overlayScratch;  // the overlay resampled to the surface
};

// The map from picture to view coordinates of the current geometry.
CBxPicMap ViewMap(const ViewContext& view);

// Frees the caches and scratch pictures (the surface is not the context's).
void ReleaseViewCaches(ViewContext* view);
