#pragma once

#include <QDialog>

class QComboBox;

// "Please set noise reduction level": None, Low, Medium or High for the brightest synthetic
// exposures, opening on the stored "Denoise Strength". Accepting stores the choice.
class NoiseLevelDialog : public QDialog {
  Q_OBJECT

 public:
  explicit NoiseLevelDialog(QWidget* parent);

  // The chosen level, 0..3. A stored value outside the range opens without a selection;
  // confirming that gives the default level.
  int Level() const;
  QComboBox* Levels() const { return levels_; }

  // Shows the dialog and waits: the level, or -1 when cancelled.
  static int Ask(QWidget* parent);

 private:
  void Accept();

  QComboBox* levels_;
};
