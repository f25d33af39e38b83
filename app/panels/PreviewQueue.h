#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

#include "jobs/PreviewWorker.h"

// A panel's previews off the interface thread. Run hands the work to the preview worker;
// `show` runs on the interface thread once the work is done, unless a newer preview was asked
// for meanwhile (the newest request wins) or the queue was stopped. The work must use only
// what it owns or shares (never the panel or the shown pictures); `show` pastes its result.
class PreviewQueue : public QObject {
  Q_OBJECT

 public:
  explicit PreviewQueue(QObject* parent);
  // Stops the worker: no preview work outlives the panel.
  ~PreviewQueue() override;

  void Run(PreviewWorker::Work work, std::function<void()> show);
  // Stops the running preview and forgets the waiting one; true when a preview asked for
  // was not shown.
  bool Stop();
  // Waits for the newest preview and shows it now (a panel whose result is its preview).
  void Finish();
  // A preview was asked for and is not shown yet.
  bool Pending() const { return static_cast<bool>(show_); }

 private:
  void Arrived(uint64_t request);

  uint64_t newest_ = 0;
  std::function<void()> show_;  // the newest request's
  PreviewWorker worker_;        // last: stopped before the members above go
};
