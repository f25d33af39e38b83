#include "app/panels/SmartContrastPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/UiText.h"
#include "app/state/AppState.h"
#include "jobs/MemoryNeed.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"

namespace {}  // namespace

SmartContrastPanel::SmartContrastPanel(PanelHost& host) : host_(host) {
  AppState& state = host_.State();
  state.toolDialogOpen = 1;
  host_.SendMessage(AppMessage::kWaitCursor);
  prepared_ =
      MemoryAllows(host_, TextId::kJobSmartContrast, SmartContrastBytes(state.document.source)) &&
      !job_.Prepare(state.document.source);
  BuildControls();
  Rebuild();
  host_.SendMessage(AppMessage::kArrowCursor);
  if (!prepared_ || job_.Levels() == 0)
    host_.SetStatusText(LangText(TextId::kSmartContrastUnchanged));
  AskForKeys(PanelKeys::OkCancel([this] { Ok(); }, [this] { Cancel(); }));
  host_.DisableCommandsForPanel();
}

void SmartContrastPanel::BuildControls() {
  auto* grid = new QGridLayout;
  for (int k = 0; k < kSmartContrastSliders; ++k) {
    // The label shows the stored text as it is; the value is the number it starts with.
    const std::string stored = ReadSettingText(setting::kLod[k]);
    lod_[k] = ParseSettingInt(stored);
    SliderRow& row = rows_[static_cast<size_t>(k)];
    row = AddSliderRow(grid, k, this, QString::number(k + 1) + QLatin1Char('.'),
                       parameter::kLodGain, lod_[k]);
    row.value->setText(QString::fromStdString(stored));
    row.SetEnabled(prepared_ && k < job_.Levels());
    connect(row.slider, &QAbstractSlider::actionTriggered, this,
            [this, k](int action) { OnSliderAction(k, action); });
    connect(row.slider, &QAbstractSlider::sliderReleased, this,
            [this, k] { OnSliderAction(k, QAbstractSlider::SliderNoAction); });
  }
  auto* setDefault = new QPushButton(UiText(TextId::kSetDefault), this);
  QVBoxLayout* layout = PanelLayout(this, TextId::kSmartContrastItem);
  layout->addWidget(new QLabel(UiText(TextId::kLevelsOfDetails), this));
  layout->addLayout(grid);
  layout->addWidget(setDefault, 0, Qt::AlignLeft);
  const OkCancel buttons = AddOkCancel(layout, this);
  ok_ = buttons.ok;
  cancel_ = buttons.cancel;
  setFixedWidth(297);
  setFixedHeight(sizeHint().height());

  connect(setDefault, &QPushButton::clicked, this, &SmartContrastPanel::SetDefault);
  connect(ok_, &QPushButton::clicked, this, &SmartContrastPanel::Ok);
  connect(cancel_, &QPushButton::clicked, this, &SmartContrastPanel::Cancel);
}

void SmartContrastPanel::OnSliderAction(int level, int action) {
  const SliderRow& row = rows_[static_cast<size_t>(level)];
  const SliderScroll scroll = action == QAbstractSlider::SliderNoAction
                                  ? SliderScroll::kThumbPosition
                                  : ScrollOf(action, row.slider->isSliderDown());
  const SliderStep step =
      StepSlider(parameter::kLodGain, scroll, row.slider->sliderPosition(), lod_[level]);
  row.slider->setSliderPosition(step.value);
  row.value->setText(QString::number(step.value));
  lod_[level] = step.value;
  if (step.force) Rebuild();
}

void SmartContrastPanel::SetDefault() {
  for (int k = 0; k < kSmartContrastSliders; ++k) {
    lod_[k] = parameter::kLodGain.defaultValue;
    rows_[static_cast<size_t>(k)].slider->setValue(lod_[k]);
    rows_[static_cast<size_t>(k)].value->setText(QString::number(lod_[k]));
  }
  Rebuild();
}

void SmartContrastPanel::Rebuild() {
  ImageDocument& document = host_.State().document;
  host_.SendMessage(AppMessage::kWaitCursor);
  // A picture the engine cannot take is shown unchanged, never as garbage.
  if (!prepared_ || job_.Apply(lod_, &document.result))
    CopyPicture(&document.result, document.source);
  ++rebuilds_;
  host_.SendMessage(AppMessage::kRedraw);
  host_.SendMessage(AppMessage::kArrowCursor);
}

void SmartContrastPanel::Ok() {
  std::vector<SettingText> values;
  for (int k = 0; k < kSmartContrastSliders; ++k)
    values.push_back(
        {setting::kLod[k].key, rows_[static_cast<size_t>(k)].value->text().toStdString()});
  WriteSettings(values);
  host_.SendMessage(AppMessage::kResultNotSaved);
  Close();
}

void SmartContrastPanel::Cancel() {
  ImageDocument& document = host_.State().document;
  CopyPicture(&document.result, document.source);
  Close();
}

void SmartContrastPanel::Close() {
  host_.ClosePanel(this);
  host_.SendMessage(AppMessage::kRedraw);
  host_.SetZoomBoxEnabled(true);
  host_.SetStatusText(
      LangText(host_.State().multiImageMode ? TextId::kPressF5 : TextId::kRightClickHint));
}
