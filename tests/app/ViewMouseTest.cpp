// The view in the window: zoom commands, the zoom box, the wheel, dragging, the right
// button, and a panel taking the mouse.
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

#include "app/DockPanel.h"
#include "app/ImageView.h"
#include "app/ToolPanel.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "picture/CBxPicBufAPI.h"
#include "tests/app/AppTestSupport.h"

namespace {

class ViewInWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
    view_ = window_->ViewWidget();
  }
  void TypeZoom(const QString& text) {
    QLineEdit* edit = window_->ZoomBoxWidget()->lineEdit();
    edit->setFocus();
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  void Wheel(QPoint at, int delta) {
    QWheelEvent event(at, view_->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view_, &event);
  }
  QString ZoomBoxText() const { return window_->ZoomBoxWidget()->currentText(); }

  ImageView* view_ = nullptr;
};

TEST_F(ViewInWindowTest, ZoomStepsHaveNoLimitAndFitAnd100Reset) {
  const double fit = window_->View().zoom;
  window_->ExecuteCommand(kCmdZoomIn);
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit * 1.2);
  for (int i = 0; i < 20; ++i)
    window_->ExecuteCommand(kCmdZoomIn);
  EXPECT_GT(window_->View().zoom, 8.0);  // buttons go past the wheel's limit
  window_->ExecuteCommand(kCmdZoom100);
  EXPECT_DOUBLE_EQ(window_->View().zoom, 1.0);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("100.0 %"));
  window_->ExecuteCommand(kCmdZoomOut);
  EXPECT_DOUBLE_EQ(window_->View().zoom, 0.8333333333333334);
  window_->ExecuteCommand(kCmdZoomFit);
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit);
  EXPECT_DOUBLE_EQ(window_->View().srcCx, 600.0);
}

TEST_F(ViewInWindowTest, KeysZoomWhenTheViewHasTheFocus) {
  const double fit = window_->View().zoom;
  view_->setFocus();
  QTest::keyClick(view_, '+');
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit * 1.2);
  QTest::keyClick(view_, '-');
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit * 1.2 * 0.8333333333333334);
}

TEST_F(ViewInWindowTest, TypedZoomIsParsedOnEnter) {
  TypeZoom(QStringLiteral("12,5"));
  EXPECT_DOUBLE_EQ(window_->View().zoom, 0.125);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("12.5 %"));
  TypeZoom(QStringLiteral("1x0"));
  EXPECT_DOUBLE_EQ(window_->View().zoom, 0.125);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("12.5 %"));              // the text is put back too
  EXPECT_EQ(window_->ZoomBoxWidget()->count(), kZoomPresetCount);  // nothing was added
}

TEST_F(ViewInWindowTest, ChoosingAnEntrySetsItsZoom) {
  emit window_->ZoomBoxWidget()->activated(6);
  EXPECT_DOUBLE_EQ(window_->View().zoom, 4.0);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("400.0 %"));
}

TEST_F(ViewInWindowTest, WheelZoomStopsAtItsLimits) {
  const QPoint centre(view_->width() / 2, view_->height() / 2);
  for (int i = 0; i < 40; ++i)
    Wheel(centre, 120);
  EXPECT_DOUBLE_EQ(window_->View().zoom, 8.0);
  EXPECT_EQ(ZoomBoxText(), QStringLiteral("800.0 %"));
  for (int i = 0; i < 60; ++i)
    Wheel(centre, -120);
  EXPECT_DOUBLE_EQ(window_->View().zoom, 100.0 / 1200.0);
}

TEST_F(ViewInWindowTest, SmallWheelTurnsAddUpToOneStep) {
  const double zoom = window_->View().zoom;
  const QPoint centre(view_->width() / 2, view_->height() / 2);
  for (int i = 0; i < 3; ++i)
    Wheel(centre, 40);  // a touchpad's fine turns
  EXPECT_DOUBLE_EQ(window_->View().zoom, zoom * 1.2);
}

