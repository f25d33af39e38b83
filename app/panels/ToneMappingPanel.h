#pragma once

#include <QPoint>
#include <array>
#include <atomic>
#include <memory>
#include <optional>

#include "app/Jobs.h"
#include "app/ToolPanel.h"
#include "app/panels/PanelControls.h"
#include "jobs/ToneJobs.h"

class PanelHost;
class QCheckBox;
class QProgressBar;
class QPushButton;
class QTimer;

// Progress of the panel's job: written by the worker, read by the panel's timer. The engine
// stops at its next poll of the application's cancel flag, which "Abort" and closing the
// window raise.
class ToneJobProgress : public JobProgress {
 public:
  void SetRange(int /*minimum*/, int top) override { maximum = top; }
  void SetPosition(int at) override { position = at; }
  void Advance(int steps) override { position += steps; }

  std::atomic<int> maximum{0};
  std::atomic<int> position{0};
};

// The "Tone Mapping..." panel: four sliders, "Use Extra Colors", and a "Preview" rectangle
// of at most 512 x 512 tone-mapped after every change. OK commits the values and runs the
// engine over the whole picture in the background, with its progress bar and "Abort".
class ToneMappingPanel : public ToolPanel {
  Q_OBJECT

 public:
  explicit ToneMappingPanel(PanelHost& host);
  ~ToneMappingPanel() override;

  bool ViewMousePress(QPoint position) override;
  bool ViewMouseMove(QPoint position, bool leftButtonDown) override;
  void ViewMouseRelease(QPoint position) override;

  void Ok();
  void Cancel();
  void Abort();
  void SetPreview(bool on);

  const ToneSliders& Values() const { return values_; }
  QSlider* Slider(int i) const { return rows_[static_cast<size_t>(i)].slider; }
  QCheckBox* ExtraColors() const { return extraColors_; }
  QCheckBox* Preview() const { return preview_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* AbortButton() const { return abort_; }
  QProgressBar* Bar() const { return bar_; }
  const PreviewModel* Model() const { return model_ ? &*model_ : nullptr; }
  int PreviewRuns() const { return previewRuns_; }
  bool JobRunning() const { return jobRunning_; }

 private:
  void BuildControls();
  void OnSliderAction(int index, int action);
  void SetValue(int index, int value);
  void RunPreview();
  void ShowSource();
  void SetEditing(bool enabled);
  void JobEnded(const JobResult& result);
  void ShowJobProgress();

  PanelHost& host_;
  ToneSliders values_;
  std::optional<PreviewModel> model_;
  std::shared_ptr<ToneJobProgress> progress_;
  std::array<SliderRow, 4> rows_;
  int previewRuns_ = 0;
  RectangleDrag drag_;
  bool jobRunning_ = false;

  QCheckBox* extraColors_ = nullptr;
  QCheckBox* preview_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* abort_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QTimer* progressTimer_ = nullptr;
};
