#include "skin/SkinColours.h"

#include <QGuiApplication>

namespace {

// The palette role that plays the part of a system colour the table leaves to
// the platform.
QPalette::ColorRole PlatformRoleFor(int index) {
  switch (index) {
    case 7:  // menu text
      return QPalette::WindowText;
    case 6:  // window frame
      return QPalette::Shadow;
    case 13:
      return QPalette::Highlight;
    case 14:
      return QPalette::HighlightedText;
    case 23:
      return QPalette::ToolTipText;
    case 24:
      return QPalette::ToolTipBase;
    case 26:  // hot-tracked item
      return QPalette::Link;
    default:  // scroll bar, desktop, menu bar and the unused slot
      return QPalette::Window;
  }
}

QColor Table(SkinColourIndex index) {
  return ColourFromTableValue(kSkinColourTable[static_cast<size_t>(index)]);
}

}  // namespace

QColor ColourFromTableValue(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

QColor SkinColour(int index) {
  if (index < 0 || index >= kSkinColourCount) return QColor(0, 0, 0);
  const int32_t value = kSkinColourTable[static_cast<size_t>(index)];
  if (value != kSkinNoColour) return ColourFromTableValue(value);
  return QGuiApplication::palette().color(PlatformRoleFor(index));
}

QPalette DarkPalette() {
  using I = SkinColourIndex;
  const QColor face = Table(I::kButtonFace);
  const QColor accent = QColor::fromRgb(kSkinSliderFill);

  QPalette palette;
  // Dialogs and labels: button text on the button face.
  palette.setColor(QPalette::Window, face);
  palette.setColor(QPalette::WindowText, Table(I::kButtonText));
  palette.setColor(QPalette::Button, face);
  palette.setColor(QPalette::ButtonText, Table(I::kButtonText));
  // Edit fields, lists and combo boxes: window text on the window colour.
  palette.setColor(QPalette::Base, Table(I::kWindow));
  palette.setColor(QPalette::AlternateBase, Table(I::kMenu));
  palette.setColor(QPalette::Text, Table(I::kWindowText));
  palette.setColor(QPalette::PlaceholderText, Table(I::kGreyText));
  // Bevels.
  palette.setColor(QPalette::Light, Table(I::kButtonHighlight));
  palette.setColor(QPalette::Midlight, face.lighter(115));
  palette.setColor(QPalette::Mid, face.darker(115));
  palette.setColor(QPalette::Dark, Table(I::kButtonShadow));
  palette.setColor(QPalette::Shadow, Table(I::kDarkShadow3D));
  palette.setColor(QPalette::BrightText, Table(I::kActiveBorder));
  // Selections share the slider's accent so the theme has one highlight.
  palette.setColor(QPalette::Highlight, accent);
  palette.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
  palette.setColor(QPalette::Link, accent.lighter(130));
  palette.setColor(QPalette::LinkVisited, accent);
  palette.setColor(QPalette::ToolTipBase, Table(I::kMenu));
  palette.setColor(QPalette::ToolTipText, Table(I::kButtonText));

  const QColor grey = Table(I::kGreyText);
  for (QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Disabled, role, grey);
  }
  // A disabled edit field shows the dialog's face, as read-only text does.
  palette.setColor(QPalette::Disabled, QPalette::Base, face);
  palette.setColor(QPalette::Disabled, QPalette::Highlight, Table(I::kDarkShadow3D));
  return palette;
}
