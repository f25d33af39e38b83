#pragma once

#include <QPoint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Jobs.h"
#include "app/Messages.h"
#include "app/ToolPanel.h"
#include "app/panels/PanelControls.h"
#include "app/panels/PreviewModel.h"
#include "jobs/PreviewFusion.h"
#include "jobs/SeriesPictureCache.h"
#include "picture/CBxPicBufAPI.h"

class PanelHost;
class QAbstractSlider;
class QLabel;
class QPushButton;
class QSlider;

// The "VTX Fusion" panel over a series: Multi Image (exposure slider, Set Default, browsing
// the series with the arrow keys) or Daylight (Power slider: how many of the family are
// fused, around the fixed exposure 128). While it is open the view shows the source with
// the fused preview in a movable rectangle. OK fuses the full pictures in the background
// into the result; Cancel gives the source back.
class FusionPanel : public ToolPanel {
  Q_OBJECT

 public:
  FusionPanel(PanelHost& host, const FusionPanelKind& kind);
  ~FusionPanel() override;

  bool ViewMousePress(QPoint position) override;
  bool ViewMouseMove(QPoint position, bool leftButtonDown) override;
  void ViewMouseRelease(QPoint position) override;

  void Ok();
  void Cancel();
  void SetDefault();
  // Shows the previous or next picture of the series (CommandId::kPrevious, CommandId::kNext).
  void Browse(CommandId command);
  // Runs a preview when the region changed, or always when forced.
  void RunPreview(bool force);

  int Value() const { return value_; }
  QSlider* Slider() const { return slider_; }
  QLabel* ValueLabel() const { return valueLabel_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  const PreviewModel& Model() const { return *model_; }
  int PreviewRuns() const { return previewRuns_; }
  const SeriesPictureCache& Cache() const { return *cache_; }

 private:
  void BuildControls();
  // OK and Cancel, and over a series of the user's the keys that browse it.
  PanelKeys PanelKeysFor(bool browsingSeries);
  void OnSliderAction(int action);
  void OnSliderReleased();
  void ApplyValue(int value, bool force);
  std::vector<std::filesystem::path> Files() const;
  int Exposure() const;
  void CutPreview();
  void ShowResultWithPreview();
  void ReportSkipped(const SeriesFusionReport& report);
  void SetButtonsEnabled(bool enabled);
  void OkFinished(const JobResult& result, const SeriesFusionReport& report,
                  const SBxPicBuf& fused);
  void Close(bool accepted);

  PanelHost& host_;
  const FusionPanelKind kind_;
  const bool multiImageMode_;
  std::optional<PreviewModel> model_;
  std::shared_ptr<SeriesPictureCache> cache_;
  ScopedPicBuf fusedRegion_;  // the last preview fusion, of lastRegion_
  CBxRect lastRegion_{};
  ScopedPicBuf preview_;  // the part of it inside the rectangle
  ScopedPicBuf backup_;   // the source, when the series was made from it
  std::filesystem::path savedCurrentFile_;
  int value_ = 0;
  int previewRuns_ = 0;
  RectangleDrag drag_;
  bool closed_ = false;

  QSlider* slider_ = nullptr;
  QLabel* valueLabel_ = nullptr;
  QPushButton* setDefault_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
