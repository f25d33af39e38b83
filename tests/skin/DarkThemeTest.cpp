#include <gtest/gtest.h>

#include <QApplication>
#include <QStyle>

#include "skin/SkinColours.h"
#include "tests/skin/SkinTestSupport.h"

namespace {

// The palette is built from the table: checking it against the theme's values
// catches a wrong entry, a byte-order mix-up and a role given the wrong entry.
TEST(DarkPalette, IsTheApplicationPaletteBuiltFromTheColourTable) {
  EXPECT_EQ(ColourFromTableValue(0x00336699), QColor(0x99, 0x66, 0x33));  // 0x00BBGGRR
  const QPalette p = QApplication::palette();
  EXPECT_EQ(QApplication::style()->standardPalette(), DarkPalette());
  const std::pair<QPalette::ColorRole, QRgb> roles[] = {
      {QPalette::Window, 0x464646},     {QPalette::Button, 0x464646},
      {QPalette::WindowText, 0xE6E6E6}, {QPalette::ButtonText, 0xE6E6E6},
      {QPalette::Base, 0x414141},       {QPalette::Text, 0xBEBEBE},
      {QPalette::Light, 0x646464},      {QPalette::Dark, 0x373737},
      {QPalette::Shadow, 0x323232}};
  for (const auto& [role, rgb] : roles) {
    EXPECT_EQ(p.color(role).rgb() & 0xFFFFFF, rgb) << role;
  }
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    EXPECT_EQ(p.color(QPalette::Disabled, role).rgb() & 0xFFFFFF, 0xA0A0A0U) << role;
  }
  // Entries the table leaves out come from the palette; outside 0..29 is black.
  EXPECT_EQ(SkinColour(SkinColourIndex::kHighlight), p.color(QPalette::Highlight));
  EXPECT_EQ(SkinColour(SkinColourIndex::kAppWorkspace), QColor(0x23, 0x23, 0x23));
  EXPECT_EQ(SkinColour(30), QColor(0, 0, 0));
  EXPECT_EQ(SkinColour(-1), QColor(0, 0, 0));
}

}  // namespace
