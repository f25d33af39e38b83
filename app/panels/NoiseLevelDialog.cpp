#include "app/panels/NoiseLevelDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/Parameters.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

namespace {
constexpr int kTextTitle = 82;
constexpr int kTextLabel = 83;
constexpr int kTextFirstLevel = 84;  // "None", then "Low", "Medium", "High"
constexpr int kTextOk = 45;
constexpr int kTextCancel = 46;

QString Text(int n) {
  return QString::fromStdString(LangText(n));
}
}  // namespace

NoiseLevelDialog::NoiseLevelDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(kTextTitle));
  levels_ = new QComboBox(this);
  const ParameterRange& range = parameter::kDenoiseLevel;
  for (int level = range.minimum; level <= range.maximum; ++level)
    levels_->addItem(Text(kTextFirstLevel + level));
  const int stored = ReadSetting(setting::kDenoiseStrength);
  levels_->setCurrentIndex(range.Contains(stored) ? stored - range.minimum : -1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(Text(kTextOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(Text(kTextCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &NoiseLevelDialog::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(Text(kTextLabel), this));
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
