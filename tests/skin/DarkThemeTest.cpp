#include <gtest/gtest.h>

#include <set>

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include "skin/DarkTheme.h"
#include "skin/SkinColours.h"
#include "skin/SkinEdges.h"
#include "tests/skin/SkinTestSupport.h"

namespace {

using I = SkinColourIndex;

TEST(SkinColourTable, HoldsTheThemeValuesInBlueGreenRedOrder) {
  // Values are 0x00BBGGRR: the low byte is red.
  EXPECT_EQ(ColourFromTableValue(0x00336699), QColor(0x99, 0x66, 0x33));

  const std::pair<int, QRgb> expected[] = {
      {2, 0x6E6E6E},  {3, 0x5A5A5A},  {4, 0x505050},  {5, 0x414141},  {8, 0xBEBEBE},
      {9, 0xBEBEBE},  {10, 0xEFEFEF}, {11, 0xD2D2D2}, {12, 0x232323}, {15, 0x464646},
      {16, 0x373737}, {17, 0xA0A0A0}, {18, 0xE6E6E6}, {19, 0x9B9B9B}, {20, 0x646464},
      {21, 0x323232}, {22, 0x000000}, {27, 0x3C3C3C}, {28, 0x5F5F5F}};
  int set = 0;
  for (int32_t value : kSkinColourTable)
    set += value != kSkinNoColour ? 1 : 0;
  EXPECT_EQ(set, 19);
  for (const auto& [index, rgb] : expected) {
    EXPECT_EQ(SkinColour(index).rgb() & 0xFFFFFF, rgb) << "index " << index;
  }
}

TEST(SkinColourTable, FallsBackToThePaletteAndToBlackOutsideTheTable) {
  EXPECT_EQ(SkinColour(I::kHighlight), QApplication::palette().color(QPalette::Highlight));
  EXPECT_EQ(SkinColour(30), QColor(0, 0, 0));
  EXPECT_EQ(SkinColour(-1), QColor(0, 0, 0));
}

TEST(DarkPalette, IsTheApplicationPaletteAndUsesTheTable) {
  const QPalette p = QApplication::palette();
  EXPECT_EQ(p.color(QPalette::Window).rgb(), Rgb(I::kButtonFace));
  EXPECT_EQ(p.color(QPalette::WindowText).rgb(), Rgb(I::kButtonText));
  EXPECT_EQ(p.color(QPalette::Button).rgb(), Rgb(I::kButtonFace));
  EXPECT_EQ(p.color(QPalette::ButtonText).rgb(), Rgb(I::kButtonText));
  EXPECT_EQ(p.color(QPalette::Base).rgb(), Rgb(I::kWindow));
  EXPECT_EQ(p.color(QPalette::Text).rgb(), Rgb(I::kWindowText));
  EXPECT_EQ(p.color(QPalette::Light).rgb(), Rgb(I::kButtonHighlight));
  EXPECT_EQ(p.color(QPalette::Dark).rgb(), Rgb(I::kButtonShadow));
  EXPECT_EQ(p.color(QPalette::Shadow).rgb(), Rgb(I::kDarkShadow3D));
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    EXPECT_EQ(p.color(QPalette::Disabled, role).rgb(), Rgb(I::kGreyText)) << role;
  }
  EXPECT_EQ(QApplication::style()->standardPalette(), DarkPalette());
}

QImage EdgeImage(unsigned edge, unsigned sides) {
  QImage image(10, 10, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 255));
  QPainter painter(&image);
  DrawSkinEdge(&painter, image.rect(), edge, sides);
  return image;
}

TEST(SkinEdges, RaisedAndSunkenBoxesUseTheTableColoursOnEachSide) {
  const QImage raised = EdgeImage(SkinEdge::kRaisedBox, SkinEdge::kAllSides);
  EXPECT_EQ(raised.pixel(0, 0) & 0xFFFFFF, Rgb(I::kLight3D) & 0xFFFFFF);
  EXPECT_EQ(raised.pixel(9, 9), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(raised.pixel(9, 0), Rgb(I::kDarkShadow3D));  // the right column is bottom-right's
  EXPECT_EQ(raised.pixel(0, 9), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(raised.pixel(1, 1), Rgb(I::kButtonHighlight));
  EXPECT_EQ(raised.pixel(8, 8), Rgb(I::kButtonShadow));
  EXPECT_EQ(raised.pixel(4, 4), qRgb(255, 0, 255));  // the inside is left alone

  const QImage sunken = EdgeImage(SkinEdge::kSunkenBox, SkinEdge::kAllSides);
  EXPECT_EQ(sunken.pixel(0, 0), Rgb(I::kButtonShadow));
  EXPECT_EQ(sunken.pixel(9, 9), Rgb(I::kButtonHighlight));
  EXPECT_EQ(sunken.pixel(1, 1), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(sunken.pixel(8, 8) & 0xFFFFFF, Rgb(I::kLight3D) & 0xFFFFFF);

  // Only the sides asked for; the inner edge moves in only where an outer one was drawn.
  const QImage topLeft = EdgeImage(SkinEdge::kSunkenBox, SkinEdge::kLeft | SkinEdge::kTop);
  EXPECT_EQ(topLeft.pixel(0, 5), Rgb(I::kButtonShadow));
  EXPECT_EQ(topLeft.pixel(1, 5), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(topLeft.pixel(9, 5), qRgb(255, 0, 255));
  EXPECT_EQ(topLeft.pixel(5, 9), qRgb(255, 0, 255));
}

TEST(SkinCheckBoxImages, AreSixDistinctThirteenPixelImagesWithAlpha) {
  std::set<QByteArray> distinct;
  for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
    for (bool enabled : {false, true}) {
      const QImage image = SkinCheckBoxImage(state, enabled);
      ASSERT_EQ(image.size(), QSize(13, 13)) << state << enabled;
      EXPECT_TRUE(image.hasAlphaChannel());
      distinct.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()),
                                 static_cast<int>(image.sizeInBytes())));
    }
  }
  EXPECT_EQ(distinct.size(), 6U);
}

}  // namespace
