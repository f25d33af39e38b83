#include "app/panels/FusionPanel.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "app/JobHost.h"
#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/SeriesMessages.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "app/state/AppState.h"
#include "jobs/AlignedPreview.h"
#include "jobs/GhostPreview.h"
#include "jobs/GhostSeries.h"
#include "jobs/MemoryNeed.h"
#include "jobs/PanelPreviews.h"
#include "jobs/SeriesPipeline.h"
#include "picture/ImageLoad.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

namespace {

const SettingKey& StoredKey(const FusionPanelKind& kind) {
  return kind.multiImage ? setting::kMultiImageExposure : setting::kDaylightPower;
}

}  // namespace

FusionPanel::FusionPanel(PanelHost& host, const FusionPanelKind& kind)
    : PanelBase(host, TextId::kFusionTitle),
      kind_(kind),
      multiImageMode_(host.State().multiImageMode != 0),
      cache_(std::make_shared<SeriesPictureCache>()) {
  AppState& state = host_.State();
  savedCurrentFile_ = state.currentFilePath;
  const SBxPicBuf& source = state.document.source;
  const ViewContext& view = host_.View();
  const int viewWidth = view.surface != nullptr ? view.surface->width : 0;
  const int viewHeight = view.surface != nullptr ? view.surface->height : 0;
  model_.emplace(kind_, source.width, source.height, ViewMap(view), viewWidth, viewHeight);
  host_.View().previewRect = &model_->IntegerRect();

  const int stored = ReadParameterSetting(StoredKey(kind_), kind_.slider);
  const int value = kind_.multiImage ? stored : DaylightFusedCount(stored, state.sourceList.count);
  AddSlider(UiText(kind_.multiImage ? TextId::kExposure : TextId::kPower), kind_.slider, value);
  if (kind_.multiImage) AddSetDefault();
  if (kind_.multiImage && multiImageMode_) AddAlignBox();
  if (kind_.multiImage && multiImageMode_) AddGhostControls();
  AddOkCancel();

  if (!multiImageMode_) CopyPicture(backup_.get(), source);
  if (kind_.multiImage && multiImageMode_) AskForSeriesKeys();
  if (kind_.multiImage) {
    if (!multiImageMode_) host_.SetStatusText(LangText(TextId::kDragHint));
  } else {
    host_.GreyMenus(true);
    host_.SetStatusText(LangText(multiImageMode_ ? TextId::kArrowsOrF5 : TextId::kDragHint));
  }
  Opened();
  ShowSource();
  RunPreview(true);
  // Checked in an earlier run: the motions are estimated once the panel is up, then the ghosts.
  if (alignBox_ != nullptr && alignBox_->isChecked())
    QTimer::singleShot(0, this, [this] { EstimateMotions(); });
  else if (ghostBox_ != nullptr && ghostBox_->isChecked())
    QTimer::singleShot(0, this, [this] { UpdateGhosts(); });
}

void FusionPanel::AddAlignBox() {
  alignBox_ = new QCheckBox(UiText(TextId::kAlignPictures), this);
  alignBox_->setChecked(host_.Startup().alignPictures != 0);
  Body()->addWidget(alignBox_);
  connect(alignBox_, &QCheckBox::toggled, this, &FusionPanel::AlignToggled);
}

void FusionPanel::AddGhostControls() {
  // The strength's row joins the sliders' grid, under "Exposure"; it matters only with the box.
  strengthIndex_ = AddSlider(UiText(TextId::kGhostStrength), parameter::kDeghostStrength,
                             host_.Startup().ghostStrength);
  ghostBox_ = new QCheckBox(UiText(TextId::kRemoveGhosts), this);
  ghostBox_->setChecked(host_.Startup().removeGhosts != 0);
  Body()->addWidget(ghostBox_);
  connect(ghostBox_, &QCheckBox::toggled, this, &FusionPanel::GhostToggled);
  SetRowEnabled(strengthIndex_, ghostBox_->isChecked());
  overlayBox_ = new QCheckBox(UiText(TextId::kShowRejected), this);
  Body()->addWidget(overlayBox_);
  connect(overlayBox_, &QCheckBox::toggled, this, [this] { ShowOverlay(); });
}

