#pragma once

#include <QPoint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/Jobs.h"
#include "app/Messages.h"
#include "app/panels/PanelBase.h"
#include "app/panels/PanelControls.h"
#include "app/panels/PreviewModel.h"
#include "jobs/AlignedSeries.h"
#include "jobs/GhostPreview.h"
#include "jobs/PreviewFusion.h"
#include "jobs/SeriesPictureCache.h"
#include "picture/CBxPicBufAPI.h"

class QCheckBox;

// The "VTX Fusion" panel over a series: Multi Image (exposure slider, Set Default, browsing
// the series with the arrow keys) or Daylight (Power slider: how many of the family are
// fused, around the fixed exposure 128). While it is open the view shows the source with
// the fused preview in a movable rectangle. OK fuses the full pictures in the background
// into the result; Cancel gives the source back. Over a series of the user's, "Align pictures"
// estimates the motions of the series once, in the background, and then the preview and OK
// use the aligned pictures. "Remove ghosts" compares the series once, in the background, at its
// "Strength"; the preview then keeps out what moved, "Show rejected areas" tints where, and OK
// fuses as `fuse --deghost` does.
class FusionPanel : public PanelBase {
  Q_OBJECT

 public:
  FusionPanel(PanelHost& host, const FusionPanelKind& kind);

  bool ViewMousePress(QPoint position) override;
  bool ViewMouseMove(QPoint position, bool leftButtonDown) override;
  void ViewMouseRelease(QPoint position) override;

  // Shows the previous or next picture of the series (CommandId::kPrevious, CommandId::kNext).
  void Browse(CommandId command);
  // Asks for a preview when the region changed, or always when forced.
  void RunPreview(bool force);

  int Value() const { return PanelBase::Value(0); }
  QSlider* Slider() const { return PanelBase::Slider(0); }
  QLabel* ValueLabel() const { return PanelBase::ValueLabel(0); }
  const PreviewModel& Model() const { return *model_; }
  const SeriesPictureCache& Cache() const { return *cache_; }
  // "Align pictures"; null unless the panel is over a series of the user's.
  QCheckBox* AlignBox() const { return alignBox_; }
  // "Remove ghosts" and the slider of its "Strength"; null unless the panel is over a
  // series of the user's.
  QCheckBox* GhostBox() const { return ghostBox_; }
  QSlider* StrengthSlider() const {
    return strengthIndex_ >= 0 ? PanelBase::Slider(strengthIndex_) : nullptr;
  }
  int Strength() const;
  // "Show rejected areas"; null unless the panel is over a series of the user's.
  QCheckBox* OverlayBox() const { return overlayBox_; }
  // What the comparison of the series found; null before, and after an Abort.
  const SeriesGhosts* Ghosts() const { return ghosts_.get(); }
  // The motions of the series once estimated; null before, and after an Abort.
  const SeriesAlignment* Alignment() const { return alignment_.get(); }

 protected:
  void SliderMoved(int index, bool recompute) override;
  void SlidersReset() override;
  void Accept() override;
  void Reject() override;
  void Closed(bool accepted) override;

 private:
  // Over a series of the user's, the keys that browse it besides OK and Cancel.
  void AskForSeriesKeys();
  std::vector<std::filesystem::path> Files() const;
  int Exposure() const;
  void ReportSkipped(const SeriesFusionReport& report);
  void AddAlignBox();
  void AlignToggled(bool on);
  void AddGhostControls();
  void GhostToggled(bool on);
  // The box is checked and the ghosts were found at this strength on the series as it is used.
  bool UsesGhosts() const;
  // Compares the series when the box wants it and nothing current was found, else previews.
  void UpdateGhosts();
  // The comparison in the background, with the progress window and Abort.
  void EstimateGhosts();
  void GhostsEstimated(const JobResult& result, std::shared_ptr<const SeriesGhosts> found,
                       std::shared_ptr<ScopedPicBuf> overlay);
  // The view tints where pictures were kept out while "Show rejected areas" is checked.
  void ShowOverlay();
  // The sliders, the boxes, Set Default, OK and Cancel on or off; the strength only with its box.
  void EnableControls(bool enabled);
  // The motions of the series in the background, with the progress window and Abort.
  void EstimateMotions();
  // After an estimation in the background: the controls back; true when it finished, else a
  // failure is shown and `box` unchecked.
  bool EstimationEnded(const JobResult& result, QCheckBox* box);
  void MotionsEstimated(const JobResult& result, std::shared_ptr<const SeriesAlignment> found);
  // The browsed picture read again, aligned when the series is.
  void LoadCurrentPicture();
  // The browsed picture shown again when it moved: the box changed what it looks like.
  void ReloadMovedPicture();
  // The box is checked and the motions are known.
  bool UsesAlignment() const;
  void OkFinished(const JobResult& result, const SeriesFusionReport& report,
                  const SBxPicBuf& fused);

  const FusionPanelKind kind_;
  const bool multiImageMode_;
  std::optional<PreviewModel> model_;
  std::shared_ptr<SeriesPictureCache> cache_;
  ScopedPicBuf preview_;  // the fused part inside the rectangle, as last shown
  ScopedPicBuf backup_;   // the source, when the series was made from it
  std::filesystem::path savedCurrentFile_;
  RectangleDrag drag_;
  bool previewDropped_ = false;  // OK stopped a preview before it was shown
  QCheckBox* alignBox_ = nullptr;
  std::shared_ptr<const SeriesAlignment> alignment_;  // kept for the series
  QCheckBox* ghostBox_ = nullptr;
  int strengthIndex_ = -1;
  QCheckBox* overlayBox_ = nullptr;
  std::shared_ptr<const SeriesGhosts> ghosts_;  // kept for the series
  std::shared_ptr<ScopedPicBuf> overlay_;       // where ghosts_ keeps pictures out
  bool estimatingGhosts_ = false;
};
