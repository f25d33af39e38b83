#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <mutex>
#include <string>

#include "picture/JobProgress.h"

// A job's progress as its last reports left it.
struct ProgressReport {
  int minimum = 0;
  int maximum = 100;
  int position = 0;
  // The job's own words for the user, once it gave any (an empty text blanks them).
  bool hasText = false;
  std::string text;
  // The text was given after the job saw the request to stop.
  bool textAfterCancel = false;

  // The position as a whole percentage of the range, 0..100.
  int Percent() const;
};

// The engines' progress interface in the window. Worker threads report through it; what they
// report reaches the display on the user-interface thread by queued calls, never more than
// one waiting at a time, so a fast job cannot flood the window: the display is shown the
// latest report.
class ProgressAdapter : public QObject, public JobProgress {
  Q_OBJECT

 public:
  using Show = std::function<void(const ProgressReport& report)>;

  explicit ProgressAdapter(QObject* parent = nullptr);

  // The next job's progress is shown with `show` while `display` exists (it may be destroyed
  // at any time); the report starts afresh.
  void Attach(QObject* display, Show show);
  void Detach();

  void SetRange(int minimum, int maximum) override;
  void SetPosition(int position) override;
  void Advance(int steps) override;
  void SetText(const std::string& text) override;

 private:
  template <typename Change>
  void Report(Change&& change);
  void Deliver();

  std::mutex mutex_;  // guards report_ and queued_, written by worker threads
  ProgressReport report_;
  bool queued_ = false;
  QPointer<QObject> display_;
  Show show_;
};
