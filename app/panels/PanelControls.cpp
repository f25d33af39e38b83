#include "app/panels/PanelControls.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/SeriesMessages.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "jobs/MemoryNeed.h"
#include "picture/CBxPicBufAPI.h"

void SliderRow::SetEnabled(bool enabled) const {
  for (QWidget* control :
       {static_cast<QWidget*>(name), static_cast<QWidget*>(slider), static_cast<QWidget*>(value)})
    control->setEnabled(enabled);
}

SliderRow AddSliderRow(QGridLayout* grid, int row, QWidget* parent, const QString& name,
                       const ParameterRange& range, int position) {
  SliderRow controls;
  controls.name = new QLabel(name, parent);
  controls.value = new QLabel(QString::number(position), parent);
  controls.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  controls.slider = new QSlider(Qt::Horizontal, parent);
  controls.slider->setRange(range.minimum, range.maximum);
  controls.slider->setSingleStep(1);
  controls.slider->setPageStep(0);
  controls.slider->setValue(range.Clamp(position));
  grid->addWidget(controls.name, 2 * row, 0);
  grid->addWidget(controls.value, 2 * row, 1);
  grid->addWidget(controls.slider, 2 * row + 1, 0, 1, 2);
  return controls;
}

QVBoxLayout* PanelLayout(QWidget* panel, TextId titleText) {
  auto* title = new QLabel(UiText(titleText), panel);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->addWidget(title);
  return layout;
}

OkCancel AddOkCancel(QVBoxLayout* layout, QWidget* panel) {
  OkCancel buttons{new QPushButton(UiText(TextId::kOk), panel),
                   new QPushButton(UiText(TextId::kCancel), panel)};
  buttons.ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(buttons.ok);
  row->addWidget(buttons.cancel);
  layout->addLayout(row);
  return buttons;
}

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

void CopyPicture(SBxPicBuf* to, const SBxPicBuf& from) {
  CBxPicBufAPI::ReinitHeap(to, &from);
  if (!IsEmpty(*to)) CBxPicBufAPI::Copy(to, &from);
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
