#include "app/ImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "app/RenderView.h"
#include "app/ToolPanel.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "app/state/AppState.h"

ImageView::ImageView(AppState* state, ViewContext* view, QWidget* parent)
    : QWidget(parent), state_(state), view_(view) {
  setMouseTracking(true);  // an open panel follows the mouse without a button held
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(1, 1);
  ResizeSurface(QSize(1, 1));
}

ImageView::~ImageView() {
  if (view_->surface == &surface_) view_->surface = nullptr;
}

void ImageView::SetPanelSource(std::function<ToolPanel*()> activePanel) {
  activePanel_ = std::move(activePanel);
}

void ImageView::AttachZoomBox(ZoomBox* zoomBox) {
  zoomBox_ = zoomBox;
  connect(zoomBox_, &ZoomBox::PresetChosen, this, &ImageView::TakePreset);
  connect(zoomBox_, &ZoomBox::FocusBack, this, [this] { setFocus(Qt::OtherFocusReason); });
}

void ImageView::ResizeSurface(QSize size) {
  image_ = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_BGR888);
  image_.fill(QColor(view_->background, view_->background, view_->background));
  surface_.pixels = image_.bits();
  surface_.byteSize = static_cast<uint32_t>(image_.sizeInBytes());
  surface_.stride = static_cast<uint32_t>(image_.bytesPerLine());
  surface_.width = image_.width();
  surface_.height = image_.height();
  surface_.components = 3;
  surface_.bitsPerComponent = 8;
  view_->surface = &surface_;
}

// ---- Drawing ----

const SBxPicBuf* ImageView::ShownPicture() const {
  return state_->showSources ? &state_->document.source : &state_->document.result;
}

int ImageView::ShownSlot() const {
  return state_->showSources ? kSlotSource : kSlotResult;
}

bool ImageView::HasPicture() const {
  return state_->document.source.pixels != nullptr;
}

void ImageView::RenderAndRepaint(int mode, const SBxPicBuf* picture, int slot) {
  RenderView(view_, mode, picture, slot, 1, &state_->document.mask);
  update();
}

void ImageView::RenderShown(int mode) {
  if (ShownPicture()->pixels == nullptr) {
    RenderAndRepaint(kRenderRefresh, nullptr, kSlotClear);
    return;
  }
  RenderAndRepaint(mode, ShownPicture(), ShownSlot());
}

void ImageView::RefreshBothCaches() {
  const ImageDocument& document = state_->document;
  const int hidden = state_->showSources ? kSlotResult : kSlotSource;
  const SBxPicBuf* hiddenPicture = state_->showSources ? &document.result : &document.source;
  RenderView(view_, kRenderRefresh, hiddenPicture, hidden, 0, &document.mask);
  RenderAndRepaint(kRenderRefresh, ShownPicture(), ShownSlot());
}

void ImageView::ShowOpenedPicture(const SBxPicBuf* mask) {
  const ImageDocument& document = state_->document;
  RenderView(view_, kRenderRefresh, &document.result, kSlotResult, 0, mask);
  RenderView(view_, kRenderRefresh, &document.source, kSlotSource, 0, mask);
  FitToView();  // draws from the fresh caches
}

void ImageView::Clear() {
  view_->interpolation = kInterpolationBilinear;
  ReleaseViewCaches(view_);
  RenderView(view_, kRenderRefresh, nullptr, kSlotClear, 1, nullptr);
  update();
}

void ImageView::CopyScratch() {
  RenderView(view_, kRenderScratch, nullptr, kSlotResult, 1, nullptr);
  update();
}

void ImageView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}

void ImageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ResizeSurface(size());
  // Drawing from the caches is safe even while a job writes the result, which the caches do
  // not share.
  RenderAndRepaint(kRenderCached, nullptr, ShownSlot());
}

// ---- Zoom ----

void ImageView::ShowZoom() {
  if (zoomBox_ != nullptr) zoomBox_->setEditText(QString::fromStdString(ZoomText(view_->zoom)));
  setFocus(Qt::OtherFocusReason);
}

void ImageView::FitToView() {
  Place(FitView);
}

void ImageView::ZoomTo100() {
  Place(CentreAtFullSize);
}

void ImageView::Place(void (*place)(ViewContext*, int, int, int, int)) {
  if (!HasPicture()) return;
  const SBxPicBuf& source = state_->document.source;
  dragging_ = false;
  place(view_, source.width, source.height, width(), height());
  ShowZoom();
  RenderShown(kRenderCached);
}

void ImageView::ZoomBy(double factor) {
  if (!HasPicture()) return;
  view_->zoom *= factor;
  ShowZoom();
  RenderShown(kRenderCached);
}

