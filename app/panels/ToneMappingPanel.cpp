#include "app/panels/ToneMappingPanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/RenderView.h"
#include "app/UiText.h"
#include "app/state/AppState.h"
#include "jobs/MemoryNeed.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"

namespace {
// The sliders' names, in the order of SliderValue.
constexpr TextId kSliderTexts[] = {TextId::kToneContrast, TextId::kToneNoise, TextId::kToneDetails,
                                   TextId::kToneEqualization};

int* SliderValue(ToneSliders* values, int index) {
  int* fields[] = {&values->contrast, &values->noise, &values->details, &values->equalization};
  return fields[index];
}
}  // namespace

ToneMappingPanel::ToneMappingPanel(PanelHost& host)
    : host_(host), progress_(std::make_shared<ToneJobProgress>()) {
  const StartupSettings& stored = host_.Startup();
  for (int i = 0; i < 4; ++i)
    *SliderValue(&values_, i) = parameter::kTonePower.Clamp(stored.uiPowerT[i]);
  values_.extraColors = stored.uiUseColors != 0;
  ImageDocument& document = host_.State().document;
  CopyPicture(&document.result, document.source);
  host_.SendMessage(AppMessage::kRedraw);
  BuildControls();
  AskForKeys(PanelKeys::OkCancel([this] { Ok(); }, [this] { Cancel(); }));
  host_.DisableCommandsForPanel();
}

ToneMappingPanel::~ToneMappingPanel() = default;

void ToneMappingPanel::BuildControls() {
  auto* grid = new QGridLayout;
  for (int i = 0; i < 4; ++i) {
    rows_[static_cast<size_t>(i)] = AddSliderRow(grid, i, this, UiText(kSliderTexts[i]),
                                                 parameter::kTonePower, *SliderValue(&values_, i));
    QSlider* slider = rows_[static_cast<size_t>(i)].slider;
    connect(slider, &QAbstractSlider::actionTriggered, this,
            [this, i](int action) { OnSliderAction(i, action); });
    connect(slider, &QAbstractSlider::sliderReleased, this,
            [this, i] { OnSliderAction(i, QAbstractSlider::SliderNoAction); });
  }
  extraColors_ = new QCheckBox(UiText(TextId::kExtraColors), this);
  extraColors_->setChecked(values_.extraColors);
  extraColors_->setVisible(host_.State().document.source.components > 1);
  preview_ = new QCheckBox(UiText(TextId::kPreview), this);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  bar_->hide();
  abort_ = new QPushButton(UiText(TextId::kAbort), this);
  abort_->hide();
  QVBoxLayout* layout = PanelLayout(this, TextId::kToneMappingItem);
  layout->addLayout(grid);
  layout->addWidget(extraColors_);
  layout->addWidget(preview_);
  layout->addWidget(bar_);
  layout->addWidget(abort_, 0, Qt::AlignLeft);
  const OkCancel buttons = AddOkCancel(layout, this);
  ok_ = buttons.ok;
  cancel_ = buttons.cancel;
  setFixedWidth(297);
  setFixedHeight(sizeHint().height());

  connect(extraColors_, &QCheckBox::toggled, this, [this](bool on) {
    values_.extraColors = on;
    host_.Startup().uiUseColors = on ? 1 : 0;  // kept when toggled, stored at exit
    RunPreview();
  });
  connect(preview_, &QCheckBox::toggled, this, &ToneMappingPanel::SetPreview);
  connect(ok_, &QPushButton::clicked, this, &ToneMappingPanel::Ok);
  connect(cancel_, &QPushButton::clicked, this, &ToneMappingPanel::Cancel);
  connect(abort_, &QPushButton::clicked, this, &ToneMappingPanel::Abort);
  progressTimer_ = new QTimer(this);
  progressTimer_->setInterval(50);
  connect(progressTimer_, &QTimer::timeout, this, &ToneMappingPanel::ShowJobProgress);
}

void ToneMappingPanel::OnSliderAction(int index, int action) {
  QSlider* slider = rows_[static_cast<size_t>(index)].slider;
  const SliderScroll scroll = action == QAbstractSlider::SliderNoAction
                                  ? SliderScroll::kThumbPosition
                                  : ScrollOf(action, slider->isSliderDown());
  int* value = SliderValue(&values_, index);
  const SliderStep step =
      StepSlider(parameter::kTonePower, scroll, slider->sliderPosition(), *value);
  slider->setSliderPosition(step.value);
  rows_[static_cast<size_t>(index)].value->setText(QString::number(step.value));
  *value = step.value;
  if (step.force) RunPreview();
}

