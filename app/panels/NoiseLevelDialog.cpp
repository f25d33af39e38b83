#include "app/panels/NoiseLevelDialog.h"

#include <QComboBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <iterator>

#include "app/PanelHost.h"
#include "app/UiText.h"
#include "settings/Parameters.h"
#include "settings/Settings.h"

namespace {
// The levels' names from None up.
constexpr TextId kLevelTexts[] = {TextId::kNoiseNone, TextId::kNoiseLow, TextId::kNoiseMedium,
                                  TextId::kNoiseHigh};
static_assert(std::size(kLevelTexts) ==
              parameter::kDenoiseLevel.maximum - parameter::kDenoiseLevel.minimum + 1);
}  // namespace

NoiseLevelDialog::NoiseLevelDialog(PanelHost& host) : PanelBase(host, TextId::kNoiseTitle) {
  levels_ = new QComboBox(this);
  const ParameterRange& range = parameter::kDenoiseLevel;
  for (int level = range.minimum; level <= range.maximum; ++level)
    levels_->addItem(UiText(kLevelTexts[level - range.minimum]));
  const int stored = ReadSetting(setting::kDenoiseStrength);
  levels_->setCurrentIndex(range.Contains(stored) ? stored - range.minimum : -1);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(UiText(TextId::kNoiseLabel), this));
  row->addWidget(levels_, 1);
  Body()->addLayout(row);
  AddOkCancel();
  Opened();
}

int NoiseLevelDialog::Level() const {
  const int index = levels_->currentIndex();
  return index < 0 ? parameter::kDenoiseLevel.defaultValue
                   : parameter::kDenoiseLevel.minimum + index;
}

void NoiseLevelDialog::Accept() {
  const int level = Level();
  WriteSetting(setting::kDenoiseStrength.key, level);
  Close(true);
  emit Answered(level);
}

void NoiseLevelDialog::Reject() {
  Close(false);
  emit Answered(-1);
}

int NoiseLevelDialog::Ask(PanelHost& host) {
  QPointer<NoiseLevelDialog> panel = new NoiseLevelDialog(host);
  int answer = -1;
  QEventLoop loop;
  connect(panel, &NoiseLevelDialog::Answered, &loop, [&](int level) {
    answer = level;
    loop.quit();
  });
  host.OpenPanel(panel);
  // The window goes on answering the user (the view, the zoom) while the question is open.
  loop.exec();
  // The program ended the loop first: the question closes unanswered.
  if (panel && !panel->IsClosed()) panel->Reject();
  return answer;
}
