#pragma once

#include <string>
#include <string_view>

#include "app/ViewContext.h"

// Zoom factors of one step of the toolbar buttons, the keys and the wheel.
constexpr double kZoomInFactor = 1.2;
constexpr double kZoomOutFactor = 0.8333333333333334;
// The wheel stops at 800 % and where the longer side of the picture would shrink below
// this many screen pixels; the buttons and keys have no limit.
constexpr double kWheelZoomMax = 8.0;
constexpr double kWheelMinLongSide = 100.0;

// The zoom box's entries and the zoom each stands for.
constexpr int kZoomPresetCount = 8;
constexpr double kZoomPresets[kZoomPresetCount] = {0.1, 0.25, 0.5, 1.0, 1.5, 2.0, 4.0, 8.0};

// Centres the picture of pictureWidth x pictureHeight in a view area of areaWidth x
// areaHeight; FitView scales it to fit the area, CentreAtFullSize shows it at 100 %.
void FitView(ViewContext* view, int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);
void CentreAtFullSize(ViewContext* view, int pictureWidth, int pictureHeight, int areaWidth,
                      int areaHeight);

// Zooms about the view point under the cursor, which keeps showing the same picture point.
// The cursor is first limited to the picture's place on the screen. A wheel delta below 1
// zooms out. Limits: kWheelZoomMax, and the longer side at least kWheelMinLongSide pixels.
void WheelZoom(ViewContext* view, int cursorX, int cursorY, int wheelDelta, int pictureWidth,
               int pictureHeight);

// Moves the picture with the mouse from (lastX, lastY) to (x, y).
void PanView(ViewContext* view, int lastX, int lastY, int x, int y);

// The zoom typed into the zoom box, in percent: digits, then optionally "." or "," and
// decimals, ended by the text's end, a space or "%". Only the first 10 characters count.
// A value above 10 is limited to 800, anything else becomes 10. False when the text holds
// any other character (the zoom then stays as it was).
bool ParseTypedZoom(std::string_view text, double* percent);

// The zoom box's text for a zoom factor, for example "37.5 %".
std::string ZoomText(double zoom);
