#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include "skin/DarkTheme.h"
#include "tests/skin/SkinTestSupport.h"

namespace {

using I = SkinColourIndex;

const QRgb kFill = kSkinSliderFill;

// A slider's thumb and channel interior as the style lays them out.
struct SliderParts {
  QRect thumb;
  QRect channelInside;
};

SliderParts LayOut(QSlider& slider) {
  QStyleOptionSlider option;
  option.initFrom(&slider);
  option.orientation = slider.orientation();
  option.minimum = slider.minimum();
  option.maximum = slider.maximum();
  option.sliderPosition = slider.sliderPosition();
  option.tickPosition = slider.tickPosition();
  option.upsideDown = slider.orientation() == Qt::Horizontal ? slider.invertedAppearance()
                                                             : !slider.invertedAppearance();
  const QStyle* style = slider.style();
  const QRect groove =
      style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, &slider);
  const QRect thumb =
      style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
  // Inside the sunken two-pixel box, itself inset two pixels from the travel's ends.
  const QRect inside = slider.orientation() == Qt::Horizontal ? groove.adjusted(4, 2, -4, -2)
                                                              : groove.adjusted(2, 4, -2, -4);
  return {thumb, inside};
}

QRect LeftOf(const SliderParts& p) {
  return QRect(QPoint(p.channelInside.left(), p.channelInside.top()),
               QPoint(p.thumb.left() - 1, p.channelInside.bottom()));
}
QRect RightOf(const SliderParts& p) {
  return QRect(QPoint(p.thumb.right() + 1, p.channelInside.top()), p.channelInside.bottomRight());
}

TEST(SkinnedSlider, FillsTheChannelFromTheMinimumToTheThumb) {
  QSlider slider(Qt::Horizontal);
  slider.resize(200, 24);
  slider.setRange(0, 100);
  slider.setValue(50);
  const QImage image = RenderWidget(slider);
  const SliderParts parts = LayOut(slider);
  ASSERT_GT(parts.thumb.left(), 60);
  const QRect left = LeftOf(parts);
  EXPECT_EQ(CountPixels(image, left, kFill), left.width() * left.height());
  EXPECT_EQ(CountPixels(image, RightOf(parts), kFill), 0);
  // The thumb: a raised box around the button face.
  EXPECT_EQ(image.pixel(parts.thumb.topLeft()) & 0xFFFFFF, Rgb(I::kLight3D) & 0xFFFFFF);
  EXPECT_EQ(image.pixel(parts.thumb.bottomRight()), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(image.pixel(parts.thumb.center()), Rgb(I::kButtonFace));
  // The channel: a sunken box.
  EXPECT_EQ(image.pixel(parts.channelInside.left() - 2, parts.channelInside.top() - 2),
            Rgb(I::kButtonShadow));
}

TEST(SkinnedSlider, ShowsNoFillAtTheMinimumAndTheDarkShadowWhenDisabled) {
  QSlider slider(Qt::Horizontal);
  slider.resize(200, 24);
  slider.setRange(0, 100);
  slider.setValue(0);
  QImage image = RenderWidget(slider);
  EXPECT_EQ(CountPixels(image, image.rect(), kFill), 0);

  slider.setValue(70);
  slider.setEnabled(false);
  image = RenderWidget(slider);
  const SliderParts parts = LayOut(slider);
  const QRect left = LeftOf(parts);
  EXPECT_EQ(CountPixels(image, image.rect(), kFill), 0);
  EXPECT_EQ(CountPixels(image, left, Rgb(I::kDarkShadow3D)), left.width() * left.height());
}

TEST(SkinnedSlider, FillsFromTheMinimumEndWhenInvertedOrVertical) {
  QSlider inverted(Qt::Horizontal);
  inverted.resize(200, 24);
  inverted.setInvertedAppearance(true);
  inverted.setValue(30);  // of 0..99: the thumb stands right of the middle
  QImage image = RenderWidget(inverted);
  SliderParts parts = LayOut(inverted);
  EXPECT_EQ(CountPixels(image, LeftOf(parts), kFill), 0);
  EXPECT_EQ(CountPixels(image, RightOf(parts), kFill),
            RightOf(parts).width() * RightOf(parts).height());

  QSlider vertical(Qt::Vertical);  // minimum at the bottom
  vertical.resize(24, 200);
  vertical.setValue(50);
  image = RenderWidget(vertical);
  parts = LayOut(vertical);
  const QRect below(QPoint(parts.channelInside.left(), parts.thumb.bottom() + 1),
                    parts.channelInside.bottomRight());
  const QRect above(parts.channelInside.topLeft(),
                    QPoint(parts.channelInside.right(), parts.thumb.top() - 1));
  EXPECT_EQ(CountPixels(image, below, kFill), below.width() * below.height());
  EXPECT_EQ(CountPixels(image, above, kFill), 0);
}

TEST(SkinnedSlider, ThumbTravelsTheWholeWidthAndFollowsADrag) {
  QSlider slider(Qt::Horizontal);
  slider.resize(211, 24);  // a travel of 200 pixels for 200 steps
  slider.setRange(0, 200);
  for (int value : {0, 37, 200}) {
    slider.setValue(value);
    EXPECT_EQ(LayOut(slider).thumb.left(), value);
  }
  slider.setValue(40);
  RenderWidget(slider);
  const QPoint grip = LayOut(slider).thumb.center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, grip);
  QTest::mouseMove(&slider, grip + QPoint(50, 0));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, grip + QPoint(50, 0));
  EXPECT_EQ(slider.value(), 90);
}