void FusionPanel::GhostToggled(bool on) {
  host_.Startup().removeGhosts = on ? 1 : 0;  // kept when toggled, stored at exit
  SetRowEnabled(strengthIndex_, on && OkButton()->isEnabled());
  UpdateGhosts();
}

bool FusionPanel::UsesGhosts() const {
  return ghostBox_ != nullptr && ghostBox_->isChecked() && ghosts_ != nullptr &&
         ghosts_->strength == Strength() && ghosts_->aligned == UsesAlignment();
}

void FusionPanel::UpdateGhosts() {
  if (IsClosed()) return;
  // With "Align pictures" checked the pictures are compared once they are aligned
  // (MotionsEstimated comes back here).
  const bool aligning = alignBox_ != nullptr && alignBox_->isChecked() && !alignment_;
  if (ghostBox_ != nullptr && ghostBox_->isChecked() && !aligning && !UsesGhosts()) {
    EstimateGhosts();
    return;
  }
  ShowOverlay();
  RunPreview(true);
}

void FusionPanel::EstimateGhosts() {
  // One comparison at a time: a slider that moves on while one runs is looked at after it.
  if (estimatingGhosts_) return;
  estimatingGhosts_ = true;
  // The comparison reads every picture: it must not share the cores with a preview.
  StopPreviews();
  EnableControls(false);
  auto found = std::make_shared<SeriesGhosts>();
  auto overlay = std::make_shared<ScopedPicBuf>();
  std::shared_ptr<const SeriesAlignment> alignment =
      UsesAlignment() ? alignment_ : std::shared_ptr<const SeriesAlignment>();
  JobBody body = [cache = cache_, files = Files(), alignment, strength = Strength(), found,
                  overlay](JobProgress& progress) {
    // The pictures come from the previews' cache: read once for both.
    const SeriesLoader loader = [&cache](const std::filesystem::path& path, SBxPicBuf* picture) {
      return cache->Load(path, picture);
    };
    *found = EstimateSeriesGhosts(files, alignment.get(), strength, &progress, loader);
    if (found->status == SeriesGhostStatus::kCancelled) return JobResult{JobEnd::kCancelled, {}};
    if (found->status != SeriesGhostStatus::kEstimated)
      return JobResult{JobEnd::kFailed, CannotFuseText(SeriesFusionStatus::kOutOfMemory)};
    GhostOverlayPlane(*found, overlay->get());  // none when memory runs out: nothing to show
    return JobResult{};
  };
  QPointer<FusionPanel> self(this);
  const bool started = host_.Jobs().StartProgressJob(
      std::move(body), [self, found, overlay](const JobResult& result) {
        if (self) self->GhostsEstimated(result, found, overlay);
      });
  if (!started) GhostsEstimated(JobResult{JobEnd::kCancelled, {}}, found, overlay);
}

void FusionPanel::GhostsEstimated(const JobResult& result,
                                  std::shared_ptr<const SeriesGhosts> found,
                                  std::shared_ptr<ScopedPicBuf> overlay) {
  estimatingGhosts_ = false;
  // Aborted: the series is previewed without ghost removal (GhostToggled).
  if (!EstimationEnded(result, ghostBox_)) return;
  ghosts_ = std::move(found);
  overlay_ = std::move(overlay);
  // Aligned, what the alignment found stays in the line, the ghosts after it.
  const std::string ghostText = GhostStatusText(*ghosts_);
  host_.SetStatusText(UsesAlignment() ? AlignmentStatusText(*alignment_, Files()) + "; " + ghostText
                                      : ghostText);
  UpdateGhosts();  // compares again if the strength moved on meanwhile, else previews
}

void FusionPanel::ShowOverlay() {
  const bool shown = overlayBox_ != nullptr && overlayBox_->isChecked() && UsesGhosts() &&
                     overlay_ != nullptr && !IsEmpty(**overlay_);
  const SBxPicBuf* wanted = shown ? overlay_->get() : nullptr;
  if (IsClosed() || host_.View().overlay == wanted) return;
  host_.View().overlay = wanted;
  host_.SendMessage(AppMessage::kRedrawShown);
}

