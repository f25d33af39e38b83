#include "app/panels/SmartContrastPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/state/AppState.h"
#include "jobs/MemoryNeed.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

namespace {
constexpr int kTextSetDefault = 53;
constexpr int kTextTitle = 101;   // "Smart Contrast..."
constexpr int kTextLevels = 102;  // " Levels of details"
constexpr int kTextRightClickHint = 81;

}  // namespace

SmartContrastPanel::SmartContrastPanel(PanelHost& host) : host_(host) {
  AppState& state = host_.State();
  state.toolDialogOpen = 1;
  host_.SendMessage(kMsgWaitCursor);
  prepared_ = MemoryAllows(host_, "Smart Contrast", SmartContrastBytes(state.document.source)) &&
              !job_.Prepare(state.document.source);
  BuildControls();
  Rebuild();
  host_.SendMessage(kMsgArrowCursor);
  if (!prepared_ || job_.Levels() == 0)
    host_.SetStatusText(
        "Smart Contrast needs a picture of 8 or 16 bits with at least 11 pixels on each side: "
        "this one stays unchanged.");
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
  auto* setDefault = new QPushButton(PanelText(kTextSetDefault), this);
  QVBoxLayout* layout = PanelLayout(this, kTextTitle);
  layout->addWidget(new QLabel(PanelText(kTextLevels), this));
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
  host_.SendMessage(kMsgWaitCursor);
  // A picture the engine cannot take is shown unchanged, never as garbage.
  if (!prepared_ || job_.Apply(lod_, &document.result))
    CopyPicture(&document.result, document.source);
  ++rebuilds_;
  host_.SendMessage(kMsgRedraw);
  host_.SendMessage(kMsgArrowCursor);
}

void SmartContrastPanel::Ok() {
  std::vector<SettingText> values;
  for (int k = 0; k < kSmartContrastSliders; ++k)
    values.push_back(
        {setting::kLod[k].key, rows_[static_cast<size_t>(k)].value->text().toStdString()});
  WriteSettings(values);
  host_.SendMessage(kMsgResultNotSaved);
  Close();
}

void SmartContrastPanel::Cancel() {
  ImageDocument& document = host_.State().document;
  CopyPicture(&document.result, document.source);
  Close();
}

void SmartContrastPanel::Close() {
  host_.ClosePanel(this);
  host_.SendMessage(kMsgRedraw);
  host_.SetZoomBoxEnabled(true);
  host_.SetStatusText(LangText(host_.State().multiImageMode ? kTextPressF5 : kTextRightClickHint));
}

void SmartContrastPanel::keyPressEvent(QKeyEvent* event) {
  if (!AnswerPanelKey(
          event, [this] { Ok(); }, [this] { Cancel(); }))
    ToolPanel::keyPressEvent(event);
}
