#include "app/ImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

ImageView::ImageView(ViewContext* view, QWidget* parent) : QWidget(parent), view_(view) {
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

void ImageView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}

void ImageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ResizeSurface(size());
  emit Resized();
}

void ImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (event->button() == Qt::LeftButton) emit LeftPressed(position);
  if (event->button() == Qt::RightButton) emit RightPressed(position);
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  emit MouseMoved(event->position().toPoint(), (event->buttons() & Qt::LeftButton) != 0);
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (event->button() == Qt::LeftButton) emit LeftReleased(position);
  if (event->button() == Qt::RightButton) emit RightReleased(position);
}

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit DoubleClicked(event->position().toPoint());
}

void ImageView::wheelEvent(QWheelEvent* event) {
  // One zoom step per notch of 120, so that a touchpad's many small turns do not race.
  constexpr int kNotch = QWheelEvent::DefaultDeltasPerStep;
  wheelRest_ += event->angleDelta().y();
  while (wheelRest_ >= kNotch || wheelRest_ <= -kNotch) {
    const int step = wheelRest_ > 0 ? kNotch : -kNotch;
    wheelRest_ -= step;
    emit WheelTurned(event->position().toPoint(), step);
  }
  event->accept();
}

void ImageView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit MouseLeft();
}
