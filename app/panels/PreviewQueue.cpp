#include "app/panels/PreviewQueue.h"

#include <utility>

PreviewQueue::PreviewQueue(QObject* parent)
    : QObject(parent), worker_([this](uint64_t request) {
        // On the worker thread: the result is handed over by a queued call, which Qt drops
        // with this object.
        QMetaObject::invokeMethod(
            this, [this, request] { Arrived(request); }, Qt::QueuedConnection);
      }) {}

PreviewQueue::~PreviewQueue() {
  worker_.Stop();
}

void PreviewQueue::Run(PreviewWorker::Work work, std::function<void()> show) {
  show_ = std::move(show);
  newest_ = worker_.Submit(std::move(work));
}

bool PreviewQueue::Stop() {
  worker_.Stop();
  const bool dropped = Pending();
  show_ = nullptr;
  return dropped;
}

void PreviewQueue::Finish() {
  worker_.WaitIdle();
  // The newest request has run: its queued arrival will find nothing left to show.
  Arrived(newest_);
}

void PreviewQueue::Arrived(uint64_t request) {
  if (request != newest_ || !show_) return;
  const std::function<void()> show = std::move(show_);
  show_ = nullptr;
  show();
}
