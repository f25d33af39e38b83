#include "app/panels/PanelControls.h"

#include <QGridLayout>
#include <QLabel>
#include <QSlider>

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
