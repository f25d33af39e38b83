#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>

#include "app/ViewContext.h"

class ToolPanel;
class ZoomBox;
struct AppState;

// The view area between the toolbar and the status bar, left of the dock panel: the picture
// shown (the source while browsing a series, else the result), zoomed and panned. It owns
// the drawing surface (kept at its own size, so the view draws at any window size), and
// everything that moves the picture: zoom steps, fit, 100 %, the zoom box, the wheel,
// dragging, and the comparison with the source while the right button is held. While a
// panel is open the view hands it the mouse first, and a left press gives it the keyboard.
// Nothing moves while a panel job runs (AppState::busy).
class ImageView : public QWidget {
  Q_OBJECT

 public:
  ImageView(AppState* state, ViewContext* view, QWidget* parent);
  ~ImageView() override;

  // Where the open panel is found (null when none is open).
  void SetPanelSource(std::function<ToolPanel*()> activePanel);
  // The zoom box that shows the zoom and takes a chosen entry or a typed zoom.
  void AttachZoomBox(ZoomBox* zoomBox);

  const QImage& SurfaceImage() const { return image_; }

  // Draws the picture shown: from the caches (kRenderCached) or refreshing its cache first
  // (kRenderRefresh); without a picture the view is cleared.
  void RenderShown(int mode);
  // Draws `picture` (or the cache of `slot`) and repaints.
  void RenderAndRepaint(int mode, const SBxPicBuf* picture, int slot);
  // Refreshes both caches from the source and the result and draws the picture shown.
  void RefreshBothCaches();
  // Caches a newly opened source and result (and `mask`, when given) and fits them.
  void ShowOpenedPicture(const SBxPicBuf* mask);
  // Empties the caches and clears the view.
  void Clear();
  // Shows the last scratch again if it still has the view's size.
  void CopyScratch();

  // Commands; all need a picture.
  void FitToView();
  void ZoomTo100();
  void ZoomBy(double factor);
  // The zoom box's text was confirmed: a valid zoom is taken, anything else put back.
  void TakeTypedZoom();

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
  const SBxPicBuf* ShownPicture() const;
  int ShownSlot() const;
  bool HasPicture() const;
  void ShowZoom();
  // Places the picture with `place` (FitView, CentreAtFullSize) in the view and draws it.
  void Place(void (*place)(ViewContext* view, int pictureWidth, int pictureHeight, int areaWidth,
                           int areaHeight));
  void TakePreset(int index);
  void LeftPressed(QPoint position);
  // The keyboard to the control of `panel` that had it last, else its first control.
  static void GiveKeyboardTo(QWidget* panel);
  void MouseMoved(QPoint position, bool leftButtonDown);
  void LeftReleased(QPoint position);
  void RightPressed();
  void RightReleased();
  void Wheel(QPoint position, int delta);

  AppState* state_;
  ViewContext* view_;
  std::function<ToolPanel*()> activePanel_;
  ZoomBox* zoomBox_ = nullptr;
  QImage image_;  // blue, green, red bytes; what SBxPicBuf surface_ describes
  SBxPicBuf surface_;
  QPoint lastMouse_;
  bool dragging_ = false;
  int wheelRest_ = 0;  // wheel turn not yet a whole notch (fine-grained wheels and pads)
};
