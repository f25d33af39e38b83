#include "jobs/PreviewWorker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <utility>

namespace {
// How much less the worker (and the threads it starts for a preview) weighs than the
// interface thread when both want a processor: on two cores the window must answer the mouse
// while a preview is computed. Only the share between them changes; when the interface
// thread waits, the worker has the processors.
constexpr int kNiceness = 5;

void LowerThisThreadsPriority() {
  const auto thread = static_cast<id_t>(gettid());
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, thread);
  if (errno == 0) setpriority(PRIO_PROCESS, thread, current + kNiceness);
}
}  // namespace

PreviewWorker::PreviewWorker(Finished finished) : finished_(std::move(finished)) {}

PreviewWorker::~PreviewWorker() {
  Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

uint64_t PreviewWorker::Submit(Work work) {
  uint64_t number = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    number = ++submitted_;
    waiting_ = std::move(work);
    waitingNumber_ = number;
    if (runningProgress_ != nullptr) runningProgress_->cancel = 1;
    // Started on the first request, so that a panel without previews costs no thread.
    if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
  }
  changed_.notify_all();
  return number;
}

void PreviewWorker::Stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  waiting_ = nullptr;
  if (runningProgress_ != nullptr) runningProgress_->cancel = 1;
  changed_.wait(lock, [this] { return !running_; });
}

void PreviewWorker::WaitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !running_ && !waiting_; });
}

bool PreviewWorker::Idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !running_ && !waiting_;
}

void PreviewWorker::Loop() {
  LowerThisThreadsPriority();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || waiting_; });
    if (quit_) return;
    Work work = std::move(waiting_);
    waiting_ = nullptr;
    const uint64_t number = waitingNumber_;
    RequestProgress progress;
    runningProgress_ = &progress;
    running_ = true;
    lock.unlock();
    try {
      work(progress);
    } catch (const std::exception&) {
      // The window must not end from a worker thread: the request's result stays as the work
      // left it (a preview not made shows nothing).
    }
    // Released before `finished`, which may hand the result over to another thread.
    work = nullptr;
    if (progress.cancel == 0) finished_(number);
    lock.lock();
    runningProgress_ = nullptr;
    running_ = false;
    changed_.notify_all();
  }
}