void FusionPanel::EnableControls(bool enabled) {
  SetControlsEnabled(enabled);
  for (QCheckBox* box : {alignBox_, ghostBox_, overlayBox_})
    if (box != nullptr) box->setEnabled(enabled);
  if (strengthIndex_ >= 0) SetRowEnabled(strengthIndex_, enabled && ghostBox_->isChecked());
}

int FusionPanel::Strength() const {
  return strengthIndex_ >= 0 ? PanelBase::Value(strengthIndex_)
                             : parameter::kDeghostStrength.defaultValue;
}

void FusionPanel::AlignToggled(bool on) {
  host_.Startup().alignPictures = on ? 1 : 0;  // kept when toggled, stored at exit
  if (on && !alignment_) {
    EstimateMotions();
    return;
  }
  ReloadMovedPicture();
  UpdateGhosts();
}

bool FusionPanel::UsesAlignment() const {
  return alignBox_ != nullptr && alignBox_->isChecked() && alignment_ != nullptr;
}

void FusionPanel::EstimateMotions() {
  if (IsClosed() || alignment_ || alignBox_ == nullptr || !alignBox_->isChecked()) return;
  // The estimation reads every picture: it must not share the cores with a preview.
  StopPreviews();
  EnableControls(false);
  auto found = std::make_shared<SeriesAlignment>();
  JobBody body = [files = Files(), found](JobProgress& progress) {
    *found = EstimateSeriesAlignment(files, AlignSettings{}, &progress);
    if (found->status == SeriesAlignStatus::kEstimated) return JobResult{};
    if (found->status == SeriesAlignStatus::kCancelled) return JobResult{JobEnd::kCancelled, {}};
    return JobResult{JobEnd::kFailed, CannotFuseText(SeriesFusionStatus::kOutOfMemory)};
  };
  QPointer<FusionPanel> self(this);
  const bool started =
      host_.Jobs().StartProgressJob(std::move(body), [self, found](const JobResult& result) {
        if (self) self->MotionsEstimated(result, found);
      });
  if (!started) MotionsEstimated(JobResult{JobEnd::kCancelled, {}}, found);
}

bool FusionPanel::EstimationEnded(const JobResult& result, QCheckBox* box) {
  if (IsClosed()) return false;
  EnableControls(true);
  host_.DisableCommandsForPanel();
  if (result.end == JobEnd::kFinished) return true;
  if (result.end == JobEnd::kFailed)
    host_.Dialogs().ShowMessage(host_.Window(), LangText(TextId::kWarning), result.message,
                                MessageIcon::kWarning);
  box->setChecked(false);
  return false;
}

void FusionPanel::MotionsEstimated(const JobResult& result,
                                   std::shared_ptr<const SeriesAlignment> found) {
  // Aborted: the series stays as it is; unchecking shows its preview again (AlignToggled).
  if (!EstimationEnded(result, alignBox_)) return;
  alignment_ = std::move(found);
  host_.SetStatusText(AlignmentStatusText(*alignment_, Files()));
  ReloadMovedPicture();
  UpdateGhosts();
}

void FusionPanel::AskForSeriesKeys() {
  // The series is browsed with the keyboard: while the panel is open it takes every key.
  // Left and Right show the previous and next picture (once per press), F5 switches between
  // the pictures and the result; the panel's own controls keep the other keys (Up, Down and
  // the Page keys move the slider).
  PanelKeys keys = Keys();
  keys.holdsKeyboard = true;
  keys.grabs = {{Qt::Key_Left, true, [this] { Browse(CommandId::kPrevious); }},
                {Qt::Key_Right, true, [this] { Browse(CommandId::kNext); }},
                {Qt::Key_F5, false, [this] {
                   if (!IsClosed()) host_.SendCommand(CommandId::kToggleSources);
                 }}};
  AskForKeys(std::move(keys));
}

void FusionPanel::SliderMoved(int index, bool recompute) {
  if (index == strengthIndex_) {
    host_.Startup().ghostStrength = Strength();
    if (recompute) UpdateGhosts();  // the weights depend on it: compared again
    return;
  }
  if (recompute) RunPreview(true);
}

void FusionPanel::SlidersReset() {
  if (strengthIndex_ >= 0) host_.Startup().ghostStrength = Strength();
  UpdateGhosts();
}

