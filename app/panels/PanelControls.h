#pragma once

#include <QString>

#include "app/panels/PreviewModel.h"

class QGridLayout;
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

// The step rule's scroll code for a QAbstractSlider action.
SliderScroll ScrollOf(int action, bool thumbDown);

// The text table's entry n.
QString PanelText(int n);
