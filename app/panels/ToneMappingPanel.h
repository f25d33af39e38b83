#pragma once

#include <QPoint>
#include <optional>

#include "app/Jobs.h"
#include "app/panels/PanelBase.h"
#include "app/panels/PanelControls.h"
#include "jobs/ToneJobs.h"

class QCheckBox;
class QProgressBar;
class QPushButton;

// The "Tone Mapping..." panel: four sliders, "Use Extra Colors", and a "Preview" rectangle
// of at most 512 x 512 tone-mapped after every change. OK commits the values and runs the
// engine over the whole picture in the background, with its progress bar and "Abort".
class ToneMappingPanel : public PanelBase {
  Q_OBJECT

 public:
  explicit ToneMappingPanel(PanelHost& host);

  bool ViewMousePress(QPoint position) override;
  bool ViewMouseMove(QPoint position, bool leftButtonDown) override;
  void ViewMouseRelease(QPoint position) override;

  void Abort();
  void SetPreview(bool on);

  ToneSliders Values() const;
  QCheckBox* ExtraColors() const { return extraColors_; }
  QCheckBox* Preview() const { return preview_; }
  QPushButton* AbortButton() const { return abort_; }
  QProgressBar* Bar() const { return bar_; }
  const PreviewModel* Model() const { return model_ ? &*model_ : nullptr; }
  bool JobRunning() const { return jobRunning_; }

 protected:
  void SliderMoved(int index, bool recompute) override;
  void Accept() override;
  void Reject() override;
  void Closed(bool accepted) override;

 private:
  void RunPreview();
  void SetEditing(bool enabled);
  void JobEnded(const JobResult& result);

  bool extraColorsOn_ = true;
  std::optional<PreviewModel> model_;
  RectangleDrag drag_;
  bool jobRunning_ = false;

  QCheckBox* extraColors_ = nullptr;
  QCheckBox* preview_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* abort_ = nullptr;
};
