#pragma once

#include <memory>

#include "app/panels/PanelBase.h"
#include "jobs/ToneJobs.h"

// The "Smart Contrast..." panel: eight "Levels of details" gains over the picture's
// pyramid, built once at opening; every change rebuilds the whole result. OK keeps it and
// stores the gains, Cancel gives the source back.
class SmartContrastPanel : public PanelBase {
  Q_OBJECT

 public:
  explicit SmartContrastPanel(PanelHost& host);

  int Levels() const { return job_->Levels(); }
  int Rebuilds() const { return rebuilds_; }

 protected:
  void SliderMoved(int index, bool recompute) override;
  void SlidersReset() override;
  void Accept() override;
  void Reject() override;
  void Closed(bool accepted) override;

 private:
  void Rebuild();

  // Shared with the rebuild running off the interface thread.
  std::shared_ptr<SmartContrastJob> job_;
  bool prepared_ = false;
  int rebuilds_ = 0;
};
