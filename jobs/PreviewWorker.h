#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "picture/JobProgress.h"

// Computes a panel's previews on a thread of its own, so that the window keeps answering
// while they run. Only the newest request matters: a request that waits is dropped when a
// newer one comes, and a running one is asked to stop through the cancel flag of the
// progress its work is handed (the engines poll it between files and bands).
//
// Guarantees: requests run one at a time, in the order they were made, each at most once;
// `finished` is called on the worker thread after each request that ran to its end without
// being asked to stop, with its number (never for a dropped or stopped one); once Stop() has
// returned, or during destruction, no work runs and no `finished` call is made. Every call but the
// work and `finished` is made from one thread (the owner's).
class PreviewWorker {
 public:
  using Work = std::function<void(JobProgress& progress)>;
  using Finished = std::function<void(uint64_t request)>;

  explicit PreviewWorker(Finished finished);
  ~PreviewWorker();
  PreviewWorker(const PreviewWorker&) = delete;
  PreviewWorker& operator=(const PreviewWorker&) = delete;

  // Queues `work` as the newest request and returns its number (1, 2, ...).
  uint64_t Submit(Work work);
  // Asks the running request to stop, drops the waiting one and returns once the thread is
  // idle.
  void Stop();
  // Returns once the thread is idle: the newest request has run (or was stopped).
  void WaitIdle();
  bool Idle() const;

 private:
  // A request's progress: only its cancel flag is read.
  class RequestProgress : public JobProgress {
   public:
    RequestProgress() { WatchCancelFlag(&cancel); }
    std::atomic<uint8_t> cancel{0};
  };

  void Loop();

  const Finished finished_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Work waiting_;
  uint64_t waitingNumber_ = 0;
  uint64_t submitted_ = 0;
  bool running_ = false;
  bool quit_ = false;
  RequestProgress* runningProgress_ = nullptr;  // guarded by mutex_
  std::thread thread_;
};
