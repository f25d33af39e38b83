#include "app/batch/BatchDialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/FileCommands.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "app/batch/BatchModel.h"
#include "settings/Parameters.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

enum Column { kName, kCapture, kResult, kEnded, kColumns };

}  // namespace

BatchDialog::BatchDialog(BatchModel& model, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), model_(model), dialogs_(dialogs) {
  refreshing_ = true;  // the widgets' first values are the model's own
  setWindowTitle(UiText(TextId::kBatchTitle));
  notes_ = new QLabel(this);
  notes_->setWordWrap(true);
  list_ = new QTreeWidget(this);
  list_->setColumnCount(kColumns);
  list_->setHeaderLabels({UiText(TextId::kBatchColumnName), UiText(TextId::kBatchColumnCapture),
                          UiText(TextId::kBatchColumnResult), UiText(TextId::kBatchColumnEnded)});
  list_->setRootIsDecorated(true);
  list_->setUniformRowHeights(true);
  list_->setMinimumSize(760, 260);
  problem_ = new QLabel(this);
  problem_->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(BuildPictureRow());
  layout->addLayout(BuildGrouping());
  layout->addWidget(notes_);
  layout->addWidget(list_, 1);
  layout->addWidget(problem_);
  layout->addLayout(BuildOutput());
  layout->addLayout(BuildFusion());
  layout->addLayout(BuildMoving());
  layout->addLayout(BuildButtons());
  Refresh();
}

QLayout* BatchDialog::BuildPictureRow() {
  addFiles_ = new QPushButton(UiText(TextId::kBatchAddFiles), this);
  addFolder_ = new QPushButton(UiText(TextId::kBatchAddFolder), this);
  clear_ = new QPushButton(UiText(TextId::kBatchClear), this);
  connect(addFiles_, &QPushButton::clicked, this, &BatchDialog::AddFiles);
  connect(addFolder_, &QPushButton::clicked, this, &BatchDialog::AddFolder);
  connect(clear_, &QPushButton::clicked, this, [this] {
    model_.ClearInputs();
    Refresh();
  });
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(UiText(TextId::kBatchPictures), this));
  row->addWidget(addFiles_);
  row->addWidget(addFolder_);
  row->addWidget(clear_);
  row->addStretch(1);
  return row;
}

QLayout* BatchDialog::BuildGrouping() {
  const BatchChoices& choices = model_.Choices();
  byCapture_ = new QRadioButton(UiText(TextId::kBatchByCapture), this);
  byCount_ = new QRadioButton(UiText(TextId::kBatchByCount), this);
  gap_ = new QDoubleSpinBox(this);
  gap_->setDecimals(1);
  gap_->setRange(parameter::kSeriesGap.minimum, parameter::kSeriesGap.maximum);
  gap_->setValue(choices.gapSeconds);
  groupSize_ = new QSpinBox(this);
  groupSize_->setRange(parameter::kGroupSize.minimum, parameter::kGroupSize.maximum);
  groupSize_->setValue(choices.groupSize);
  // Each pair of choices excludes within itself only.
  auto* grouping = new QButtonGroup(this);
  grouping->addButton(byCapture_);
  grouping->addButton(byCount_);
  (choices.fixedGroups ? byCount_ : byCapture_)->setChecked(true);
  connect(byCapture_, &QRadioButton::toggled, this, &BatchDialog::ChoicesChanged);
  connect(byCount_, &QRadioButton::toggled, this, &BatchDialog::ChoicesChanged);
  connect(gap_, &QDoubleSpinBox::valueChanged, this, &BatchDialog::ChoicesChanged);
  connect(groupSize_, &QSpinBox::valueChanged, this, &BatchDialog::ChoicesChanged);
  auto* grid = new QGridLayout;
  grid->addWidget(byCapture_, 0, 0);
  grid->addWidget(gap_, 0, 1);
  grid->addWidget(byCount_, 1, 0);
  grid->addWidget(groupSize_, 1, 1);
  grid->setColumnStretch(2, 1);
  return grid;
}

QLayout* BatchDialog::BuildOutput() {
  beside_ = new QRadioButton(UiText(TextId::kBatchBesideSeries), this);
  intoFolder_ = new QRadioButton(UiText(TextId::kBatchIntoFolder), this);
  outputFolder_ = new QLineEdit(Q(model_.Choices().outputFolder.string()), this);
  chooseOutput_ = new QPushButton(UiText(TextId::kBatchChoose), this);
  auto* output = new QButtonGroup(this);
  output->addButton(beside_);
  output->addButton(intoFolder_);
  (model_.Choices().outputFolder.empty() ? beside_ : intoFolder_)->setChecked(true);
  connect(beside_, &QRadioButton::toggled, this, &BatchDialog::ChoicesChanged);
  connect(intoFolder_, &QRadioButton::toggled, this, &BatchDialog::ChoicesChanged);
  connect(outputFolder_, &QLineEdit::editingFinished, this, &BatchDialog::ChoicesChanged);
  connect(chooseOutput_, &QPushButton::clicked, this, &BatchDialog::ChooseOutput);
  auto* grid = new QGridLayout;
  grid->addWidget(beside_, 0, 0, 1, 3);
  grid->addWidget(intoFolder_, 1, 0);
  grid->addWidget(outputFolder_, 1, 1);
  grid->addWidget(chooseOutput_, 1, 2);
  grid->setColumnStretch(1, 1);
  return grid;
}

