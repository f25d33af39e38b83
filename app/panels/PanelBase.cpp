#include "app/panels/PanelBase.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/UiText.h"
#include "app/ViewCacheRegion.h"
#include "app/panels/PanelControls.h"
#include "app/panels/PreviewQueue.h"
#include "app/state/AppState.h"
#include "jobs/PanelPreviews.h"

namespace {
// Every panel is as wide as the dock's content.
constexpr int kPanelWidth = 297;
}  // namespace

PanelBase::PanelBase(PanelHost& host, TextId titleText)
    : host_(host), previews_(new PreviewQueue(this)) {
  host_.State().toolDialogOpen = 1;
  host_.SendMessage(AppMessage::kWaitCursor);
  auto* title = new QLabel(UiText(titleText), this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  body_ = new QVBoxLayout(this);
  body_->setContentsMargins(10, 10, 10, 10);
  body_->addWidget(title);
  AskForKeys(PanelKeys::OkCancel([this] { Ok(); }, [this] { Cancel(); }));
}

PanelBase::~PanelBase() {
  // The preview worker stops with its queue, a child of this widget; nothing it computes
  // reaches the pictures once the panel is gone.
  previews_->Stop();
}

int PanelBase::AddSlider(const QString& name, const ParameterRange& range, int value) {
  if (grid_ == nullptr) {
    grid_ = new QGridLayout;
    body_->addLayout(grid_);
  }
  const int index = sliders_.Add(range, value);
  SliderRow row;
  row.name = new QLabel(name, this);
  row.value = new QLabel(QString::number(value), this);
  row.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  row.slider = new QSlider(Qt::Horizontal, this);
  row.slider->setRange(range.minimum, range.maximum);
  row.slider->setSingleStep(1);
  row.slider->setPageStep(0);  // a page scroll moves by the panels' own step of one
  row.slider->setValue(range.Clamp(value));
  grid_->addWidget(row.name, 2 * index, 0);
  grid_->addWidget(row.value, 2 * index, 1);
  grid_->addWidget(row.slider, 2 * index + 1, 0, 1, 2);
  rows_.push_back(row);
  connect(row.slider, &QAbstractSlider::actionTriggered, this,
          [this, index](int action) { OnSliderAction(index, action); });
  connect(row.slider, &QAbstractSlider::sliderReleased, this,
          [this, index] { OnSliderAction(index, QAbstractSlider::SliderNoAction); });
  return index;
}

void PanelBase::AddSetDefault() {
  setDefault_ = new QPushButton(UiText(TextId::kSetDefault), this);
  body_->addWidget(setDefault_, 0, Qt::AlignLeft);
  connect(setDefault_, &QPushButton::clicked, this, &PanelBase::SetDefault);
}

void PanelBase::AddOkCancel() {
  ok_ = new QPushButton(UiText(TextId::kOk), this);
  cancel_ = new QPushButton(UiText(TextId::kCancel), this);
  ok_->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok_);
  row->addWidget(cancel_);
  body_->addLayout(row);
  connect(ok_, &QPushButton::clicked, this, &PanelBase::Ok);
  connect(cancel_, &QPushButton::clicked, this, &PanelBase::Cancel);
  setFixedWidth(kPanelWidth);
  FitHeight();
}

void PanelBase::FitHeight() {
  setFixedHeight(sizeHint().height());
}

void PanelBase::Opened() {
  host_.DisableCommandsForPanel();
  host_.SendMessage(AppMessage::kArrowCursor);
}

void PanelBase::OnSliderAction(int index, int action) {
  const SliderRow& row = Row(index);
  const SliderScroll scroll = action == QAbstractSlider::SliderNoAction
                                  ? SliderScroll::kThumbPosition
                                  : ScrollOf(action, row.slider->isSliderDown());
  const SliderStep step = sliders_.Scroll(index, scroll, row.slider->sliderPosition());
  row.slider->setSliderPosition(step.value);
  row.value->setText(QString::number(step.value));
  SliderMoved(index, step.force);
}

