#pragma once

#include <QImage>
#include <QWidget>

#include "app/ViewContext.h"

// The view area between the toolbar and the status bar, left of the dock panel. It owns the
// drawing surface (kept at its own size, so the view draws at any window size), paints it,
// and reports the mouse to the main window, which decides what the mouse does.
class ImageView : public QWidget {
  Q_OBJECT

 public:
  ImageView(ViewContext* view, QWidget* parent);
  ~ImageView() override;

  const QImage& SurfaceImage() const { return image_; }

 signals:
  void Resized();
  void LeftPressed(QPoint position);
  void MouseMoved(QPoint position, bool leftButtonDown);
  void LeftReleased(QPoint position);
  void RightPressed(QPoint position);
  void RightReleased(QPoint position);
  void DoubleClicked(QPoint position);
  void WheelTurned(QPoint position, int delta);
  void MouseLeft();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void ResizeSurface(QSize size);

  ViewContext* view_;
  QImage image_;  // blue, green, red bytes; what SBxPicBuf surface_ describes
  SBxPicBuf surface_;
  int wheelRest_ = 0;  // wheel turn not yet a whole notch (fine-grained wheels and pads)
};
