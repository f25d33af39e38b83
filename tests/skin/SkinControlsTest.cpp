#include <gtest/gtest.h>

#include <array>
#include <set>

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

// A slider's thumb and channel interior (inside the sunken two-pixel box,
// itself inset two pixels from the ends of the thumb's travel).
struct SliderParts {
  QRect thumb, inside;
};

SliderParts LayOut(QSlider& slider) {
  QStyleOptionSlider o;
  o.initFrom(&slider);
  o.orientation = slider.orientation();
  o.minimum = slider.minimum();
  o.maximum = slider.maximum();
  o.sliderPosition = slider.sliderPosition();
  o.upsideDown = (o.orientation == Qt::Horizontal) == slider.invertedAppearance();
  const QStyle* style = slider.style();
  const QRect groove = style->subControlRect(QStyle::CC_Slider, &o, QStyle::SC_SliderGroove);
  const bool h = o.orientation == Qt::Horizontal;
  return {style->subControlRect(QStyle::CC_Slider, &o, QStyle::SC_SliderHandle),
          h ? groove.adjusted(4, 2, -4, -2) : groove.adjusted(2, 4, -2, -4)};
}

TEST(SkinnedSlider, FillsTheChannelFromTheMinimumToTheThumb) {
  const struct {
    Qt::Orientation orientation;
    bool inverted, enabled;
    int value;
  } cases[] = {{Qt::Horizontal, false, true, 50},
               {Qt::Horizontal, true, true, 30},
               {Qt::Vertical, false, true, 50},
               {Qt::Horizontal, false, false, 70},
               {Qt::Horizontal, false, true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.orientation << c.inverted << c.enabled << c.value);
    const bool h = c.orientation == Qt::Horizontal;
    QSlider slider(c.orientation);
    slider.resize(h ? QSize(200, 24) : QSize(24, 200));
    slider.setInvertedAppearance(c.inverted);
    slider.setValue(c.value);
    slider.setEnabled(c.enabled);
    const QImage image = RenderWidget(slider);
    const auto [thumb, in] = LayOut(slider);
    const QRect before = h ? QRect(in.topLeft(), QPoint(thumb.left() - 1, in.bottom()))
                           : QRect(in.topLeft(), QPoint(in.right(), thumb.top() - 1));
    const QRect after = h ? QRect(QPoint(thumb.right() + 1, in.top()), in.bottomRight())
                          : QRect(QPoint(in.left(), thumb.bottom() + 1), in.bottomRight());
    // The minimum is at the left, or at the bottom of a vertical slider.
    const QRect minSide = h != c.inverted ? before : after;
    const int area = c.value > 0 ? minSide.width() * minSide.height() : 0;
    // The accent fills exactly the minimum's side; a disabled slider shows the dark shadow.
    EXPECT_EQ(CountPixels(image, image.rect(), kSkinSliderFill), c.enabled ? area : 0);
    EXPECT_EQ(CountPixels(image, minSide, Rgb(I::kDarkShadow3D)), c.enabled ? 0 : area);
    // A raised thumb in the button face over a sunken channel.
    EXPECT_EQ(image.pixel(thumb.topLeft()), Rgb(I::kLight3D));
    EXPECT_EQ(image.pixel(thumb.bottomRight()), Rgb(I::kDarkShadow3D));
    EXPECT_EQ(image.pixel(thumb.center()), Rgb(I::kButtonFace));
    EXPECT_EQ(image.pixel(in.bottomRight() + QPoint(2, 2)), Rgb(I::kButtonHighlight));
  }
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

TEST(SkinnedCheckBox, PaintsSixDistinctStateImagesAndGreysDisabledText) {
  std::set<QByteArray> distinct;
  for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
    for (bool enabled : {true, false}) {
      SCOPED_TRACE(testing::Message() << "state " << state << " enabled " << enabled);
      const QImage mark = SkinCheckBoxImage(state, enabled);
      ASSERT_EQ(mark.size(), QSize(13, 13));
      EXPECT_TRUE(mark.hasAlphaChannel());
      distinct.insert(QByteArray(reinterpret_cast<const char*>(mark.constBits()),
                                 static_cast<int>(mark.sizeInBytes())));

      QCheckBox box(QStringLiteral("Extra Colors"));
      box.setTristate(true);
      box.setCheckState(state);
      box.setEnabled(enabled);
      box.resize(box.sizeHint());
      const QImage image = RenderWidget(box);
      QImage expected(13, 13, QImage::Format_RGB32);
      expected.fill(SkinColour(I::kButtonFace));
      QPainter(&expected).drawImage(0, 0, mark);
      EXPECT_EQ(image.copy(0, (image.height() - 13) / 2, 13, 13), expected);
      // Anti-aliased text never gets brighter than its colour.
      const QRect text(13, 0, image.width() - 13, image.height());
      EXPECT_GT(CountPixels(image, text, Rgb(enabled ? I::kButtonText : I::kGreyText)), 0);
      EXPECT_EQ(CountPixels(image, text, Rgb(I::kButtonText)) > 0, enabled);
    }
  }
  EXPECT_EQ(distinct.size(), 6U);
}

