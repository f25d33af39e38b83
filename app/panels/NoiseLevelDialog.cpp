#include "app/panels/NoiseLevelDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <iterator>

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

NoiseLevelDialog::NoiseLevelDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(UiText(TextId::kNoiseTitle));
  levels_ = new QComboBox(this);
  const ParameterRange& range = parameter::kDenoiseLevel;
  for (int level = range.minimum; level <= range.maximum; ++level)
    levels_->addItem(UiText(kLevelTexts[level - range.minimum]));
  const int stored = ReadSetting(setting::kDenoiseStrength);
  levels_->setCurrentIndex(range.Contains(stored) ? stored - range.minimum : -1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(UiText(TextId::kOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(UiText(TextId::kCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &NoiseLevelDialog::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(UiText(TextId::kNoiseLabel), this));
  row->addWidget(levels_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

int NoiseLevelDialog::Level() const {
  const int index = levels_->currentIndex();
  return index < 0 ? parameter::kDenoiseLevel.defaultValue
                   : parameter::kDenoiseLevel.minimum + index;
}

void NoiseLevelDialog::Accept() {
  WriteSetting(setting::kDenoiseStrength.key, Level());
  accept();
}

int NoiseLevelDialog::Ask(QWidget* parent) {
  NoiseLevelDialog dialog(parent);
  return dialog.exec() == QDialog::Accepted ? dialog.Level() : -1;
}