TEST(SkinnedCheckBox, PaintsTheImageOfEachStateAndGreysDisabledText) {
  for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
    for (bool enabled : {true, false}) {
      QCheckBox box(QStringLiteral("Extra Colors"));
      box.setTristate(true);
      box.setCheckState(state);
      box.setEnabled(enabled);
      box.resize(box.sizeHint());
      const QImage image = RenderWidget(box);

      QImage expected(13, 13, QImage::Format_RGB32);
      expected.fill(SkinColour(I::kButtonFace));
      QPainter(&expected).drawImage(0, 0, SkinCheckBoxImage(state, enabled));
      const int top = (image.height() - 13) / 2;
      EXPECT_EQ(image.copy(0, top, 13, 13), expected)
          << "state " << state << " enabled " << enabled;

      const QRect text(13, 0, image.width() - 13, image.height());
      // Anti-aliased text never gets brighter than its colour.
      EXPECT_GT(CountPixels(image, text, Rgb(enabled ? I::kButtonText : I::kGreyText)), 0);
      if (!enabled) {
        EXPECT_EQ(CountPixels(image, text, Rgb(I::kButtonText)), 0);
      }
    }
  }
}

TEST(SkinnedPushButton, FramesByStateAndGreysDisabledText) {
  QPushButton button(QStringLiteral("Cancel"));
  button.resize(90, 26);
  QImage image = RenderWidget(button);
  const QRect r = image.rect();
  EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, Rgb(I::kLight3D) & 0xFFFFFF);
  EXPECT_EQ(image.pixel(r.bottomRight()), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(image.pixel(1, 1), Rgb(I::kButtonHighlight));
  EXPECT_EQ(image.pixel(3, 3), Rgb(I::kButtonFace));
  EXPECT_GT(CountPixels(image, r, Rgb(I::kButtonText)), 0);

  button.setDown(true);
  image = RenderWidget(button);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kButtonShadow));
  EXPECT_EQ(image.pixel(r.bottomRight()), Rgb(I::kButtonHighlight));
  EXPECT_EQ(image.pixel(1, 1), Rgb(I::kDarkShadow3D));
  button.setDown(false);

  button.setCheckable(true);
  button.setChecked(true);
  image = RenderWidget(button);
  EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, Rgb(I::kLight3D) & 0xFFFFFF);
  EXPECT_EQ(image.pixel(1, 1), Rgb(I::kButtonFace));  // a one-pixel frame only

  button.setChecked(false);
  button.setEnabled(false);
  image = RenderWidget(button);
  EXPECT_GT(CountPixels(image, r, Rgb(I::kGreyText)), 0);
  EXPECT_EQ(CountPixels(image, r, Rgb(I::kButtonText)), 0);
}

