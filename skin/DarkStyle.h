#pragma once

#include <QProxyStyle>

// The dark theme's widget style: a proxy over the platform-independent base
// style that paints push buttons, check boxes, sliders, combo boxes, edit
// fields, toolbars, the status bar, the dock panel and progress bars in the
// colour table's colours, and lets every other control take its colours from
// the dark palette. It also gives push buttons the dialog keyboard habits of
// the theme: Enter clicks the focused button, and a plain letter clicks the
// sibling button whose text marks that letter with "&".
class cDarkStyle : public QProxyStyle {
 public:
  cDarkStyle();

  using QProxyStyle::polish;
  using QProxyStyle::unpolish;

  QPalette standardPalette() const override;
  void polish(QPalette& palette) override;
  void polish(QWidget* widget) override;
  void unpolish(QWidget* widget) override;

  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl subControl, const QWidget* widget) const override;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
