#pragma once

#include <QPoint>
#include <cstdint>

#include "app/panels/PreviewModel.h"
#include "settings/TextIds.h"

class PanelHost;

// What the tool panels share besides their base (PanelBase.h): the toolkit's slider actions
// in the panels' own step rule, the memory check before a job, and dragging a preview
// rectangle.

// The step rule's scroll code for a QAbstractSlider action.
SliderScroll ScrollOf(int action, bool thumbDown);

// Shows the refusal of a job whose memory need cannot fit (jobs/MemoryNeed.h); true when
// the job may start.
bool MemoryAllows(PanelHost& host, TextId job, uint64_t need);

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
