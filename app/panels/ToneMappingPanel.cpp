#include "app/panels/ToneMappingPanel.h"

#include <QCheckBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "app/JobHost.h"
#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/UiText.h"
#include "app/state/AppState.h"
#include "jobs/MemoryNeed.h"
#include "jobs/PanelPreviews.h"
#include "settings/Settings.h"

namespace {
// The sliders' names, in the order of ToneSliders.
constexpr TextId kSliderTexts[] = {TextId::kToneContrast, TextId::kToneNoise, TextId::kToneDetails,
                                   TextId::kToneEqualization};
}  // namespace

ToneMappingPanel::ToneMappingPanel(PanelHost& host) : PanelBase(host, TextId::kToneMappingItem) {
  const StartupSettings& stored = host_.Startup();
  for (int i = 0; i < 4; ++i)
    AddSlider(UiText(kSliderTexts[i]), parameter::kTonePower,
              parameter::kTonePower.Clamp(stored.uiPowerT[i]));
  extraColorsOn_ = stored.uiUseColors != 0;
  extraColors_ = new QCheckBox(UiText(TextId::kExtraColors), this);
  extraColors_->setChecked(extraColorsOn_);
  extraColors_->setVisible(host_.State().document.source.components > 1);
  preview_ = new QCheckBox(UiText(TextId::kPreview), this);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->hide();
  abort_ = new QPushButton(UiText(TextId::kAbort), this);
  abort_->hide();
  Body()->addWidget(extraColors_);
  Body()->addWidget(preview_);
  Body()->addWidget(bar_);
  Body()->addWidget(abort_, 0, Qt::AlignLeft);
  AddOkCancel();

  connect(extraColors_, &QCheckBox::toggled, this, [this](bool on) {
    extraColorsOn_ = on;
    host_.Startup().uiUseColors = on ? 1 : 0;  // kept when toggled, stored at exit
    RunPreview();
  });
  connect(preview_, &QCheckBox::toggled, this, &ToneMappingPanel::SetPreview);
  connect(abort_, &QPushButton::clicked, this, &ToneMappingPanel::Abort);
  ShowSource();
  Opened();
}

ToneSliders ToneMappingPanel::Values() const {
  ToneSliders values;
  values.contrast = Value(0);
  values.noise = Value(1);
  values.details = Value(2);
  values.equalization = Value(3);
  values.extraColors = extraColorsOn_;
  return values;
}

void ToneMappingPanel::SliderMoved(int /*index*/, bool recompute) {
  if (recompute) RunPreview();
}

void ToneMappingPanel::SetPreview(bool on) {
  if (jobRunning_) return;
  if (!on) {
    StopPreviews();
    model_.reset();
    host_.View().previewRect = nullptr;
    ShowSource();
    return;
  }
  const SBxPicBuf& source = host_.State().document.source;
  const ViewContext& view = host_.View();
  double x = 0.0, y = 0.0;
  ViewCentrePoint(ViewMap(view), view.surface ? view.surface->width : 0,
                  view.surface ? view.surface->height : 0, &x, &y);
  model_.emplace(TonePreviewPlacement(source.width, source.height, x, y), source.width,
                 source.height, 0);
  host_.View().previewRect = &model_->IntegerRect();
  RunPreview();
}

void ToneMappingPanel::RunPreview() {
  if (!model_ || jobRunning_) return;
  const CBxRect rect = model_->IntegerRect();
  model_->PreviewDone();
  // The rectangle is cut here, so that the worker reads only pictures of its own.
  auto part = std::make_shared<ScopedPicBuf>();
  CutRect(host_.State().document.source, rect, part->get());
  auto mapped = std::make_shared<ScopedPicBuf>();
  StartPreview(
      [part, mapped, sliders = Values()](JobProgress& progress) {
        ToneMapPreview(**part, sliders, &progress, mapped->get());
      },
      [this, mapped, rect] { ShowPreviewInResult(**mapped, rect); });
}

bool ToneMappingPanel::ViewMousePress(QPoint position) {
  return model_ && !jobRunning_ && drag_.Press(host_, *model_, position);
}

bool ToneMappingPanel::ViewMouseMove(QPoint position, bool leftButtonDown) {
  return model_ && !jobRunning_ && drag_.Move(host_, *model_, position, leftButtonDown);
}

void ToneMappingPanel::ViewMouseRelease(QPoint /*position*/) {
  if (drag_.Release() && model_ && model_->NeedsPreview(false)) RunPreview();
}

void ToneMappingPanel::SetEditing(bool enabled) {
  // While the job writes the result, nothing may start a preview, a second job or a close.
  SetControlsEnabled(enabled);
  extraColors_->setEnabled(enabled);
  preview_->setEnabled(enabled);
  bar_->setVisible(!enabled);
  abort_->setVisible(!enabled);
  FitHeight();
}

void ToneMappingPanel::Accept() {
  if (jobRunning_) return;
  if (!MemoryAllows(host_, TextId::kJobToneMapping, ToneMapBytes(host_.State().document.source)))
    return;
  // A preview pasted later would land in the result the job writes.
  StopPreviews();
  const ToneSliders sliders = Values();
  StartupSettings& stored = host_.Startup();
  for (int i = 0; i < 4; ++i)
    stored.uiPowerT[i] = Value(i);
  stored.uiUseColors = sliders.extraColors ? 1 : 0;
  bar_->setValue(0);
  SetEditing(false);
  AppState& state = host_.State();
  JobBody body = [&state, sliders](JobProgress& progress) {
    // The job host made the work picture a copy of the source before the job started.
    if (ToneMapPicture(state.workPicture, sliders, &progress, &state.document.result))
      return JobResult{JobEnd::kCancelled, {}};
    return JobResult{};
  };
  QPointer<ToneMappingPanel> self(this);
  const auto showProgress = [this](const ProgressReport& report) {
    // Two steps beyond the engine's: the bar runs 0..17 for one plane, 0..47 for three.
    bar_->setRange(0, report.maximum + 2);
    bar_->setValue(report.position);
  };
  if (!host_.Jobs().StartPanelJob(
          std::move(body),
          [self](const JobResult& result) {
            if (self) self->JobEnded(result);
          },
          this, showProgress)) {
    SetEditing(true);
    return;
  }
  jobRunning_ = true;
}

void ToneMappingPanel::Abort() {
  if (jobRunning_) host_.State().cancelRequested = 1;
}

void ToneMappingPanel::JobEnded(const JobResult& result) {
  jobRunning_ = false;
  if (result.end == JobEnd::kFinished && !host_.State().cancelRequested) {
    Close(true);
    return;
  }
  // Aborted: the result is the source again and the panel is back to editing.
  host_.SendMessage(AppMessage::kToneJobAbandoned);
  host_.State().toolDialogOpen = 1;
  ShowSource();
  SetEditing(true);
  bar_->setValue(0);
  RunPreview();
}

void ToneMappingPanel::Reject() {
  if (jobRunning_) return;
  ShowSource();
  Close(false);
}

void ToneMappingPanel::Closed(bool accepted) {
  if (accepted) host_.SendMessage(AppMessage::kToneJobDone);
}
