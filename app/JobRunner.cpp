#include "app/JobRunner.h"

#include <algorithm>

#include "app/ProgressWindow.h"

JobRunner::JobRunner(QObject* parent) : QObject(parent) {}

JobRunner::~JobRunner() {
  Wait();
}

bool JobRunner::Start(JobBody body, JobProgress* progress, Finished finished) {
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  running_ = true;
  finished_ = std::move(finished);
  const unsigned generation = ++generation_;
  thread_ = std::thread([this, body = std::move(body), progress, generation] {
    JobResult result;
    try {
      result = body(*progress);
    } catch (const std::exception& error) {
      // An engine failure must not end the program from a worker thread.
      result = JobResult{JobEnd::kFailed, error.what()};
    }
    QMetaObject::invokeMethod(
        this, [this, generation, result] { Done(generation, result); }, Qt::QueuedConnection);
  });
  return true;
}

void JobRunner::Done(unsigned generation, const JobResult& result) {
  if (generation != generation_) return;
  if (thread_.joinable()) thread_.join();
  running_ = false;
  Finished finished = std::move(finished_);
  finished_ = nullptr;
  if (finished) finished(result);
}

void JobRunner::Wait() {
  if (thread_.joinable()) thread_.join();
  running_ = false;
  finished_ = nullptr;
  ++generation_;
}

ProgressReporter::ProgressReporter(QObject* parent) : QObject(parent) {}

void ProgressReporter::Attach(ProgressWindow* window) {
  window_ = window;
  minimum_ = 0;
  maximum_ = 100;
  position_ = 0;
  shownPercent_ = -1;
}

void ProgressReporter::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = std::max(maximum, minimum + 1);
  Report();
}

void ProgressReporter::SetPosition(int position) {
  position_ = position;
  Report();
}

void ProgressReporter::Advance(int steps) {
  position_ += steps;
  Report();
}

void ProgressReporter::SetText(const std::string& text) {
  const QString shown = QString::fromStdString(text);
  QMetaObject::invokeMethod(
      this,
      [this, shown] {
        if (window_) window_->SetText(shown);
      },
      Qt::QueuedConnection);
}

void ProgressReporter::Report() {
  const long long span = static_cast<long long>(maximum_) - minimum_;
  const long long done = std::clamp<long long>(position_ - minimum_, 0, span);
  const int percent = static_cast<int>(done * 100 / span);
  if (shownPercent_.exchange(percent) == percent) return;
  QMetaObject::invokeMethod(
      this,
      [this, percent] {
        if (window_) window_->SetPercent(percent);
      },
      Qt::QueuedConnection);
}
