#pragma once

#include <QFrame>
#include <atomic>
#include <cstdint>

struct ProgressReport;
class QLabel;
class QProgressBar;
class QPushButton;

// The progress of a series job, docked at the right: a label, a bar from 0 to 100 and
// "Abort". Abort sets the cancel flag the job polls between its steps; the window then reads
// "Canceling ..." until the job speaks again (the series jobs blank the label at their next
// step) or ends and closes it.
class ProgressWindow : public QFrame {
  Q_OBJECT

 public:
  ProgressWindow(std::atomic<uint8_t>* cancelFlag, QWidget* parent);

  // The bold line on top ("Preparing images ..." for a series); none when empty.
  void SetTitle(const QString& title);
  // The bar at the report's percentage; the label the job's own text, or "Progress: N%" for
  // a job that gives none.
  void ShowReport(const ProgressReport& report);
  bool Cancelling() const { return cancelling_; }

  QLabel* Label() const { return label_; }
  QProgressBar* Bar() const { return bar_; }
  QPushButton* AbortButton() const { return abort_; }

 private:
  void Abort();

  std::atomic<uint8_t>* cancelFlag_;
  QLabel* title_;
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* abort_;
  bool cancelling_ = false;
};
