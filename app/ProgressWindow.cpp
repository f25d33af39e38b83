#include "app/ProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ProgressAdapter.h"
#include "app/UiText.h"

namespace {
constexpr int kContentWidth = 297;
}  // namespace

ProgressWindow::ProgressWindow(std::atomic<uint8_t>* cancelFlag, QWidget* parent)
    : QFrame(parent), cancelFlag_(cancelFlag) {
  title_ = new QLabel(this);
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  title_->hide();
  label_ = new QLabel(this);
  label_->setAlignment(Qt::AlignCenter);
  label_->setFixedWidth(kContentWidth);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  bar_->setFixedSize(kContentWidth, 21);
  abort_ = new QPushButton(UiText(TextId::kAbort), this);
  abort_->setFixedSize(75, 23);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->setSpacing(8);
  layout->addWidget(title_);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  layout->addWidget(abort_, 0, Qt::AlignHCenter);
  setFixedSize(sizeHint());
  connect(abort_, &QPushButton::clicked, this, &ProgressWindow::Abort);
}

void ProgressWindow::SetTitle(const QString& title) {
  title_->setText(title);
  title_->setVisible(!title.isEmpty());
  layout()->invalidate();
  setFixedSize(sizeHint());
}

void ProgressWindow::ShowReport(const ProgressReport& report) {
  if (cancelling_) {
    // "Canceling ..." stays until the job, having seen the request, says something else.
    if (report.hasText && report.textAfterCancel)
      label_->setText(QString::fromStdString(report.text));
    return;
  }
  const int percent = report.Percent();
  bar_->setValue(percent);
  label_->setText(report.hasText
                      ? QString::fromStdString(report.text)
                      : UiText(TextId::kProgress) + QString::number(percent) + QLatin1Char('%'));
}

void ProgressWindow::Abort() {
  cancelFlag_->store(1);
  cancelling_ = true;
  label_->setText(UiText(TextId::kCanceling));
}
