#include "app/panels/PanelControls.h"

#include <QSlider>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/SeriesMessages.h"
#include "app/UserDialogs.h"
#include "jobs/MemoryNeed.h"
#include "settings/TextTable.h"

SliderScroll ScrollOf(int action, bool thumbDown) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      return SliderScroll::kLineDown;
    case QAbstractSlider::SliderSingleStepAdd:
      return SliderScroll::kLineUp;
    case QAbstractSlider::SliderPageStepSub:
      return SliderScroll::kPageDown;
    case QAbstractSlider::SliderPageStepAdd:
      return SliderScroll::kPageUp;
    case QAbstractSlider::SliderMove:
      return thumbDown ? SliderScroll::kThumbTrack : SliderScroll::kThumbPosition;
    default:
      return SliderScroll::kThumbPosition;
  }
}

bool MemoryAllows(PanelHost& host, TextId job, uint64_t need) {
  const std::string refusal = MemoryRefusalText(job, need, AvailableMemoryBytes());
  if (refusal.empty()) return true;
  host.Dialogs().ShowMessage(host.Window(), LangText(TextId::kWarning), refusal,
                             MessageIcon::kWarning);
  return false;
}

bool RectangleDrag::Press(PanelHost& host, const PreviewModel& model, QPoint position) {
  if (!model.Contains(ViewMap(host.View()), position.x(), position.y())) return false;
  dragging_ = true;
  last_ = position;
  host.SendMessage(AppMessage::kMoveCursor);
  return true;
}

bool RectangleDrag::Move(PanelHost& host, PreviewModel& model, QPoint position,
                         bool leftButtonDown) {
  if (dragging_ && leftButtonDown) {
    model.MoveBy(position.x() - last_.x(), position.y() - last_.y(), host.View().zoom);
    last_ = position;
    host.SendMessage(AppMessage::kRedrawResult);  // the frame moves; the preview follows on release
    return true;
  }
  const bool inside = model.Contains(ViewMap(host.View()), position.x(), position.y());
  if (!leftButtonDown)
    host.SendMessage(inside ? AppMessage::kMoveCursor : AppMessage::kArrowCursor);
  return false;
}

bool RectangleDrag::Release() {
  const bool was = dragging_;
  dragging_ = false;
  return was;
}