TEST(SkinnedPushButton, FramesByStateAndGreysDisabledText) {
  QPushButton button(QStringLiteral("Cancel"));
  button.resize(90, 26);
  const QPoint br(89, 25);
  QImage image = RenderWidget(button);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kLight3D));  // raised
  EXPECT_EQ(image.pixel(1, 1), Rgb(I::kButtonHighlight));
  EXPECT_EQ(image.pixel(br), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(image.pixel(3, 3), Rgb(I::kButtonFace));
  EXPECT_GT(CountPixels(image, image.rect(), Rgb(I::kButtonText)), 0);

  button.setDown(true);
  image = RenderWidget(button);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kButtonShadow));  // sunken
  EXPECT_EQ(image.pixel(1, 1), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(image.pixel(br), Rgb(I::kButtonHighlight));
  button.setDown(false);

  button.setCheckable(true);
  button.setChecked(true);
  image = RenderWidget(button);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kLight3D));
  EXPECT_EQ(image.pixel(1, 1), Rgb(I::kButtonFace));  // a one-pixel frame only

  button.setChecked(false);
  button.setEnabled(false);
  image = RenderWidget(button);
  EXPECT_GT(CountPixels(image, image.rect(), Rgb(I::kGreyText)), 0);
  EXPECT_EQ(CountPixels(image, image.rect(), Rgb(I::kButtonText)), 0);
}

// A plain letter clicks the enabled sibling that marks it with '&', Return the
// focused button. A disabled button is never clicked and never swallows its
// letter from an enabled sibling that shares it.
TEST(SkinnedPushButton, MnemonicNeverClicksADisabledButton) {
  QWidget parent;
  auto* layout = new QVBoxLayout(&parent);
  const char* texts[] = {"&OK", "&Cancel", "&Apply", "&All"};
  QPushButton* buttons[4];
  std::array<int, 4> clicks{};
  for (int i = 0; i < 4; ++i) {
    layout->addWidget(buttons[i] = new QPushButton(QString::fromLatin1(texts[i]), &parent));
    QObject::connect(buttons[i], &QPushButton::clicked, [&clicks, i] { ++clicks[i]; });
  }
  QPushButton* ok = buttons[0];
  parent.show();
  QTest::keyClick(ok, Qt::Key_Return);
  QTest::keyClick(ok, Qt::Key_C);
  QTest::keyClick(ok, Qt::Key_X);  // no such mnemonic
  EXPECT_EQ(clicks, (std::array<int, 4>{1, 1, 0, 0}));

  buttons[2]->setEnabled(false);
  QTest::keyClick(ok, Qt::Key_A);
  ok->setEnabled(false);
  QTest::keyClick(ok, Qt::Key_Return);
  EXPECT_EQ(clicks, (std::array<int, 4>{1, 1, 0, 1}));
}

TEST(SkinnedComboBox, DrawsARaisedButtonWithAnArrowInASunkenBox) {
  QComboBox combo;
  combo.addItem(QStringLiteral("100.0 %"));
  combo.resize(120, 24);
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  const QRect button =
      combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow);
  QImage image = RenderWidget(combo);
  EXPECT_EQ(image.pixel(0, 0), Rgb(I::kButtonShadow));
  EXPECT_EQ(image.pixel(button.topLeft()), Rgb(I::kLight3D));
  EXPECT_EQ(image.pixel(button.bottomRight()), Rgb(I::kDarkShadow3D));
  EXPECT_EQ(image.pixel(4, 12), Rgb(I::kWindow));
  // An 8-pixel arrow whose top line is full width, grey when disabled.
  EXPECT_EQ(CountPixels(image, button, Rgb(I::kButtonText)), 8 + 6 + 4 + 2);
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
  const QPoint groove(slot.x() + slot.width() / 2 - 1, slot.center().y());
  EXPECT_EQ(image.pixel(groove), Rgb(I::kButtonShadow));
  EXPECT_EQ(image.pixel(groove + QPoint(1, 0)), Rgb(I::kButtonHighlight));

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
  progress.setValue(50);
  progress.resize(206, 20);  // 200 pixels inside the frame and its gap
  image = RenderWidget(progress);
  EXPECT_EQ(CountPixels(image, QRect(3, 10, 100, 1), kSkinSliderFill), 100);
  EXPECT_EQ(CountPixels(image, QRect(103, 10, 100, 1), Rgb(I::kWindow)), 100);
}

// The bounding box of the pixels of colour `rgb`.
QRect BoundsOf(const QImage& image, QRgb rgb) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == rgb) bounds |= QRect(x, y, 1, 1);
    }
  }
  return bounds;
}

TEST(SkinnedToolbar, ButtonsRaiseWhenHotSinkWhenCheckedAndShiftTheirIcon) {
  QImage panel(20, 20, QImage::Format_RGB32);
  QStyleOption option;
  option.rect = panel.rect();
  option.state = QStyle::State_Enabled | QStyle::State_AutoRaise | QStyle::State_MouseOver;
  QPainter painter(&panel);
  QApplication::style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter);
  painter.end();
  EXPECT_EQ(panel.pixel(0, 0), Rgb(I::kButtonHighlight));
  EXPECT_EQ(panel.pixel(19, 19), Rgb(I::kButtonShadow));

  QPixmap red(16, 16);
  red.fill(Qt::red);
  QToolBar toolbar;
  QAction* action = toolbar.addAction(QIcon(red), QStringLiteral("Red"));
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

}  // namespace
