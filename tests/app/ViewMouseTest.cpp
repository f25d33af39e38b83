// The view in the window: zoom commands, the zoom box, the wheel, dragging, the right
// button, and a panel taking the mouse.
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include "app/DockPanel.h"
#include "app/ToolPanel.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "tests/app/AppTestSupport.h"

namespace {

class ViewInWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(OpenFile(kSunset));
    view_ = window_->ViewWidget();
    centre_ = QPoint(view_->width() / 2, view_->height() / 2);
  }
  void Wheel(QWidget* widget, int delta) {
    QWheelEvent event(centre_, widget->mapToGlobal(centre_), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
  }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, to, view_->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view_, &move);
    QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, to);
  }
  double Zoom() const { return window_->View().zoom; }
  QString ZoomBoxText() const { return window_->ZoomBoxWidget()->currentText(); }

  ImageView* view_ = nullptr;
  QPoint centre_;
};

TEST_F(ViewInWindowTest, ZoomStepsHaveNoLimitAndFitAnd100Reset) {
  const double fit = Zoom();
  window_->ExecuteCommand(CommandId::kZoomIn);
  EXPECT_DOUBLE_EQ(Zoom(), fit * 1.2);
  for (int i = 0; i < 20; ++i)
    window_->ExecuteCommand(CommandId::kZoomIn);
  EXPECT_GT(Zoom(), 8.0);  // buttons go past the wheel's limit
  window_->ExecuteCommand(CommandId::kZoom100);
  EXPECT_DOUBLE_EQ(Zoom(), 1.0);
  window_->ExecuteCommand(CommandId::kZoomOut);
  EXPECT_DOUBLE_EQ(Zoom(), 0.8333333333333334);
  window_->ExecuteCommand(CommandId::kZoomFit);
  EXPECT_DOUBLE_EQ(Zoom(), fit);
  EXPECT_DOUBLE_EQ(window_->View().srcCx, 600.0);
  view_->setFocus();  // keys, when the view has the focus
  QTest::keyClick(view_, '+');
  EXPECT_DOUBLE_EQ(Zoom(), fit * 1.2);
  QTest::keyClick(view_, '-');
  EXPECT_DOUBLE_EQ(Zoom(), fit * 1.2 * 0.8333333333333334);
}

// Typed as a person does: a click into the box, the text, and Enter on the focused widget.
TEST_F(ViewInWindowTest, TheZoomBoxTakesAnEntryOrATypedZoomOnEnter) {
  emit window_->ZoomBoxWidget()->activated(6);
  EXPECT_DOUBLE_EQ(Zoom(), 4.0);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("400.0 %"));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  const struct {
    const char* typed;
    double zoom;
    const char* shown;
  } cases[] = {
      {"12,5", 0.125, "12.5 %"},
      {"7", 0.1, "10.0 %"},
      {"2000", 8.0, "800.0 %"},
      {"1x0", 8.0, "800.0 %"},  // refused: the zoom and its text are put back
  };
  for (const auto& c : cases) {
    QTest::mouseClick(window_->ZoomBoxWidget()->lineEdit(), Qt::LeftButton);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focused, QString::fromLatin1(c.typed));
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(Zoom(), c.zoom) << c.typed;
    EXPECT_EQ(ZoomBoxText(), QString::fromLatin1(c.shown)) << c.typed;
  }
  EXPECT_EQ(window_->ZoomBoxWidget()->count(), kZoomPresetCount);  // nothing was added
}

TEST_F(ViewInWindowTest, TheZoomBoxSitsFivePixelsInsideItsPlaceOf95Pixels) {
  const ZoomBox* box = window_->ZoomBoxWidget();
  EXPECT_EQ(box->parentWidget()->width(), 95);
  EXPECT_EQ(box->width(), 85);
  EXPECT_EQ(box->geometry().left(), 5);
  // The widest entry is readable in it.
  EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(QStringLiteral("800.0 %")),
            box->lineEdit()->width());
}

TEST_F(ViewInWindowTest, WheelZoomStopsAtItsLimits) {
  for (int i = 0; i < 40; ++i)
    Wheel(view_, 120);
  EXPECT_DOUBLE_EQ(Zoom(), 8.0);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("800.0 %"));
  for (int i = 0; i < 60; ++i)
    Wheel(view_, -120);
  EXPECT_DOUBLE_EQ(Zoom(), 100.0 / 1200.0);
  const QString text = ZoomBoxText();
  // A turn over the zoom box (over its field, as the pointer is) is swallowed.
  QWidget* box = window_->ZoomBoxWidget();
  QWidget* underPointer = box->childAt(box->rect().center());
  Wheel(underPointer != nullptr ? underPointer : box, 120);
  EXPECT_DOUBLE_EQ(Zoom(), 100.0 / 1200.0);
  EXPECT_EQ(ZoomBoxText(), text);
}