// For series shot hand-held or with things moving in them, as the Multi Image panel offers.
QLayout* BatchDialog::BuildMoving() {
  align_ = new QCheckBox(UiText(TextId::kAlignPictures), this);
  align_->setChecked(model_.Choices().align);
  removeGhosts_ = new QCheckBox(UiText(TextId::kRemoveGhosts), this);
  removeGhosts_->setChecked(model_.Choices().removeGhosts);
  ghostStrength_ = new QSpinBox(this);
  ghostStrength_->setRange(parameter::kDeghostStrength.minimum,
                           parameter::kDeghostStrength.maximum);
  ghostStrength_->setValue(model_.Choices().ghostStrength);
  connect(align_, &QCheckBox::toggled, this, &BatchDialog::ChoicesChanged);
  connect(removeGhosts_, &QCheckBox::toggled, this, &BatchDialog::ChoicesChanged);
  connect(ghostStrength_, &QSpinBox::valueChanged, this, &BatchDialog::ChoicesChanged);
  auto* row = new QHBoxLayout;
  row->addWidget(align_);
  row->addSpacing(24);
  row->addWidget(removeGhosts_);
  row->addWidget(new QLabel(UiText(TextId::kGhostStrength), this));
  row->addWidget(ghostStrength_);
  row->addStretch(1);
  return row;
}

QLayout* BatchDialog::BuildFusion() {
  exposure_ = new QSpinBox(this);
  exposure_->setRange(parameter::kExposure.minimum, parameter::kExposure.maximum);
  exposure_->setValue(model_.Choices().exposure);
  overwrite_ = new QCheckBox(UiText(TextId::kBatchOverwrite), this);
  overwrite_->setChecked(model_.Choices().overwrite);
  connect(exposure_, &QSpinBox::valueChanged, this, &BatchDialog::ChoicesChanged);
  connect(overwrite_, &QCheckBox::toggled, this, &BatchDialog::ChoicesChanged);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(UiText(TextId::kExposure), this));
  row->addWidget(exposure_);
  row->addSpacing(24);
  row->addWidget(overwrite_);
  row->addStretch(1);
  return row;
}

QLayout* BatchDialog::BuildButtons() {
  run_ = new QPushButton(UiText(TextId::kBatchRun), this);
  cancel_ = new QPushButton(UiText(TextId::kCancel), this);
  run_->setDefault(true);
  connect(run_, &QPushButton::clicked, this, [this] {
    ChoicesChanged();  // a folder typed but not yet confirmed
    if (model_.CanRun()) accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(run_);
  row->addWidget(cancel_);
  return row;
}

void BatchDialog::AddFiles() {
  AddInputs(dialogs_.ChooseOpenFiles(this, LangText(TextId::kBatchSelectPictures), kSeriesFilter));
}

void BatchDialog::AddFolder() {
  if (const auto folder = dialogs_.ChooseFolder(this, LangText(TextId::kBatchSelectFolder)))
    AddInputs({*folder});
}

void BatchDialog::AddInputs(const std::vector<fs::path>& inputs) {
  if (inputs.empty()) return;
  // Headers only: a card's worth of pictures is read in a moment.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  model_.AddInputs(inputs, nullptr);
  QApplication::restoreOverrideCursor();
  Refresh();
}

void BatchDialog::ChooseOutput() {
  const auto folder = dialogs_.ChooseFolder(this, LangText(TextId::kBatchSelectOutput));
  if (!folder) return;
  outputFolder_->setText(Q(folder->string()));
  intoFolder_->setChecked(true);
  ChoicesChanged();
}

void BatchDialog::ChoicesChanged() {
  if (refreshing_) return;
  BatchChoices choices = model_.Choices();
  // Counting forced by pictures without capture time is no choice of the user's.
  if (byCapture_->isEnabled()) choices.fixedGroups = byCount_->isChecked();
  choices.gapSeconds = gap_->value();
  choices.groupSize = groupSize_->value();
  choices.outputFolder = intoFolder_->isChecked()
                             ? fs::path(outputFolder_->text().trimmed().toStdString())
                             : fs::path();
  choices.exposure = exposure_->value();
  choices.overwrite = overwrite_->isChecked();
  choices.align = align_->isChecked();
  choices.removeGhosts = removeGhosts_->isChecked();
  choices.ghostStrength = ghostStrength_->value();
  model_.SetChoices(choices);
  Refresh();
}

void BatchDialog::Refresh() {
  refreshing_ = true;
  // Without capture times the series can only be counted off: the count is asked for.
  const bool timeless = model_.PicturesWithoutTime() > 0;
  byCapture_->setEnabled(!timeless);
  gap_->setEnabled(!model_.GroupedByCount());
  groupSize_->setEnabled(model_.GroupedByCount());
  (model_.GroupedByCount() ? byCount_ : byCapture_)->setChecked(true);
  outputFolder_->setEnabled(intoFolder_->isChecked());
  ghostStrength_->setEnabled(removeGhosts_->isChecked());

  QStringList notes;
  for (const std::string& note : model_.Notes())
    notes << Q(note);
  notes_->setText(notes.join(QLatin1Char('\n')));
  list_->clear();
  QTreeWidgetItem* series = nullptr;
  for (const BatchListRow& row : model_.Rows()) {
    const QStringList cells{Q(row.name), Q(row.capture), Q(row.result), Q(row.ended)};
    if (row.isSeries) {
      series = new QTreeWidgetItem(list_, cells);
      series->setExpanded(true);
    } else {
      new QTreeWidgetItem(series, cells);
    }
  }
  for (int column = 0; column < kColumns; ++column)
    list_->resizeColumnToContents(column);
  problem_->setText(Q(model_.Problem()));
  problem_->setVisible(!model_.Problem().empty());
  run_->setEnabled(model_.CanRun());
  refreshing_ = false;
}
