// The main window's side of the view: rendering, fit and zoom, the mouse.
#include "app/CommandTable.h"
#include "app/ImageView.h"
#include "app/MainWindow.h"
#include "app/RenderView.h"
#include "app/ToolPanel.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"

const SBxPicBuf* MainWindow::ShownPicture() const {
  return state_.showSources ? &state_.document.source : &state_.document.result;
}

int MainWindow::ShownSlot() const {
  return state_.showSources ? kSlotSource : kSlotResult;
}

void MainWindow::RenderAndRepaint(int mode, const SBxPicBuf* picture, int slot) {
  RenderView(&view_, mode, picture, slot, 1, &state_.document.mask);
  imageView_->update();
}

void MainWindow::RenderShown(int mode) {
  if (ShownPicture()->pixels == nullptr) {
    RenderAndRepaint(kRenderRefresh, nullptr, kSlotClear);
    return;
  }
  RenderAndRepaint(mode, ShownPicture(), ShownSlot());
}

void MainWindow::RefreshBothCaches() {
  const int hidden = state_.showSources ? kSlotResult : kSlotSource;
  const SBxPicBuf* hiddenPicture =
      state_.showSources ? &state_.document.result : &state_.document.source;
  RenderView(&view_, kRenderRefresh, hiddenPicture, hidden, 0, &state_.document.mask);
  RenderAndRepaint(kRenderRefresh, ShownPicture(), ShownSlot());
}

void MainWindow::ShowZoom() {
  zoomBox_->setEditText(QString::fromStdString(ZoomText(view_.zoom)));
  FocusView();
}

void MainWindow::FocusView() {
  imageView_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::FitToView() {
  const SBxPicBuf& source = state_.document.source;
  dragging_ = false;
  FitView(&view_, source.width, source.height, imageView_->width(), imageView_->height());
  ShowZoom();
  RenderShown(kRenderCached);
}

void MainWindow::ZoomTo100() {
  const SBxPicBuf& source = state_.document.source;
  dragging_ = false;
  CentreAtFullSize(&view_, source.width, source.height, imageView_->width(), imageView_->height());
  ShowZoom();
  RenderShown(kRenderCached);
}

void MainWindow::ZoomBy(double factor) {
  if (state_.document.source.pixels == nullptr) return;
  view_.zoom *= factor;
  ShowZoom();
  RenderShown(kRenderCached);
}

void MainWindow::OnPresetChosen(int index) {
  if (state_.busy || index < 0 || index >= kZoomPresetCount) return;
  view_.zoom = kZoomPresets[index];
  ShowZoom();
  if (state_.document.source.pixels != nullptr) RenderShown(kRenderCached);
}

void MainWindow::OnTypedZoom() {
  if (state_.busy) return;
  double percent = 0.0;
  if (!ParseTypedZoom(zoomBox_->currentText().toStdString(), &percent)) {
    ShowZoom();  // the zoom and its text stay as they were
    return;
  }
  view_.zoom = percent / 100.0;
  ShowZoom();
  lastMouse_ = QPoint();
  if (state_.document.source.pixels != nullptr) RenderShown(kRenderCached);
}

void MainWindow::OnViewResized() {
  // The surface was remade at the new size. Drawing from the caches is safe even while a
  // job writes the result, which the caches do not share.
  RenderAndRepaint(kRenderCached, nullptr, ShownSlot());
}

void MainWindow::OnLeftPressed(QPoint position) {
  if (state_.busy) return;
  lastMouse_ = position;
  if (activePanel_ != nullptr && activePanel_->ViewMousePress(position)) return;
  dragging_ = true;
}

void MainWindow::OnMouseMoved(QPoint position, bool leftButtonDown) {
  if (state_.busy) return;
  if (activePanel_ != nullptr && activePanel_->ViewMouseMove(position, leftButtonDown)) return;
  if (!leftButtonDown || !dragging_) return;
  PanView(&view_, lastMouse_.x(), lastMouse_.y(), position.x(), position.y());
  RenderShown(kRenderCached);
  lastMouse_ = position;
}

void MainWindow::OnLeftReleased(QPoint position) {
  if (activePanel_ != nullptr) activePanel_->ViewMouseRelease(position);
  dragging_ = false;
}

void MainWindow::OnRightPressed() {
  if (state_.busy || state_.showSources) return;
  if (state_.document.source.pixels == nullptr) {
    imageView_->update();
    return;
  }
  RenderAndRepaint(kRenderCached, nullptr, kSlotSource);
}

void MainWindow::OnRightReleased() {
  if (state_.busy || state_.showSources) return;
  if (state_.document.result.pixels == nullptr) {
    imageView_->update();
    return;
  }
  RenderAndRepaint(kRenderCached, nullptr, kSlotResult);
}

void MainWindow::OnDoubleClicked() {
  if (state_.busy || state_.document.source.pixels == nullptr) return;
  RenderView(&view_, kRenderRefresh, &state_.document.source, kSlotSource, 0,
             &state_.document.mask);
  RenderView(&view_, kRenderRefresh, &state_.document.result, kSlotResult, 0,
             &state_.document.mask);
  FitToView();
}

void MainWindow::OnWheel(QPoint position, int delta) {
  const SBxPicBuf& result = state_.document.result;
  if (state_.busy || result.pixels == nullptr || dragging_) return;
  WheelZoom(&view_, position.x(), position.y(), delta, result.width, result.height);
  ShowZoom();
  RenderShown(kRenderCached);
}