std::vector<std::filesystem::path> FusionPanel::Files() const {
  const SourceList& list = host_.State().sourceList;
  return list.First(kind_.multiImage ? list.count : DaylightFusedCount(Value(), list.count));
}

int FusionPanel::Exposure() const {
  return kind_.multiImage ? Value() : parameter::kDaylightExposure;
}

void FusionPanel::RunPreview(bool force) {
  if (IsClosed() || !model_->NeedsPreview(force)) return;
  const CBxRect region = model_->Region();
  const CBxRect rect = model_->IntegerRect();
  model_->PreviewDone();  // asked for: a release on the same region computes nothing more
  auto fused = std::make_shared<ScopedPicBuf>();
  auto report = std::make_shared<SeriesFusionReport>();
  // The motions are shared with the worker: they stay while a preview uses them.
  std::shared_ptr<const SeriesAlignment> alignment =
      UsesAlignment() ? alignment_ : std::shared_ptr<const SeriesAlignment>();
  std::shared_ptr<const SeriesGhosts> ghosts =
      UsesGhosts() ? ghosts_ : std::shared_ptr<const SeriesGhosts>();
  StartPreview(
      [cache = cache_, files = Files(), alignment, ghosts, region, rect, exposure = Exposure(),
       fused, report](JobProgress& progress) {
        if (ghosts)
          *report = FuseGhostPreviewRect(*cache, files, alignment.get(), *ghosts, region, rect,
                                         exposure, &progress, fused->get());
        else
          *report = alignment ? FuseAlignedPreviewRect(*cache, files, *alignment, region, rect,
                                                       exposure, &progress, fused->get())
                              : FusePreviewRect(*cache, files, region, rect, exposure, &progress,
                                                fused->get());
      },
      [this, fused, report, rect] {
        std::swap(*preview_, **fused);
        ShowPreviewInResult(*preview_, rect);
        ReportSkipped(*report);
      });
}

void FusionPanel::ReportSkipped(const SeriesFusionReport& report) {
  const std::string text = FusionReportText(report);
  if (!text.empty()) host_.SetStatusText(text);
}

bool FusionPanel::ViewMousePress(QPoint position) {
  return !IsClosed() && drag_.Press(host_, *model_, position);
}

bool FusionPanel::ViewMouseMove(QPoint position, bool leftButtonDown) {
  return !IsClosed() && drag_.Move(host_, *model_, position, leftButtonDown);
}

void FusionPanel::ViewMouseRelease(QPoint /*position*/) {
  drag_.Release();
  RunPreview(false);
}

void FusionPanel::Browse(CommandId command) {
  AppState& state = host_.State();
  SourceList& list = state.sourceList;
  if (IsClosed() || !multiImageMode_ || list.count <= 0) return;
  list.index = command == CommandId::kPrevious ? (list.index > 0 ? list.index - 1 : list.count - 1)
                                               : (list.index + 1) % list.count;
  LoadCurrentPicture();
  host_.ShowSeriesStatus(TextId::kUseArrows);
  // The new picture with the preview as shown, at the rectangle.
  SourceChanged();
  ShowPreviewInResult(*preview_, model_->IntegerRect());
}

void FusionPanel::LoadCurrentPicture() {
  AppState& state = host_.State();
  const SourceList& list = state.sourceList;
  std::filesystem::path loaded;
  if (OpenSourceImage(&state.document, list.entries[static_cast<size_t>(list.index)], &loaded))
    return;
  state.currentFilePath = loaded;
  // Aligned, the picture is shown where the fusion puts it (as it is when memory runs out).
  if (UsesAlignment() && !AlignShownPicture(*alignment_, list.index, &state.document.source) &&
      !IsEmpty(state.document.mask))
    AlignShownPicture(*alignment_, list.index, &state.document.mask);  // its alpha with it
}

void FusionPanel::ReloadMovedPicture() {
  const SourceList& list = host_.State().sourceList;
  if (!multiImageMode_ || !alignment_ || list.index < 0 || list.index >= list.count ||
      !alignment_->Moved(list.index))
    return;
  LoadCurrentPicture();
  SourceChanged();
  ShowPreviewInResult(*preview_, model_->IntegerRect());
}

