#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "app/panels/PreviewModel.h"
#include "picture/SBxPicBuf.h"
#include "settings/TextIds.h"

class PanelHost;
class QGridLayout;
class QPushButton;
class QVBoxLayout;
class QLabel;
class QSlider;
class QWidget;

// What the tool panels build alike: a slider with its name and value labels, and the
// toolkit's slider actions in the panels' own step rule.

struct SliderRow {
  QLabel* name = nullptr;
  QSlider* slider = nullptr;
  QLabel* value = nullptr;

  void SetEnabled(bool enabled) const;
};

// A row of `grid`: the name, the value as text, and below them the slider over `range` at
// `position` (its page step 0: a page scroll moves by the panel's own step).
SliderRow AddSliderRow(QGridLayout* grid, int row, QWidget* parent, const QString& name,
                       const ParameterRange& range, int position);

// A panel's frame: its layout with the bold title on top, and the OK (the default) and
// Cancel buttons that AddOkCancel puts at the bottom right.
QVBoxLayout* PanelLayout(QWidget* panel, TextId titleText);
struct OkCancel {
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
};
OkCancel AddOkCancel(QVBoxLayout* layout, QWidget* panel);

// The step rule's scroll code for a QAbstractSlider action.
SliderScroll ScrollOf(int action, bool thumbDown);

// Shows the refusal of a job whose memory need cannot fit (jobs/MemoryNeed.h); true when
// the job may start.
bool MemoryAllows(PanelHost& host, TextId job, uint64_t need);

// `to` becomes a copy of `from` (reallocated to its geometry).
void CopyPicture(SBxPicBuf* to, const SBxPicBuf& from);

// Dragging a preview rectangle with the mouse the view hands to the panel: the cursor shows
// where the rectangle can be taken, the frame follows the mouse, the panel decides on release
// whether to compute again.
class RectangleDrag {
 public:
  // A left press in the view: true when it falls inside the rectangle (the drag starts).
  bool Press(PanelHost& host, const PreviewModel& model, QPoint position);
  // True while the rectangle is being moved (the view then does not pan).
  bool Move(PanelHost& host, PreviewModel& model, QPoint position, bool leftButtonDown);
  // Ends a drag; true when one was going on.
  bool Release();

 private:
  bool dragging_ = false;
  QPoint last_;
};