TEST_F(ViewInWindowTest, WheelOverTheZoomBoxIsSwallowed) {
  const double zoom = window_->View().zoom;
  ZoomBox* box = window_->ZoomBoxWidget();
  QWheelEvent event(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(box, &event);
  EXPECT_EQ(box->currentText().toStdString(), ZoomText(zoom));
  EXPECT_DOUBLE_EQ(window_->View().zoom, zoom);
}

TEST_F(ViewInWindowTest, DraggingPansThePicture) {
  window_->ExecuteCommand(kCmdZoom100);
  const double srcCx = window_->View().srcCx;
  const double srcCy = window_->View().srcCy;
  QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
  QMouseEvent move(QEvent::MouseMove, QPointF(340, 280), view_->mapToGlobal(QPointF(340, 280)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view_, &move);
  QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, QPoint(340, 280));
  EXPECT_DOUBLE_EQ(window_->View().srcCx, srcCx - 40.0);
  EXPECT_DOUBLE_EQ(window_->View().srcCy, srcCy + 20.0);
}

TEST_F(ViewInWindowTest, RightButtonComparesWithTheSource) {
  // A result that differs from the source: all white.
  AppState& state = window_->State();
  CBxPicBufAPI::SetConst(&state.document.result, 255);
  state.showSources = 0;
  window_->SendMessage(kMsgRedraw);
  const QPoint centre(view_->width() / 2, view_->height() / 2);
  ASSERT_EQ(SurfacePixel(centre.x(), centre.y())[0], 255);
  QTest::mousePress(view_, Qt::RightButton, Qt::NoModifier, centre);
  EXPECT_NE(SurfacePixel(centre.x(), centre.y())[0], 255);  // the photograph
  QTest::mouseRelease(view_, Qt::RightButton, Qt::NoModifier, centre);
  EXPECT_EQ(SurfacePixel(centre.x(), centre.y())[0], 255);

  state.showSources = 1;  // browsing the sources: the button does nothing
  window_->SendMessage(kMsgRedraw);
  const auto shown = SurfacePixel(centre.x(), centre.y());
  QTest::mousePress(view_, Qt::RightButton, Qt::NoModifier, centre);
  EXPECT_EQ(SurfacePixel(centre.x(), centre.y()), shown);
  QTest::mouseRelease(view_, Qt::RightButton, Qt::NoModifier, centre);
}

TEST_F(ViewInWindowTest, ResizingRedrawsAtTheNewSize) {
  window_->resize(700, 500);
  ASSERT_TRUE(WaitFor([this] { return view_->SurfaceImage().width() == view_->width(); }));
  const QSize area = view_->size();
  EXPECT_EQ(view_->SurfaceImage().size(), area);
  window_->ExecuteCommand(kCmdZoomFit);
  const auto centre = SurfacePixel(area.width() / 2, area.height() / 2);
  EXPECT_NE(centre[0], kViewBackgroundDark);
  EXPECT_EQ(window_->Dock()->geometry().right(), window_->centralWidget()->width() - 1);
}

// A panel that takes presses inside its rectangle and moves it, as a preview does.
class RectanglePanel : public ToolPanel {
 public:
  explicit RectanglePanel(PanelHost* host) : host_(host) { resize(200, 120); }
  bool ViewMousePress(QPoint position) override {
    double x = 0, y = 0;
    ViewMap(host_->View()).MapPointDstToSrc(&x, &y, position.x(), position.y());
    moving_ = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
    return moving_;
  }
  bool ViewMouseMove(QPoint, bool leftButtonDown) override {
    if (moving_ && leftButtonDown) ++moves;
    return moving_;
  }
  void ViewMouseRelease(QPoint) override { moving_ = false; }

  CBxRect rect{500, 300, 700, 500};
  int moves = 0;

 private:
  PanelHost* host_;
  bool moving_ = false;
};

TEST_F(ViewInWindowTest, AnOpenPanelTakesPressesOnItsRectangle) {
  window_->ExecuteCommand(kCmdZoom100);
  auto* panel = new RectanglePanel(window_.get());
  window_->OpenPanel(panel);
  window_->View().previewRect = &panel->rect;
  window_->SendMessage(kMsgRedraw);
  EXPECT_EQ(panel->parentWidget(), reinterpret_cast<QWidget*>(window_->Dock()));
  EXPECT_EQ(panel->geometry().topLeft(), QPoint(1, 0));

  int left = 0, top = 0;
  ViewMap(window_->View()).MapPointSrcToDst(&left, &top, 600, 400);  // inside the rectangle
  const double srcCx = window_->View().srcCx;
  QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, QPoint(left, top));
  QMouseEvent move(QEvent::MouseMove, QPointF(left + 30, top), QPointF(), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view_, &move);
  QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, QPoint(left + 30, top));
  EXPECT_EQ(panel->moves, 1);
  EXPECT_DOUBLE_EQ(window_->View().srcCx, srcCx);  // the view did not pan

  window_->ClosePanel(panel);
  EXPECT_EQ(window_->View().previewRect, nullptr);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
}

}  // namespace
