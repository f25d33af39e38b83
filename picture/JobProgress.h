#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// How a long engine job reports progress and learns that the user asked it to
// stop. The desktop program adapts it to the progress window (through queued
// calls: implementations must be callable from a worker thread), the command
// line to a progress line on stderr. The cancel flag has one writer (the user
// interface) and is read between steps, never mid-step.
class JobProgress {
 public:
  virtual ~JobProgress() = default;

  virtual void SetRange(int /*minimum*/, int /*maximum*/) {}
  virtual void SetPosition(int /*position*/) {}
  virtual void Advance(int /*steps*/) {}
  virtual void SetText(const std::string& /*text*/) {}
  // What the job does now, in words for the user ("Fusing 11 pictures"); the progress that
  // follows counts within it. A front end that shows only stages ignores SetText.
  virtual void SetStage(const std::string& text) { SetText(text); }

  void WatchCancelFlag(const std::atomic<uint8_t>* flag) { cancel_ = flag; }
  bool CancelRequested() const {
    return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed) != 0;
  }

 private:
  const std::atomic<uint8_t>* cancel_ = nullptr;
};
