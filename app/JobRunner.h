#pragma once

#include <QObject>
#include <functional>
#include <thread>

#include "app/Jobs.h"

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
