#include "app/DockPanel.h"

#include <algorithm>

#include "skin/DarkTheme.h"

DockPanel::DockPanel(QWidget* parent) : QWidget(parent) {
  // The theme paints the background of the widget of this name.
  setObjectName(QLatin1String(kDockPanelObjectName));
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedWidth(kInitialWidth);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  setCursor(Qt::ArrowCursor);
}

void DockPanel::AddPanel(QWidget* panel) {
  if (std::find(panels_.begin(), panels_.end(), panel) != panels_.end()) return;
  panel->setParent(this);
  panels_.push_back(panel);
  LayOut();
  panel->show();
}

void DockPanel::RemovePanel(QWidget* panel) {
  const auto it = std::find(panels_.begin(), panels_.end(), panel);
  if (it == panels_.end()) return;
  panels_.erase(it);
  LayOut();
}

void DockPanel::LayOut() {
  int widest = 0;
  int top = 0;
  for (QWidget* panel : panels_) {
    const QSize size =
        panel->size().isValid() && !panel->size().isEmpty() ? panel->size() : panel->sizeHint();
    panel->setGeometry(1, top, size.width(), size.height());
    top += size.height();
    widest = std::max(widest, size.width());
  }
  // An empty dock keeps its width, so the view does not jump when a job ends.
  if (!panels_.empty()) setFixedWidth(widest + 1);
  update();
}
