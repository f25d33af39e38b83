#pragma once

#include <QPoint>
#include <QWidget>

// A processing panel docked at the right of the view. While it is the open panel the view
// hands it the mouse first, in view coordinates (map them to picture pixels with
// ViewMap(host.View())), so that it can move its preview rectangle.
class ToolPanel : public QWidget {
 public:
  using QWidget::QWidget;

  // A left press in the view; true when the panel takes it (the view then does not pan).
  virtual bool ViewMousePress(QPoint /*position*/) { return false; }
  // A mouse move in the view with the left button down or not; true while the panel is
  // moving its rectangle (the view then does not pan).
  virtual bool ViewMouseMove(QPoint /*position*/, bool /*leftButtonDown*/) { return false; }
  virtual void ViewMouseRelease(QPoint /*position*/) {}
};
