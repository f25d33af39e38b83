#pragma once

#include "app/panels/PanelBase.h"

class QComboBox;

// "Please set noise reduction level": None, Low, Medium or High for the brightest synthetic
// exposures, opening on the stored "Denoise Strength". Docked at the right like the other
// panels while the window keeps running; OK stores the choice.
class NoiseLevelDialog : public PanelBase {
  Q_OBJECT

 public:
  explicit NoiseLevelDialog(PanelHost& host);

  // The chosen level, 0..3. A stored value outside the range opens without a selection;
  // confirming that gives the default level.
  int Level() const;
  QComboBox* Levels() const { return levels_; }

  // Docks the question and waits for the answer while the window keeps answering the user:
  // the level, or -1 when cancelled (or when the program ends first).
  static int Ask(PanelHost& host);

 signals:
  // The panel closed: the level chosen, or -1.
  void Answered(int level);

 protected:
  void Accept() override;
  void Reject() override;

 private:
  QComboBox* levels_ = nullptr;
};
