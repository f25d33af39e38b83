#include "app/JpegQualityControl.h"

#include <QAbstractSlider>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "app/UserDialogs.h"
#include "settings/TextTable.h"

namespace {
constexpr int kMinQuality = 10;
constexpr int kMaxQuality = 100;

// The extension of a filter pattern such as "*.png", without the dot.
QString PatternExtension(const std::string& pattern) {
  const QString text = QString::fromStdString(pattern);
  const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : text.mid(dot + 1);
}
}  // namespace

JpegQualityControl::JpegQualityControl(int quality, QWidget* parent) : QWidget(parent) {
  caption_ = new QLabel(QString::fromStdString(LangText(TextId::kJpegQuality)), this);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setRange(kMinQuality, kMaxQuality);
  slider_->setSingleStep(1);
  slider_->setPageStep(0);
  slider_->setValue(std::max(quality, kMinQuality));
  value_ = new QLabel(QString::number(slider_->value()), this);
  value_->setMinimumWidth(value_->fontMetrics().horizontalAdvance(QStringLiteral("100")));
  value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  percent_ = new QLabel(QStringLiteral("%"), this);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(caption_);
  layout->addWidget(slider_, 1);
  layout->addWidget(value_);
  layout->addWidget(percent_);

  connect(slider_, &QAbstractSlider::actionTriggered, this, &JpegQualityControl::OnSliderAction);
  connect(slider_, &QAbstractSlider::valueChanged, this,
          [this](int value) { value_->setText(QString::number(value)); });
}

int JpegQualityControl::Quality() const {
  return slider_->value();
}

void JpegQualityControl::SetActive(bool active) {
  for (QWidget* part : {static_cast<QWidget*>(caption_), static_cast<QWidget*>(slider_),
                        static_cast<QWidget*>(value_), static_cast<QWidget*>(percent_)})
    part->setEnabled(active);
}

void JpegQualityControl::OnSliderAction(int action) {
  // The slider has already moved by its own step; keys and page clicks go one further.
  int extra = 0;
  if (action == QAbstractSlider::SliderSingleStepSub ||
      action == QAbstractSlider::SliderPageStepSub)
    extra = -1;
  if (action == QAbstractSlider::SliderSingleStepAdd ||
      action == QAbstractSlider::SliderPageStepAdd)
    extra = 1;
  if (extra != 0)
    slider_->setSliderPosition(
        std::clamp(slider_->sliderPosition() + extra, kMinQuality, kMaxQuality));
}

int SelectedFilterPosition(const QFileDialog& dialog) {
  return static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
}

JpegQualityControl* ConfigureSaveDialog(QFileDialog* dialog, const SaveDialogRequest& request) {
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setWindowTitle(QString::fromStdString(request.title));
  QStringList filters;
  for (const std::string& filter : request.filters)
    filters << QString::fromStdString(filter);
  dialog->setNameFilters(filters);
  const int initial =
      std::clamp(request.initialFilter, 1, std::max(1, static_cast<int>(filters.size())));
  if (!filters.isEmpty()) dialog->selectNameFilter(filters[initial - 1]);
  // The dialog appends the selected filter's extension to a name typed without one, so
  // that the overwrite question is asked about the file that will really be written.
  if (!request.defaultExtension.empty())
    dialog->setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  else if (!request.filters.empty())
    dialog->setDefaultSuffix(PatternExtension(request.filters[static_cast<size_t>(initial - 1)]));
  if (!request.folder.empty())
    dialog->setDirectory(QString::fromStdString(request.folder.string()));
  if (!request.proposedName.empty())
    dialog->selectFile(QString::fromStdString(request.proposedName));

  auto* control = new JpegQualityControl(request.jpegQuality, dialog);
  control->SetActive(request.jpegFilter > 0 && initial == request.jpegFilter);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
    grid->addWidget(control, grid->rowCount(), 0, 1, grid->columnCount());
  QObject::connect(dialog, &QFileDialog::filterSelected, control,
                   [dialog, control, request](const QString& /*filter*/) {
                     const int position = SelectedFilterPosition(*dialog);
                     control->SetActive(request.jpegFilter > 0 && position == request.jpegFilter);
                     if (position >= 1 && position <= static_cast<int>(request.filters.size()))
                       dialog->setDefaultSuffix(
                           PatternExtension(request.filters[static_cast<size_t>(position - 1)]));
                   });
  return control;
}
