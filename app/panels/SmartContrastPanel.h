#pragma once

#include <array>

#include "app/ToolPanel.h"
#include "app/panels/PanelControls.h"
#include "jobs/ToneJobs.h"

class PanelHost;
class QPushButton;

// The "Smart Contrast..." panel: eight "Levels of details" gains over the picture's
// pyramid, built once at opening; every change rebuilds the whole result. OK keeps it and
// stores the gains, Cancel gives the source back.
class SmartContrastPanel : public ToolPanel {
  Q_OBJECT

 public:
  explicit SmartContrastPanel(PanelHost& host);

  void Ok();
  void Cancel();
  void SetDefault();

  QSlider* Slider(int level) const { return rows_[static_cast<size_t>(level)].slider; }
  QLabel* ValueLabel(int level) const { return rows_[static_cast<size_t>(level)].value; }
  QPushButton* OkButton() const { return ok_; }
  int Levels() const { return job_.Levels(); }
  int Rebuilds() const { return rebuilds_; }

 private:
  void BuildControls();
  void OnSliderAction(int level, int action);
  void Rebuild();
  void Close();

  PanelHost& host_;
  SmartContrastJob job_;
  bool prepared_ = false;
  int lod_[kSmartContrastSliders] = {};
  std::array<SliderRow, kSmartContrastSliders> rows_;
  int rebuilds_ = 0;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
