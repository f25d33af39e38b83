#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <thread>

#include "app/Jobs.h"

class ProgressWindow;

// Runs one job at a time on a worker thread. When the body returns, `finished` runs on the
// thread that owns the runner (the user-interface thread), carried there by a queued call.
// Destroying the runner waits for a running body, so a job never outlives the state it
// works on: ask it to stop first.
class JobRunner : public QObject {
  Q_OBJECT

 public:
  using Finished = std::function<void(const JobResult&)>;

  explicit JobRunner(QObject* parent = nullptr);
  ~JobRunner() override;

  // False when a job runs already.
  bool Start(JobBody body, JobProgress* progress, Finished finished);
  bool Running() const { return running_; }
  // Blocks until a running body has returned; its `finished` is then not called.
  void Wait();

 private:
  void Done(unsigned generation, const JobResult& result);

  std::thread thread_;
  bool running_ = false;
  unsigned generation_ = 0;  // tells a late report of a waited-for job from the current one
  Finished finished_;
};

// The engines' progress interface shown in the progress window. Worker threads may call it;
// every change reaches the window by a queued call, and only when the shown percentage
// changes, so a fast job cannot flood the user-interface thread.
class ProgressReporter : public QObject, public JobProgress {
  Q_OBJECT

 public:
  explicit ProgressReporter(QObject* parent = nullptr);

  // The window that shows the progress (it may be closed at any time).
  void Attach(ProgressWindow* window);

  void SetRange(int minimum, int maximum) override;
  void SetPosition(int position) override;
  void Advance(int steps) override;
  void SetText(const std::string& text) override;

 private:
  void Report();

  QPointer<ProgressWindow> window_;
  std::atomic<int> minimum_{0};
  std::atomic<int> maximum_{100};
  std::atomic<int> position_{0};
  std::atomic<int> shownPercent_{-1};
};
