#include "app/panels/FusionPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/SeriesMessages.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "app/panels/PanelControls.h"
#include "app/state/AppState.h"
#include "jobs/MemoryNeed.h"
#include "jobs/PreviewFusion.h"
#include "jobs/SeriesPipeline.h"
#include "picture/ImageLoad.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

namespace {
constexpr int kContentWidth = 277;

const SettingKey& StoredKey(const FusionPanelKind& kind) {
  return kind.multiImage ? setting::kMultiImageExposure : setting::kDaylightPower;
}

}  // namespace

FusionPanel::FusionPanel(PanelHost& host, const FusionPanelKind& kind)
    : host_(host),
      kind_(kind),
      multiImageMode_(host.State().multiImageMode != 0),
      cache_(std::make_shared<SeriesPictureCache>()) {
  AppState& state = host_.State();
  savedCurrentFile_ = state.currentFilePath;
  host_.SendMessage(AppMessage::kWaitCursor);
  const SBxPicBuf& source = state.document.source;
  const ViewContext& view = host_.View();
  const int viewWidth = view.surface != nullptr ? view.surface->width : 0;
  const int viewHeight = view.surface != nullptr ? view.surface->height : 0;
  model_.emplace(kind_, source.width, source.height, ViewMap(view), viewWidth, viewHeight);
  host_.View().previewRect = &model_->IntegerRect();

  const int stored = ReadParameterSetting(StoredKey(kind_), kind_.slider);
  value_ = kind_.multiImage ? stored : DaylightFusedCount(stored, state.sourceList.count);
  BuildControls();
  host_.SendMessage(AppMessage::kArrowCursor);

  if (!multiImageMode_) CopyPicture(backup_.get(), source);
  AskForKeys(PanelKeysFor(kind_.multiImage && multiImageMode_));
  if (kind_.multiImage) {
    if (!multiImageMode_) host_.SetStatusText(LangText(TextId::kDragHint));
  } else {
    host_.GreyMenus(true);
    host_.SetStatusText(LangText(multiImageMode_ ? TextId::kArrowsOrF5 : TextId::kDragHint));
  }
  RunPreview(true);
  host_.DisableCommandsForPanel();
}

FusionPanel::~FusionPanel() = default;

PanelKeys FusionPanel::PanelKeysFor(bool browsingSeries) {
  PanelKeys keys = PanelKeys::OkCancel(
      [this] {
        if (!closed_ && ok_->isEnabled()) Ok();
      },
      [this] {
        if (!closed_ && cancel_->isEnabled()) Cancel();
      });
  if (!browsingSeries) return keys;
  // The series is browsed with the keyboard: while the panel is open it takes every key.
  // Left and Right show the previous and next picture, F5 switches between the pictures and
  // the result; the panel's own controls keep the other keys (Up, Down and the Page keys
  // move the slider).
  keys.holdsKeyboard = true;
  keys.grabs = {{Qt::Key_Left, true, [this] { Browse(CommandId::kPrevious); }},
                {Qt::Key_Right, true, [this] { Browse(CommandId::kNext); }},
                {Qt::Key_F5, false, [this] {
                   if (!closed_) host_.SendCommand(CommandId::kToggleSources);
                 }}};
  return keys;
}

void FusionPanel::BuildControls() {
  auto* name = new QLabel(UiText(kind_.multiImage ? TextId::kExposure : TextId::kPower), this);
  valueLabel_ = new QLabel(QString::number(value_), this);
  valueLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setRange(kind_.slider.minimum, kind_.slider.maximum);
  slider_->setSingleStep(1);
  slider_->setPageStep(0);  // a page scroll moves by the panel's own step of one
  slider_->setValue(value_);
  slider_->setFixedWidth(kContentWidth);

  QVBoxLayout* layout = PanelLayout(this, TextId::kFusionTitle);
  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(name);
  valueRow->addWidget(valueLabel_);
  layout->addLayout(valueRow);
  layout->addWidget(slider_);
  if (kind_.multiImage) {
    setDefault_ = new QPushButton(UiText(TextId::kSetDefault), this);
    layout->addWidget(setDefault_, 0, Qt::AlignLeft);
    connect(setDefault_, &QPushButton::clicked, this, &FusionPanel::SetDefault);
  }
  const OkCancel buttons = AddOkCancel(layout, this);
  ok_ = buttons.ok;
  cancel_ = buttons.cancel;
  setFixedSize(sizeHint());

  connect(slider_, &QAbstractSlider::actionTriggered, this, &FusionPanel::OnSliderAction);
  connect(slider_, &QAbstractSlider::sliderReleased, this, &FusionPanel::OnSliderReleased);
  connect(ok_, &QPushButton::clicked, this, &FusionPanel::Ok);
  connect(cancel_, &QPushButton::clicked, this, &FusionPanel::Cancel);
}

