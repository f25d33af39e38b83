#include "app/JobRunner.h"

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