TEST(SkinnedComboBox, DrawsItsButtonAndArrowInTheTableColours) {
  QComboBox combo;
  combo.addItems({QStringLiteral("100.0 %"), QStringLiteral("200.0 %")});
  combo.resize(120, 24);
  QImage image = RenderWidget(combo);

  QStyleOptionComboBox option;
  option.initFrom(&combo);
  option.subControls = QStyle::SC_All;
  const QRect button =
      combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &combo);
  EXPECT_EQ(button.width(), 17);
  EXPECT_EQ(button.right(), 117);  // two pixels in from the right edge
  EXPECT_EQ(button.top(), 2);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kButtonShadow));  // sunken box around the control
  EXPECT_EQ(image.pixel(button.topLeft()) & 0xFFFFFF, Rgb(I::kLight3D) & 0xFFFFFF);
  EXPECT_EQ(image.pixel(button.bottomRight()), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(image.pixel(button.left() + 1, button.top() + 1), Rgb(I::kButtonHighlight));
  // An 8-pixel arrow whose top line is full width.
  EXPECT_EQ(CountPixels(image, button, Rgb(I::kButtonText)), 8 + 6 + 4 + 2);
  EXPECT_EQ(image.pixel(4, 12), Rgb(I::kWindow));

  combo.setEnabled(false);
  image = RenderWidget(combo);
  EXPECT_EQ(CountPixels(image, button, Rgb(I::kGreyText)), 8 + 6 + 4 + 2);
  EXPECT_EQ(image.pixel(4, 12), Rgb(I::kButtonFace));
}

TEST(SkinnedBars, StatusBarToolbarDockPanelAndProgressBarUseTheTable) {
  QStatusBar status;
  status.resize(200, 22);
  QImage image = RenderWidget(status);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 200, 1), Rgb(I::kButtonHighlight)), 200);
  EXPECT_EQ(image.pixel(100, 10), Rgb(I::kButtonFace));

  QToolBar toolbar;
  toolbar.addAction(QStringLiteral("A"));
  QAction* separator = toolbar.addSeparator();
  toolbar.addAction(QStringLiteral("B"));
  toolbar.resize(200, 30);
  image = RenderWidget(toolbar);
  const QRect slot = toolbar.actionGeometry(separator);
  const int groove = slot.x() + slot.width() / 2 - 1;
  EXPECT_EQ(image.pixel(groove, slot.center().y()), Rgb(I::kButtonShadow));
  EXPECT_EQ(image.pixel(groove + 1, slot.center().y()), Rgb(I::kButtonHighlight));
  EXPECT_EQ(image.pixel(190, 15), Rgb(I::kButtonFace));

  QWidget dock;
  dock.setObjectName(kDockPanelObjectName);
  dock.resize(50, 40);
  image = RenderWidget(dock);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 1, 40), Rgb(I::kButtonHighlight)), 40);
  EXPECT_EQ(CountPixels(image, QRect(1, 0, 49, 40), Rgb(I::kButtonFace)), 49 * 40);
  dock.setProperty(kDockPanelLineOnRightProperty, true);
  image = RenderWidget(dock);
  EXPECT_EQ(CountPixels(image, QRect(49, 0, 1, 40), Rgb(I::kButtonHighlight)), 40);

  QProgressBar progress;
  progress.setTextVisible(false);
  progress.setRange(0, 100);
  progress.setValue(50);
  progress.resize(206, 20);  // 200 pixels inside the frame and its gap
  image = RenderWidget(progress);
  EXPECT_EQ(CountPixels(image, QRect(3, 10, 100, 1), kFill), 100);
  EXPECT_EQ(CountPixels(image, QRect(103, 10, 100, 1), Rgb(I::kWindow)), 100);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kButtonShadow));
}