void FusionPanel::OnSliderAction(int action) {
  const SliderStep step = StepSlider(kind_.slider, ScrollOf(action, slider_->isSliderDown()),
                                     slider_->sliderPosition(), value_);
  slider_->setSliderPosition(step.value);
  ApplyValue(step.value, step.force);
}

void FusionPanel::OnSliderReleased() {
  ApplyValue(slider_->sliderPosition(), true);
}

void FusionPanel::ApplyValue(int value, bool force) {
  value_ = value;
  valueLabel_->setText(QString::number(value_));
  if (force) RunPreview(true);
}

void FusionPanel::SetDefault() {
  slider_->setValue(kind_.slider.defaultValue);
  ApplyValue(kind_.slider.defaultValue, true);
}

std::vector<std::filesystem::path> FusionPanel::Files() const {
  const SourceList& list = host_.State().sourceList;
  return list.First(kind_.multiImage ? list.count : DaylightFusedCount(value_, list.count));
}

int FusionPanel::Exposure() const {
  return kind_.multiImage ? value_ : parameter::kDaylightExposure;
}

void FusionPanel::RunPreview(bool force) {
  if (closed_ || !model_->NeedsPreview(force)) return;
  host_.SendMessage(AppMessage::kWaitCursor);
  const CBxRect region = model_->Region();
  const std::vector<std::filesystem::path> files = Files();
  ScopedPicBuf fused;
  const SeriesFusionReport report = FusePreview(*cache_, files, region, Exposure(), fused.get());
  ++previewRuns_;
  CBxPicBufAPI::DoneHeap(fusedRegion_.get());
  if (report.status == SeriesFusionStatus::kFused) {
    std::swap(*fusedRegion_, *fused);
    lastRegion_ = region;
  }
  CutPreview();
  ShowResultWithPreview();
  model_->PreviewDone();
  ReportSkipped(report);
  host_.SendMessage(AppMessage::kArrowCursor);
}

void FusionPanel::CutPreview() {
  const CBxRect& rect = model_->IntegerRect();
  const bool inside = rect.left >= lastRegion_.left && rect.top >= lastRegion_.top &&
                      rect.right <= lastRegion_.right && rect.bottom <= lastRegion_.bottom;
  if (IsEmpty(*fusedRegion_) || rect.Width() <= 0 || rect.Height() <= 0 || !inside) {
    CBxPicBufAPI::DoneHeap(preview_.get());
    return;
  }
  CBxPicBufAPI::ReinitHeap(preview_.get(), rect.Width(), rect.Height(), fusedRegion_->components,
                           fusedRegion_->bitsPerComponent);
  if (IsEmpty(*preview_)) return;
  CBxPicBufAPI::CopyRect(preview_.get(), fusedRegion_.get(), CBxPoint{0, 0},
                         CBxPoint{rect.left - lastRegion_.left, rect.top - lastRegion_.top},
                         CBxSize{rect.Width(), rect.Height()});
}

void FusionPanel::ShowResultWithPreview() {
  ImageDocument& document = host_.State().document;
  CopyPicture(&document.result, document.source);
  const CBxRect& rect = model_->IntegerRect();
  const bool fits = !IsEmpty(*preview_) && !IsEmpty(document.result) &&
                    preview_->components == document.result.components &&
                    preview_->bitsPerComponent == document.result.bitsPerComponent &&
                    rect.right <= document.result.width && rect.bottom <= document.result.height;
  if (fits)
    CBxPicBufAPI::CopyRect(&document.result, preview_.get(), CBxPoint{rect.left, rect.top},
                           CBxPoint{0, 0}, CBxSize{preview_->width, preview_->height});
  host_.SendMessage(AppMessage::kRedraw);
}

void FusionPanel::ReportSkipped(const SeriesFusionReport& report) {
  const std::string text = FusionReportText(report);
  if (!text.empty()) host_.SetStatusText(text);
}

