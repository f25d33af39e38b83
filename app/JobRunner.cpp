#include "app/JobRunner.h"

#include <new>
#include <optional>

#include "settings/TextTable.h"

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
    // A failure must not end the program from a worker thread. The user is told in the text
    // table's words; the exception's own text is the program's, for its console.
    std::optional<TextId> failure;
    try {
      result = body(*progress);
    } catch (const std::bad_alloc&) {
      failure = TextId::kJobOutOfMemory;
    } catch (const std::exception& error) {
      qWarning("A background job failed: %s", error.what());
      failure = TextId::kJobFailed;
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, result, failure] {
          Done(generation, failure ? JobResult{JobEnd::kFailed, LangText(*failure)} : result);
        },
        Qt::QueuedConnection);
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