void ImageView::TakePreset(int index) {
  if (state_->busy || index < 0 || index >= kZoomPresetCount) return;
  view_->zoom = kZoomPresets[index];
  ShowZoom();
  if (HasPicture()) RenderShown(kRenderCached);
}

void ImageView::TakeTypedZoom() {
  if (state_->busy || zoomBox_ == nullptr) return;
  double percent = 0.0;
  if (!ParseTypedZoom(zoomBox_->currentText().toStdString(), &percent)) {
    ShowZoom();  // the zoom and its text stay as they were
    return;
  }
  view_->zoom = percent / 100.0;
  ShowZoom();
  lastMouse_ = QPoint();
  if (HasPicture()) RenderShown(kRenderCached);
}

// ---- The mouse ----

void ImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (event->button() == Qt::LeftButton) LeftPressed(position);
  if (event->button() == Qt::RightButton) RightPressed();
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  MouseMoved(event->position().toPoint(), (event->buttons() & Qt::LeftButton) != 0);
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (event->button() == Qt::LeftButton) LeftReleased(position);
  if (event->button() == Qt::RightButton) RightReleased();
}

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || state_->busy || !HasPicture()) return;
  const ImageDocument& document = state_->document;
  RenderView(view_, kRenderRefresh, &document.source, kSlotSource, 0, &document.mask);
  RenderView(view_, kRenderRefresh, &document.result, kSlotResult, 0, &document.mask);
  FitToView();
}

void ImageView::wheelEvent(QWheelEvent* event) {
  // One zoom step per notch of 120, so that a touchpad's many small turns do not race.
  constexpr int kNotch = QWheelEvent::DefaultDeltasPerStep;
  wheelRest_ += event->angleDelta().y();
  while (wheelRest_ >= kNotch || wheelRest_ <= -kNotch) {
    const int step = wheelRest_ > 0 ? kNotch : -kNotch;
    wheelRest_ -= step;
    Wheel(event->position().toPoint(), step);
  }
  event->accept();
}

void ImageView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  dragging_ = false;
}

void ImageView::LeftPressed(QPoint position) {
  if (state_->busy) return;
  lastMouse_ = position;
  ToolPanel* panel = activePanel_ ? activePanel_() : nullptr;
  if (panel == nullptr) {
    dragging_ = true;
    return;
  }
  const bool taken = panel->ViewMousePress(position);
  // The panel is what the user works with: its keys (Enter, Escape, a slider's arrows) go
  // on working after a click in the picture.
  GiveKeyboardTo(panel);
  if (!taken) dragging_ = true;
}

void ImageView::GiveKeyboardTo(QWidget* panel) {
  QWidget* target = panel->focusWidget();  // where the keyboard was last in the panel
  for (QWidget* next = panel->nextInFocusChain(); target == nullptr && next != panel;
       next = next->nextInFocusChain()) {
    if (panel->isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && next->isEnabled() &&
        next->isVisibleTo(panel))
      target = next;
  }
  (target != nullptr ? target : panel)->setFocus(Qt::MouseFocusReason);
}

void ImageView::MouseMoved(QPoint position, bool leftButtonDown) {
  if (state_->busy) return;
  ToolPanel* panel = activePanel_ ? activePanel_() : nullptr;
  if (panel != nullptr && panel->ViewMouseMove(position, leftButtonDown)) return;
  if (!leftButtonDown || !dragging_) return;
  PanView(view_, lastMouse_.x(), lastMouse_.y(), position.x(), position.y());
  RenderShown(kRenderCached);
  lastMouse_ = position;
}

void ImageView::LeftReleased(QPoint position) {
  if (ToolPanel* panel = activePanel_ ? activePanel_() : nullptr) panel->ViewMouseRelease(position);
  dragging_ = false;
}

void ImageView::RightPressed() {
  if (state_->busy || state_->showSources) return;
  if (!HasPicture()) {
    update();
    return;
  }
  RenderAndRepaint(kRenderCached, nullptr, kSlotSource);
}

void ImageView::RightReleased() {
  if (state_->busy || state_->showSources) return;
  if (state_->document.result.pixels == nullptr) {
    update();
    return;
  }
  RenderAndRepaint(kRenderCached, nullptr, kSlotResult);
}

void ImageView::Wheel(QPoint position, int delta) {
  const SBxPicBuf& result = state_->document.result;
  if (state_->busy || result.pixels == nullptr || dragging_) return;
  WheelZoom(view_, position.x(), position.y(), delta, result.width, result.height);
  ShowZoom();
  RenderShown(kRenderCached);
}
