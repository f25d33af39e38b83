#include "app/OptionsDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/UiText.h"

OptionsDialog::OptionsDialog(const std::vector<std::string>& languageNames, int current,
                             QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(UiText(TextId::kOptionsTitle));
  label_ = new QLabel(UiText(TextId::kSelectLanguage), this);
  list_ = new QComboBox(this);
  for (const std::string& name : languageNames)
    list_->addItem(QString::fromStdString(name));
  // A current language beyond the list leaves the list without a selection.
  list_->setCurrentIndex(current >= 0 && current < list_->count() ? current : -1);
  ok_ = new QPushButton(UiText(TextId::kOk), this);
  cancel_ = new QPushButton(UiText(TextId::kCancel), this);
  ok_->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

int OptionsDialog::SelectedLanguage() const {
  return list_->currentIndex();
}

void OptionsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QWidget* owner = parentWidget()) {
    const QRect area = owner->frameGeometry();
    move(area.left() + (area.width() / 2 - width() / 2),
         area.top() + (area.height() / 2 - height() / 2));
  }
}