TEST_F(ViewInWindowTest, SmallWheelTurnsAddUpToOneStep) {
  const double zoom = Zoom();
  for (int i = 0; i < 3; ++i)
    Wheel(view_, 40);  // a touchpad's fine turns
  EXPECT_DOUBLE_EQ(Zoom(), zoom * 1.2);
}

TEST_F(ViewInWindowTest, RightButtonComparesWithTheSource) {
  AppState& state = window_->State();
  CBxPicBufAPI::SetConst(&state.document.result, 255);  // a result unlike the source
  state.showSources = 0;
  window_->SendMessage(AppMessage::kRedraw);
  ASSERT_EQ(CentrePixel()[0], 255);
  QTest::mousePress(view_, Qt::RightButton, Qt::NoModifier, centre_);
  EXPECT_NE(CentrePixel()[0], 255);  // the photograph
  QTest::mouseRelease(view_, Qt::RightButton, Qt::NoModifier, centre_);
  EXPECT_EQ(CentrePixel()[0], 255);

  state.showSources = 1;  // browsing the sources: the button does nothing
  window_->SendMessage(AppMessage::kRedraw);
  const Pixel shown = CentrePixel();
  QTest::mousePress(view_, Qt::RightButton, Qt::NoModifier, centre_);
  EXPECT_EQ(CentrePixel(), shown);
  QTest::mouseRelease(view_, Qt::RightButton, Qt::NoModifier, centre_);
}

TEST_F(ViewInWindowTest, ResizingRedrawsAtTheNewSize) {
  window_->resize(700, 500);
  ASSERT_TRUE(QTest::qWaitFor([this] { return view_->SurfaceImage().width() == view_->width(); }));
  EXPECT_EQ(view_->SurfaceImage().size(), view_->size());
  window_->ExecuteCommand(CommandId::kZoomFit);
  EXPECT_NE(CentrePixel(), kBackgroundPixel);
  EXPECT_EQ(window_->Dock()->geometry().right(), window_->centralWidget()->width() - 1);
}

// A panel that takes every press in the view, as a preview does on its rectangle.
class TakingPanel : public ToolPanel {
 public:
  TakingPanel() { resize(200, 120); }
  bool ViewMousePress(QPoint) override { return true; }
  bool ViewMouseMove(QPoint, bool leftButtonDown) override {
    moves += leftButtonDown;
    return true;
  }
  int moves = 0;
};

// A panel with a control that can take the keyboard.
class FocusPanel : public ToolPanel {
 public:
  FocusPanel() {
    slider = new QSlider(Qt::Horizontal, this);
    resize(200, 60);
  }
  QSlider* slider;
};

TEST_F(ViewInWindowTest, ALeftPressInTheViewGivesTheOpenPanelTheKeyboard) {
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTest::mouseClick(view_, Qt::LeftButton, Qt::NoModifier, centre_);
  EXPECT_EQ(QApplication::focusWidget(), view_);  // no panel: the view keeps it
  auto* panel = new FocusPanel();
  window_->OpenPanel(panel);
  QTest::mouseClick(view_, Qt::LeftButton, Qt::NoModifier, centre_);
  EXPECT_EQ(QApplication::focusWidget(), panel->slider);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);  // the keys go to the panel
  EXPECT_EQ(panel->slider->value(), 1);
  window_->ClosePanel(panel);
}

TEST_F(ViewInWindowTest, DraggingPansThePictureUnlessAnOpenPanelTakesThePress) {
  window_->ExecuteCommand(CommandId::kZoom100);
  const double srcCx = window_->View().srcCx, srcCy = window_->View().srcCy;
  Drag(QPoint(300, 300), QPoint(340, 280));
  EXPECT_DOUBLE_EQ(window_->View().srcCx, srcCx - 40.0);
  EXPECT_DOUBLE_EQ(window_->View().srcCy, srcCy + 20.0);

  auto* panel = new TakingPanel();
  window_->OpenPanel(panel);
  const CBxRect rect{500, 300, 700, 500};
  window_->View().previewRect = &rect;
  EXPECT_EQ(panel->parentWidget(), reinterpret_cast<QWidget*>(window_->Dock()));
  Drag(QPoint(300, 300), QPoint(340, 280));
  EXPECT_EQ(panel->moves, 1);
  EXPECT_DOUBLE_EQ(window_->View().srcCx, srcCx - 40.0);  // the view did not pan
  window_->ClosePanel(panel);
  EXPECT_EQ(window_->View().previewRect, nullptr);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
}

}  // namespace