void PanelBase::SetValue(int index, int value) {
  sliders_.Set(index, value);
  Row(index).slider->setValue(sliders_.Value(index));
  Row(index).value->setText(QString::number(sliders_.Value(index)));
}

void PanelBase::SetValueText(int index, const QString& text) {
  Row(index).value->setText(text);
}

void PanelBase::SetDefault() {
  if (closed_) return;
  sliders_.SetDefaults();
  for (int i = 0; i < sliders_.Count(); ++i)
    SetValue(i, sliders_.Value(i));
  SlidersReset();
}

void PanelBase::SetRowEnabled(int index, bool enabled) {
  const SliderRow& row = Row(index);
  for (QWidget* control : {static_cast<QWidget*>(row.name), static_cast<QWidget*>(row.slider),
                           static_cast<QWidget*>(row.value)})
    control->setEnabled(enabled);
}

void PanelBase::SetControlsEnabled(bool enabled) {
  for (int i = 0; i < sliders_.Count(); ++i)
    SetRowEnabled(i, enabled);
  for (QWidget* control : {static_cast<QWidget*>(setDefault_), static_cast<QWidget*>(ok_),
                           static_cast<QWidget*>(cancel_)})
    if (control != nullptr) control->setEnabled(enabled);
}

void PanelBase::Ok() {
  if (closed_ || ok_ == nullptr || !ok_->isEnabled()) return;
  Accept();
}

void PanelBase::Cancel() {
  if (closed_ || cancel_ == nullptr || !cancel_->isEnabled()) return;
  Reject();
}

bool PanelBase::PreviewPending() const {
  return previews_->Pending();
}

void PanelBase::StartPreview(PreviewWorker::Work work, std::function<void()> show) {
  if (closed_) return;
  ++previewRuns_;
  host_.SendMessage(AppMessage::kWaitCursor);
  previews_->Run(std::move(work), [this, show = std::move(show)] {
    show();
    host_.SendMessage(AppMessage::kArrowCursor);
  });
}

bool PanelBase::StopPreviews() {
  const bool dropped = previews_->Stop();
  if (dropped) host_.SendMessage(AppMessage::kArrowCursor);
  return dropped;
}

void PanelBase::FinishPreviews() {
  previews_->Finish();
}

void PanelBase::ShowSource() {
  ImageDocument& document = host_.State().document;
  CopyPicture(&document.result, document.source);
  pasted_ = {};
  host_.SendMessage(AppMessage::kRedraw);
}

void PanelBase::SourceChanged() {
  pasted_ = WholePicture(host_.State().document.source);
  sourceChanged_ = true;
}

void PanelBase::ShowPreviewInResult(const SBxPicBuf& preview, const CBxRect& at) {
  ImageDocument& document = host_.State().document;
  RedrawResult(ShowPreview(document.source, preview, at, &pasted_, &document.result));
}

void PanelBase::ReplaceResult(SBxPicBuf* picture) {
  ImageDocument& document = host_.State().document;
  std::swap(document.result, *picture);
  pasted_ = WholePicture(document.result);
  RedrawResult(WholePicture(document.result));
}

void PanelBase::RedrawResult(const CBxRect& written) {
  if (written.Width() <= 0 || written.Height() <= 0) return;
  AppState& state = host_.State();
  // Only the result's cache changes, and only where the preview wrote; after a new source,
  // or with a cache that does not fit the result, both caches are made again whole.
  const bool sourceChanged = std::exchange(sourceChanged_, false);
  if (sourceChanged ||
      !RefreshCacheRegion(&host_.View(), state.document.result, kSlotResult, written)) {
    host_.SendMessage(AppMessage::kRedraw);
    return;
  }
  if (!state.showSources) host_.SendMessage(AppMessage::kRedrawResult);
}

void PanelBase::Close(bool accepted) {
  if (closed_) return;
  closed_ = true;
  StopPreviews();
  host_.ClosePanel(this);
  Closed(accepted);
  host_.SendMessage(AppMessage::kRedraw);
}
