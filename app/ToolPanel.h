#pragma once

#include <QPoint>
#include <QWidget>
#include <functional>
#include <vector>

// The keys an open panel asks for; the window's KeyRouter gives them to it.
struct PanelKeys {
  // Enter (and Return) and Escape, when the focused control does not use them.
  std::function<void()> ok;
  std::function<void()> cancel;

  // A key the panel takes wherever the focus is, before any control sees it, on its press or
  // on its release (a release repeated by a held key does not count: one run per press).
  struct Grab {
    int key = 0;  // a Qt::Key
    bool onRelease = false;
    std::function<void()> run;
  };
  // Set, the panel holds the keyboard: OK and Cancel are its wherever the focus is too, and
  // every other key reaches only the panel's own controls (the series is browsed with the
  // keyboard while the Multi Image panel is open over it).
  bool holdsKeyboard = false;
  std::vector<Grab> grabs;

  // Only OK and Cancel: what most panels ask for.
  static PanelKeys OkCancel(std::function<void()> ok, std::function<void()> cancel) {
    PanelKeys keys;
    keys.ok = std::move(ok);
    keys.cancel = std::move(cancel);
    return keys;
  }
};

// A processing panel docked at the right of the view. While it is the open panel the view
// hands it the mouse first, in view coordinates (map them to picture pixels with
// ViewMap(host.View())), so that it can move its preview rectangle; a left press in the
// view gives it the keyboard focus.
class ToolPanel : public QWidget {
 public:
  using QWidget::QWidget;

  // A left press in the view; true when the panel takes it (the view then does not pan).
  virtual bool ViewMousePress(QPoint /*position*/) { return false; }
  // A mouse move in the view with the left button down or not; true while the panel is
  // moving its rectangle (the view then does not pan).
  virtual bool ViewMouseMove(QPoint /*position*/, bool /*leftButtonDown*/) { return false; }
  virtual void ViewMouseRelease(QPoint /*position*/) {}

  const PanelKeys& Keys() const { return keys_; }

 protected:
  // Declares the keys the panel wants (usually in its constructor).
  void AskForKeys(PanelKeys keys) { keys_ = std::move(keys); }

 private:
  PanelKeys keys_;
};