void FusionPanel::Accept() {
  const bool aligned = UsesAlignment();
  const bool deghosted = ghostBox_ != nullptr && ghostBox_->isChecked();
  const uint64_t fallback = FusionBytes(host_.State().document.source);
  const uint64_t need =
      deghosted ? GhostFusionBytesFromHeader(Files().front(), aligned).value_or(fallback)
      : aligned ? AlignedFusionBytesFromHeader(Files().front()).value_or(fallback)
                : fallback;
  if (!MemoryAllows(host_, TextId::kJobFusing, need)) return;
  // The full fusion does not need the preview: it must not wait for one, nor share the cores.
  previewDropped_ = StopPreviews();
  WriteSetting(StoredKey(kind_).key, std::to_string(Value()));
  EnableControls(false);
  auto report = std::make_shared<SeriesFusionReport>();
  auto fused = std::make_shared<ScopedPicBuf>();
  JobBody body = [cache = cache_, files = Files(), exposure = Exposure(), aligned, deghosted,
                  strength = Strength(), report, fused](JobProgress& progress) {
    // Aligned or with ghosts removed, the very pipelines of `fuse --align` and `fuse --deghost`
    // (their default model and reference), so that the saved picture is the command line's.
    if (deghosted)
      *report = FuseDeghostedFiles(files, exposure, false, AlignSettings{}, aligned, strength,
                                   &progress, fused->get())
                    .fused.fusion;
    else
      *report = aligned ? FuseAlignedFiles(files, exposure, false, AlignSettings{}, &progress,
                                           fused->get())
                              .fusion
                        : FuseFromCache(*cache, files, exposure, &progress, fused->get());
    if (report->status == SeriesFusionStatus::kFused) return JobResult{};
    if (report->status == SeriesFusionStatus::kCancelled) return JobResult{JobEnd::kCancelled, {}};
    return JobResult{JobEnd::kFailed, CannotFuseText(report->status)};
  };
  QPointer<FusionPanel> self(this);
  const bool started = host_.Jobs().StartProgressJob(
      std::move(body), [self, report, fused](const JobResult& result) {
        if (self) self->OkFinished(result, *report, **fused);
      });
  if (!started) OkFinished(JobResult{JobEnd::kCancelled, {}}, *report, **fused);
}

void FusionPanel::OkFinished(const JobResult& result, const SeriesFusionReport& report,
                             const SBxPicBuf& fused) {
  if (result.end != JobEnd::kFinished) {
    // Aborted or failed: back in the panel, with the source and its preview as they were.
    if (result.end == JobEnd::kFailed)
      host_.Dialogs().ShowMessage(host_.Window(), LangText(TextId::kWarning), result.message,
                                  MessageIcon::kWarning);
    EnableControls(true);
    host_.DisableCommandsForPanel();
    if (previewDropped_) RunPreview(true);
    previewDropped_ = false;
    return;
  }
  ImageDocument& document = host_.State().document;
  if (fused.components == document.result.components) CopyPicture(&document.result, fused);
  Close(true);
  ReportSkipped(report);
}

void FusionPanel::Reject() {
  ShowSource();
  Close(false);
}

void FusionPanel::Closed(bool accepted) {
  AppState& state = host_.State();
  ImageDocument& document = state.document;
  if (!multiImageMode_) {
    // The picture the series was made from comes back, with its own alpha and path.
    std::filesystem::path loaded;
    if (!state.jobSourcePath.empty() && !OpenSourceImage(&document, state.jobSourcePath, &loaded))
      state.currentFilePath = loaded;
    if (!IsEmpty(*backup_) && SameGeometry(*backup_, document.source))
      CBxPicBufAPI::Copy(&document.source, backup_.get());
  }
  if (!kind_.multiImage) host_.GreyMenus(false);
  host_.View().overlay = nullptr;
  if (accepted) {
    host_.SendMessage(AppMessage::kResultNotSaved);
    host_.SetZoomBoxEnabled(true);
    host_.SetStatusText(kind_.multiImage
                            ? LangText(multiImageMode_ ? TextId::kPressF5 : TextId::kRightClickHint)
                            : std::string());
  } else {
    if (multiImageMode_) host_.SendCommand(CommandId::kClose);
    host_.SetStatusText({});
  }
  state.currentFilePath = savedCurrentFile_;
}