// The bounding box of the pixels of colour `rgb`.
QRect BoundsOf(const QImage& image, QRgb rgb) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF)) bounds |= QRect(x, y, 1, 1);
    }
  }
  return bounds;
}

TEST(SkinnedToolbar, ButtonsRaiseWhenHotSinkWhenCheckedAndShiftTheirIcon) {
  QImage panel(20, 20, QImage::Format_RGB32);
  QStyleOption option;
  option.rect = panel.rect();
  option.state = QStyle::State_Enabled | QStyle::State_AutoRaise | QStyle::State_MouseOver;
  {
    QPainter painter(&panel);
    QApplication::style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter);
  }
  EXPECT_EQ(panel.pixel(0, 0), Rgb(I::kButtonHighlight));
  EXPECT_EQ(panel.pixel(19, 19), Rgb(I::kButtonShadow));

  QPixmap square(16, 16);
  square.fill(QColor(255, 0, 0));
  QToolBar toolbar;
  QAction* action = toolbar.addAction(QIcon(square), QStringLiteral("Red"));
  action->setCheckable(true);
  toolbar.resize(60, 30);
  const QRect rest = BoundsOf(RenderWidget(toolbar), qRgb(255, 0, 0));
  action->setChecked(true);
  const QImage image = RenderWidget(toolbar);
  EXPECT_EQ(BoundsOf(image, qRgb(255, 0, 0)), rest.translated(1, 1));
  const QRect button = toolbar.actionGeometry(action);
  EXPECT_EQ(image.pixel(button.topLeft()), Rgb(I::kButtonShadow));
  EXPECT_EQ(image.pixel(button.bottomRight()), Rgb(I::kButtonHighlight));
}

// Buttons under one parent, counting their clicks.
struct ButtonRow {
  QWidget parent;
  QPushButton* ok = new QPushButton(QStringLiteral("&OK"), &parent);
  QPushButton* cancel = new QPushButton(QStringLiteral("&Cancel"), &parent);
  QPushButton* apply = new QPushButton(QStringLiteral("&Apply"), &parent);
  int okClicks = 0, cancelClicks = 0, applyClicks = 0;

  ButtonRow() {
    auto* layout = new QVBoxLayout(&parent);
    for (QPushButton* b : {ok, cancel, apply})
      layout->addWidget(b);
    QObject::connect(ok, &QPushButton::clicked, [this] { ++okClicks; });
    QObject::connect(cancel, &QPushButton::clicked, [this] { ++cancelClicks; });
    QObject::connect(apply, &QPushButton::clicked, [this] { ++applyClicks; });
    parent.show();
  }
};

TEST(SkinnedPushButton, KeyboardClicksFocusedButtonsAndMnemonicSiblings) {
  ButtonRow row;
  QTest::keyClick(row.ok, Qt::Key_Return);
  EXPECT_EQ(row.okClicks, 1);
  QTest::keyClick(row.ok, Qt::Key_C);  // no Alt needed on a button
  EXPECT_EQ(row.cancelClicks, 1);
  QTest::keyClick(row.ok, Qt::Key_X);  // no such mnemonic
  EXPECT_EQ(row.okClicks + row.cancelClicks + row.applyClicks, 2);
}

TEST(SkinnedPushButton, MnemonicNeverClicksADisabledButton) {
  ButtonRow row;
  row.apply->setEnabled(false);
  QTest::keyClick(row.ok, Qt::Key_A);
  EXPECT_EQ(row.applyClicks, 0);
  row.ok->setEnabled(false);
  QTest::keyClick(row.ok, Qt::Key_Return);
  EXPECT_EQ(row.okClicks, 0);
}

}  // namespace
