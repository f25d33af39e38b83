#pragma once

#include <array>
#include <cstdint>

#include <QBrush>
#include <QColor>
#include <QPalette>

// The dark theme's colour table. Every control of the program is painted from
// these colours; the tool panels and the dock panel use them for their own
// drawing too. An entry is indexed by the system colour it replaces (the
// numbering is the classic one of 30 system colours, 0..29), holds 0x00BBGGRR,
// or -1 where the theme keeps the platform's colour.
enum class SkinColourIndex : int {
  kActiveCaption = 2,
  kInactiveCaption = 3,
  kMenu = 4,
  kWindow = 5,  // edit fields, lists, combo boxes
  kWindowText = 8,
  kCaptionText = 9,
  kActiveBorder = 10,
  kInactiveBorder = 11,
  kAppWorkspace = 12,  // the view's background
  kHighlight = 13,     // not in the table: the platform's colour
  kButtonFace = 15,    // dialogs, buttons, toolbar, status bar, dock panel
  kButtonShadow = 16,
  kGreyText = 17,  // disabled text
  kButtonText = 18,
  kInactiveCaptionText = 19,
  kButtonHighlight = 20,
  kDarkShadow3D = 21,
  kLight3D = 22,
  kGradientActiveCaption = 27,
  kGradientInactiveCaption = 28,
};

inline constexpr int kSkinColourCount = 30;
inline constexpr int32_t kSkinNoColour = -1;

// The values the theme sets; all other entries keep the platform's colour.
inline constexpr std::array<int32_t, kSkinColourCount> kSkinColourTable = {
    kSkinNoColour, kSkinNoColour,
    0x6E6E6E,  //  2 active caption
    0x5A5A5A,  //  3 inactive caption
    0x505050,  //  4 menu
    0x414141,  //  5 window
    kSkinNoColour, kSkinNoColour,
    0xBEBEBE,  //  8 window text
    0xBEBEBE,  //  9 caption text
    0xEFEFEF,  // 10 active border
    0xD2D2D2,  // 11 inactive border
    0x232323,  // 12 application workspace
    kSkinNoColour, kSkinNoColour,
    0x464646,  // 15 button face
    0x373737,  // 16 button shadow
    0xA0A0A0,  // 17 grey text
    0xE6E6E6,  // 18 button text
    0x9B9B9B,  // 19 inactive caption text
    0x646464,  // 20 button highlight
    0x323232,  // 21 3D dark shadow
    0x000000,  // 22 3D light
    kSkinNoColour, kSkinNoColour, kSkinNoColour, kSkinNoColour,
    0x3C3C3C,  // 27 gradient active caption
    0x5F5F5F,  // 28 gradient inactive caption
    kSkinNoColour};

// The part of a slider's channel between its minimum and the thumb, while the
// slider is enabled (a disabled slider shows the dark-shadow colour there).
inline constexpr QRgb kSkinSliderFill = 0xFF6587A8;  // RGB(101, 135, 168)

// The table's colour for an index, the platform's (the application palette's)
// colour where the table has none, and black for an index outside 0..29.
QColor SkinColour(int index);
inline QColor SkinColour(SkinColourIndex index) {
  return SkinColour(static_cast<int>(index));
}
inline QBrush SkinBrush(SkinColourIndex index) {
  return QBrush(SkinColour(index));
}

// Converts a table value (0x00BBGGRR) to a colour.
QColor ColourFromTableValue(int32_t value);

// The application palette of the dark theme, built from the table.
QPalette DarkPalette();