void ToneMappingPanel::SetPreview(bool on) {
  if (jobRunning_) return;
  if (!on) {
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

void ToneMappingPanel::ShowSource() {
  ImageDocument& document = host_.State().document;
  CopyPicture(&document.result, document.source);
  host_.SendMessage(AppMessage::kRedraw);
}

void ToneMappingPanel::RunPreview() {
  if (!model_ || jobRunning_) return;
  host_.SendMessage(AppMessage::kWaitCursor);
  ImageDocument& document = host_.State().document;
  const CBxRect rect = model_->IntegerRect();
  CopyPicture(&document.result, document.source);
  if (rect.Width() > 0 && rect.Height() > 0) {
    const SBxPicBuf& source = document.source;
    ScopedPicBuf in(rect.Width(), rect.Height(), source.components, source.bitsPerComponent);
    ScopedPicBuf out;
    if (!IsEmpty(*in)) {
      CBxPicBufAPI::CopyRect(in.get(), &source, CBxPoint{0, 0}, CBxPoint{rect.left, rect.top},
                             CBxSize{rect.Width(), rect.Height()});
      if (!ToneMapPicture(*in, values_, nullptr, out.get()))
        CBxPicBufAPI::CopyRect(&document.result, out.get(), CBxPoint{rect.left, rect.top},
                               CBxPoint{0, 0}, CBxSize{rect.Width(), rect.Height()});
    }
  }
  ++previewRuns_;
  model_->PreviewDone();
  host_.SendMessage(AppMessage::kRedraw);
  host_.SendMessage(AppMessage::kArrowCursor);
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
  for (const SliderRow& row : rows_)
    row.SetEnabled(enabled);
  // While the job writes the result, nothing may start a preview, a second job or a close.
  for (QWidget* control : {static_cast<QWidget*>(extraColors_), static_cast<QWidget*>(preview_),
                           static_cast<QWidget*>(ok_), static_cast<QWidget*>(cancel_)})
    control->setEnabled(enabled);
  bar_->setVisible(!enabled);
  abort_->setVisible(!enabled);
  setFixedHeight(sizeHint().height());
}

void ToneMappingPanel::Ok() {
  if (jobRunning_ || !ok_->isEnabled()) return;
  if (!MemoryAllows(host_, TextId::kJobToneMapping, ToneMapBytes(host_.State().document.source)))
    return;
  StartupSettings& stored = host_.Startup();
  for (int i = 0; i < 4; ++i)
    stored.uiPowerT[i] = *SliderValue(&values_, i);
  stored.uiUseColors = values_.extraColors ? 1 : 0;
  AppState& state = host_.State();
  state.cancelRequested = 0;
  progress_->WatchCancelFlag(&state.cancelRequested);
  progress_->position = 0;
  progress_->maximum = 0;
  bar_->setValue(0);
  SetEditing(false);
  JobBody body = [&state, sliders = values_, progress = progress_](JobProgress&) {
    // The main window made the work picture a copy of the source before the job started.
    if (ToneMapPicture(state.workPicture, sliders, progress.get(), &state.document.result))
      return JobResult{JobEnd::kCancelled, {}};
    return JobResult{};
  };
  QPointer<ToneMappingPanel> self(this);
  if (!host_.StartPanelJob(std::move(body), [self](const JobResult& result) {
        if (self) self->JobEnded(result);
      })) {
    SetEditing(true);
    return;
  }
  jobRunning_ = true;
  progressTimer_->start();
}

void ToneMappingPanel::ShowJobProgress() {
  // Two steps beyond the engine's: the bar runs 0..17 for one plane, 0..47 for three.
  bar_->setRange(0, progress_->maximum.load() + 2);
  bar_->setValue(progress_->position.load());
}

void ToneMappingPanel::Abort() {
  if (jobRunning_) host_.State().cancelRequested = 1;
}

void ToneMappingPanel::JobEnded(const JobResult& result) {
  jobRunning_ = false;
  progressTimer_->stop();
  if (result.end == JobEnd::kFinished && !progress_->CancelRequested()) {
    host_.View().previewRect = nullptr;
    host_.SendMessage(AppMessage::kToneJobDone);
    host_.ClosePanel(this);
    host_.SendMessage(AppMessage::kRedraw);
    return;
  }
  // Aborted: the result is the source again and the panel is back to editing.
  host_.SendMessage(AppMessage::kToneJobAbandoned);
  host_.State().toolDialogOpen = 1;
  SetEditing(true);
  bar_->setValue(0);
  RunPreview();
}

void ToneMappingPanel::Cancel() {
  if (jobRunning_ || !cancel_->isEnabled()) return;
  ShowSource();
  host_.ClosePanel(this);
  host_.SendMessage(AppMessage::kRedraw);
}