bool FusionPanel::ViewMousePress(QPoint position) {
  return !closed_ && drag_.Press(host_, *model_, position);
}

bool FusionPanel::ViewMouseMove(QPoint position, bool leftButtonDown) {
  return !closed_ && drag_.Move(host_, *model_, position, leftButtonDown);
}

void FusionPanel::ViewMouseRelease(QPoint /*position*/) {
  drag_.Release();
  RunPreview(false);
}

void FusionPanel::Browse(CommandId command) {
  AppState& state = host_.State();
  SourceList& list = state.sourceList;
  if (closed_ || !multiImageMode_ || list.count <= 0) return;
  list.index = command == CommandId::kPrevious ? (list.index > 0 ? list.index - 1 : list.count - 1)
                                               : (list.index + 1) % list.count;
  std::filesystem::path loaded;
  if (!OpenSourceImage(&state.document, list.entries[static_cast<size_t>(list.index)], &loaded))
    state.currentFilePath = loaded;
  host_.ShowSeriesStatus(TextId::kUseArrows);
  ShowResultWithPreview();
}

void FusionPanel::SetButtonsEnabled(bool enabled) {
  for (QWidget* control : {static_cast<QWidget*>(slider_), static_cast<QWidget*>(ok_),
                           static_cast<QWidget*>(cancel_), static_cast<QWidget*>(setDefault_)})
    if (control != nullptr) control->setEnabled(enabled);
}

void FusionPanel::Ok() {
  if (closed_ || !ok_->isEnabled()) return;
  if (!MemoryAllows(host_, TextId::kJobFusing, FusionBytes(host_.State().document.source))) return;
  WriteSetting(StoredKey(kind_).key, std::to_string(value_));
  SetButtonsEnabled(false);
  auto report = std::make_shared<SeriesFusionReport>();
  auto fused = std::make_shared<ScopedPicBuf>();
  JobBody body = [cache = cache_, files = Files(), exposure = Exposure(), report,
                  fused](JobProgress& progress) {
    *report = FuseFromCache(*cache, files, exposure, &progress, fused->get());
    if (report->status == SeriesFusionStatus::kFused) return JobResult{};
    if (report->status == SeriesFusionStatus::kCancelled) return JobResult{JobEnd::kCancelled, {}};
    return JobResult{JobEnd::kFailed, CannotFuseText(report->status)};
  };
  QPointer<FusionPanel> self(this);
  const bool started =
      host_.StartProgressJob(std::move(body), [self, report, fused](const JobResult& result) {
        if (self) self->OkFinished(result, *report, **fused);
      });
  if (!started) SetButtonsEnabled(true);
}

void FusionPanel::OkFinished(const JobResult& result, const SeriesFusionReport& report,
                             const SBxPicBuf& fused) {
  if (result.end != JobEnd::kFinished) {
    // Aborted or failed: back in the panel, with the source and its preview as they were.
    if (result.end == JobEnd::kFailed)
      host_.Dialogs().ShowMessage(host_.Window(), LangText(TextId::kWarning), result.message,
                                  MessageIcon::kWarning);
    SetButtonsEnabled(true);
    host_.DisableCommandsForPanel();
    return;
  }
  ImageDocument& document = host_.State().document;
  if (fused.components == document.result.components) CopyPicture(&document.result, fused);
  Close(true);
  ReportSkipped(report);
}

void FusionPanel::Cancel() {
  if (closed_ || !cancel_->isEnabled()) return;
  Close(false);
}

void FusionPanel::Close(bool accepted) {
  closed_ = true;
  AppState& state = host_.State();
  ImageDocument& document = state.document;
  if (!accepted) CopyPicture(&document.result, document.source);
  host_.ClosePanel(this);
  if (!multiImageMode_) {
    // The picture the series was made from comes back, with its own alpha and path.
    std::filesystem::path loaded;
    if (!state.jobSourcePath.empty() && !OpenSourceImage(&document, state.jobSourcePath, &loaded))
      state.currentFilePath = loaded;
    if (!IsEmpty(*backup_) && SameGeometry(*backup_, document.source))
      CBxPicBufAPI::Copy(&document.source, backup_.get());
  }
  if (!kind_.multiImage) host_.GreyMenus(false);
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
  host_.SendMessage(AppMessage::kRedraw);
  state.currentFilePath = savedCurrentFile_;
}
