#pragma once

#include <QRect>
#include <QStyle>

class QPainter;
class QStyleOption;
class QStyleOptionComboBox;
class QStyleOptionProgressBar;
class QStyleOptionSlider;
class QStyleOptionToolButton;
class QWidget;

// Sizes of the skinned controls, in device-independent pixels.
struct SkinMetrics {
  static constexpr int kCheckBoxSize = 13;
  static constexpr int kEdgeWidth = 2;  // a raised or sunken box
  static constexpr int kSliderThumbLength = 11;
  static constexpr int kSliderThumbThickness = 20;
  static constexpr int kSliderChannelThickness = 8;  // with one extra row at its bottom
  static constexpr int kSliderChannelInset = 2;      // from the ends of the thumb's travel
  static constexpr int kSliderThickness = 24;
  static constexpr int kSliderTickSpace = 5;
  static constexpr int kSliderTickLength = 3;
  static constexpr int kComboButtonWidth = 17;  // the width of a vertical scroll bar
  static constexpr int kComboButtonInset = 2;
  static constexpr int kComboArrowWidth = 8;
  static constexpr int kToolBarSeparatorExtent = 8;
};

// Push buttons: face, frame by state, focus.
void PaintPushButtonPanel(QPainter* painter, const QStyleOption& option);
void PaintFocusRect(QPainter* painter, const QRect& rect);

// Check boxes (in dialogs and in item views): the image for the state,
// centred in a box of the parent's colour.
void PaintCheckIndicator(QPainter* painter, const QStyleOption& option, bool fillBox);

// Sliders: the sub-control rectangles and the whole painting.
QRect SliderSubControlRect(const QStyleOptionSlider& option, QStyle::SubControl subControl);
void PaintSlider(QPainter* painter, const QStyleOptionSlider& option);

// Combo boxes.
QRect ComboSubControlRect(const QStyleOptionComboBox& option, QStyle::SubControl subControl);
void PaintComboBox(QPainter* painter, const QStyleOptionComboBox& option);

// Edit fields and other sunken frames.
void PaintEditPanel(QPainter* painter, const QStyleOption& option, bool withFrame);

// Toolbars and the status bar.
void PaintToolButtonPanel(QPainter* painter, const QStyleOption& option);
void PaintToolBarSeparator(QPainter* painter, const QStyleOption& option);
void PaintStatusBar(QPainter* painter, const QRect& rect);

// Progress bars.
void PaintProgressGroove(QPainter* painter, const QStyleOption& option);
bool PaintProgressContents(QPainter* painter, const QStyleOptionProgressBar& option);
void PaintProgressLabel(QPainter* painter, const QStyleOptionProgressBar& option);
