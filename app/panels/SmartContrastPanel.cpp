#include "app/panels/SmartContrastPanel.h"

#include <QLabel>
#include <QVBoxLayout>
#include <array>
#include <string>
#include <vector>

#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/UiText.h"
#include "app/panels/PanelControls.h"
#include "app/state/AppState.h"
#include "jobs/MemoryNeed.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

SmartContrastPanel::SmartContrastPanel(PanelHost& host)
    : PanelBase(host, TextId::kSmartContrastItem), job_(std::make_shared<SmartContrastJob>()) {
  const SBxPicBuf& source = host_.State().document.source;
  prepared_ = MemoryAllows(host_, TextId::kJobSmartContrast, SmartContrastBytes(source)) &&
              !job_->Prepare(source);
  Body()->addWidget(new QLabel(UiText(TextId::kLevelsOfDetails), this));
  for (int k = 0; k < kSmartContrastSliders; ++k) {
    // The label shows the stored text as it is; the value is the number it starts with.
    const std::string stored = ReadSettingText(setting::kLod[k]);
    AddSlider(QString::number(k + 1) + QLatin1Char('.'), parameter::kLodGain,
              ParseSettingInt(stored));
    SetValueText(k, QString::fromStdString(stored));
    SetRowEnabled(k, prepared_ && k < job_->Levels());
  }
  AddSetDefault();
  AddOkCancel();
  if (!prepared_ || job_->Levels() == 0)
    host_.SetStatusText(LangText(TextId::kSmartContrastUnchanged));
  Opened();
  Rebuild();
}

void SmartContrastPanel::SliderMoved(int /*index*/, bool recompute) {
  if (recompute) Rebuild();
}

void SmartContrastPanel::SlidersReset() {
  Rebuild();
}

void SmartContrastPanel::Rebuild() {
  ++rebuilds_;
  // A picture the engine cannot take is shown unchanged, never as garbage.
  if (!prepared_) {
    ShowSource();
    return;
  }
  std::array<int, kSmartContrastSliders> lod{};
  for (int k = 0; k < kSmartContrastSliders; ++k)
    lod[static_cast<size_t>(k)] = Value(k);
  auto rebuilt = std::make_shared<ScopedPicBuf>();
  auto failed = std::make_shared<bool>(true);
  StartPreview([job = job_, lod, rebuilt,
                failed](JobProgress&) { *failed = job->Apply(lod.data(), rebuilt->get()); },
               [this, rebuilt, failed] {
                 if (*failed)
                   ShowSource();
                 else
                   ReplaceResult(rebuilt->get());
               });
}

void SmartContrastPanel::Accept() {
  // The result is the last rebuild: it must be there before the panel closes on it.
  FinishPreviews();
  std::vector<SettingText> values;
  for (int k = 0; k < kSmartContrastSliders; ++k)
    values.push_back({setting::kLod[k].key, ValueLabel(k)->text().toStdString()});
  WriteSettings(values);
  Close(true);
}

void SmartContrastPanel::Reject() {
  ShowSource();
  Close(false);
}

void SmartContrastPanel::Closed(bool accepted) {
  if (accepted) host_.SendMessage(AppMessage::kResultNotSaved);
  host_.SetZoomBoxEnabled(true);
  host_.SetStatusText(
      LangText(host_.State().multiImageMode ? TextId::kPressF5 : TextId::kRightClickHint));
}
