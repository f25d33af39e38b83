#pragma once

#include <QWidget>
#include <vector>

// The fixed panel at the right of the view that hosts the open tool panels and the progress
// window, stacked from the top in the order they were added, each keeping its own size.
class DockPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kInitialWidth = 300;

  explicit DockPanel(QWidget* parent);

  void AddPanel(QWidget* panel);
  void RemovePanel(QWidget* panel);
  const std::vector<QWidget*>& Panels() const { return panels_; }

  // Stacks the panels at x = 1 and makes the dock as wide as the widest panel + 1.
  void LayOut();

 private:
  std::vector<QWidget*> panels_;
};
