#include "app/panels/PanelControls.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/UserDialogs.h"
#include "jobs/MemoryNeed.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/TextTable.h"

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

namespace {
constexpr int kTextOk = 45;
constexpr int kTextCancel = 46;
}  // namespace

QVBoxLayout* PanelLayout(QWidget* panel, int titleText) {
  auto* title = new QLabel(PanelText(titleText), panel);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->addWidget(title);
  return layout;
}

OkCancel AddOkCancel(QVBoxLayout* layout, QWidget* panel) {
  OkCancel buttons{new QPushButton(PanelText(kTextOk), panel),
                   new QPushButton(PanelText(kTextCancel), panel)};
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

QString PanelText(int n) {
  return QString::fromStdString(LangText(n));
}

bool MemoryAllows(PanelHost& host, const std::string& job, uint64_t need) {
  const std::string refusal = MemoryRefusal(job, need);
  if (refusal.empty()) return true;
  host.Dialogs().ShowMessage(host.Window(), LangText(kTextWarning), refusal + ".",
                             MessageIcon::kWarning);
  return false;
}

void CopyPicture(SBxPicBuf* to, const SBxPicBuf& from) {
  CBxPicBufAPI::ReinitHeap(to, &from);
  if (!IsEmpty(*to)) CBxPicBufAPI::Copy(to, &from);
}

bool AnswerPanelKey(const QKeyEvent* event, const std::function<void()>& ok,
                    const std::function<void()>& cancel) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      ok();
      return true;
    case Qt::Key_Escape:
      cancel();
      return true;
    default:
      return false;
  }
}

bool RectangleDrag::Press(PanelHost& host, const PreviewModel& model, QPoint position) {
  if (!model.Contains(ViewMap(host.View()), position.x(), position.y())) return false;
  dragging_ = true;
  last_ = position;
  host.SendMessage(kMsgMoveCursor);
  return true;
}

bool RectangleDrag::Move(PanelHost& host, PreviewModel& model, QPoint position,
                         bool leftButtonDown) {
  if (dragging_ && leftButtonDown) {
    model.MoveBy(position.x() - last_.x(), position.y() - last_.y(), host.View().zoom);
    last_ = position;
    host.SendMessage(kMsgRedrawResult);  // the frame moves; the preview follows on release
    return true;
  }
  const bool inside = model.Contains(ViewMap(host.View()), position.x(), position.y());
  if (!leftButtonDown) host.SendMessage(inside ? kMsgMoveCursor : kMsgArrowCursor);
  return false;
}

bool RectangleDrag::Release() {
  const bool was = dragging_;
  dragging_ = false;
  return was;
}
