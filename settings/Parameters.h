#pragma once

#include <string_view>

// Every value a user sets for a processing command, declared once with its range and
// default. The settings, the panels and melvaro-cli all read these; the engines take the
// values from their callers and know none of them.

struct ParameterRange {
  int minimum;
  int maximum;
  int defaultValue;

  constexpr int Clamp(int value) const {
    return value < minimum ? minimum : value > maximum ? maximum : value;
  }
  constexpr bool Contains(int value) const { return value >= minimum && value <= maximum; }
};

// A parameter measured in seconds, which whole numbers cannot hold.
struct SecondsRange {
  double minimum;
  double maximum;
  double defaultValue;

  constexpr bool Contains(double value) const { return value >= minimum && value <= maximum; }
};

namespace parameter {
// Exposure target of the Multi Image fusion, in 8-bit units.
inline constexpr ParameterRange kExposure{48, 160, 100};
// How many pictures of the daylight family are fused, darkest or brightest first.
inline constexpr ParameterRange kDaylightPower{3, 39, 15};
// The daylight family is always fused around the middle of the range.
inline constexpr int kDaylightExposure = 128;
// Noise reduction of the brightest synthetic exposures: None, Low, Medium, High.
inline constexpr ParameterRange kDenoiseLevel{0, 3, 1};
// The four Tone Mapping sliders.
inline constexpr ParameterRange kTonePower{1, 50, 10};
// The eight Smart Contrast level gains.
inline constexpr ParameterRange kLodGain{0, 30, 10};
// JPEG quality of a saved picture.
inline constexpr ParameterRange kJpegQuality{10, 100, 85};

// Batch work. The longest pause, in seconds, between the end of one exposure and the start
// of the next inside a series.
inline constexpr SecondsRange kSeriesGap{0.1, 3600.0, 2.0};
// Pictures per series when a batch is grouped by a fixed count.
inline constexpr ParameterRange kGroupSize{2, 99, 3};
// The most pictures one series holds: what one fusion takes.
inline constexpr int kMaxSeriesPictures = 99;

// Alignment of a hand-held series. The richest motion model that may be used, by name; the
// first is the default: the richest one that passes the checks.
inline constexpr std::string_view kAlignModelNames[] = {"auto", "shift", "rigid", "projective"};
// The picture the others are aligned to, counted from 1 within the series; without one
// (kAlignReferenceMiddle), the middle picture of the series as given.
inline constexpr int kAlignReferenceMiddle = 0;
inline constexpr ParameterRange kAlignReference{1, kMaxSeriesPictures, kAlignReferenceMiddle};
// Whether the result is cut to the area every picture covers.
inline constexpr bool kAlignCrop = false;

// Ghost removal: how readily a picture is kept out where it shows something other than the
// reference picture (0 keeps every picture, 10 rejects the smallest differences). Off unless
// asked for; asked for without a value, the default.
inline constexpr ParameterRange kDeghostStrength{0, 10, 5};
}  // namespace parameter

// A default as the settings file stores it, read at compile time, so that a key's default
// text can be checked against its parameter.
constexpr int ParseDefaultText(std::string_view text) {
  int value = 0;
  for (char c : text)
    value = value * 10 + (c - '0');
  return value;
}
