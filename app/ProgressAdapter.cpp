#include "app/ProgressAdapter.h"

#include <algorithm>

int ProgressReport::Percent() const {
  const long long span = std::max(static_cast<long long>(maximum) - minimum, 1LL);
  const long long done = std::clamp<long long>(static_cast<long long>(position) - minimum, 0, span);
  return static_cast<int>(done * 100 / span);
}

ProgressAdapter::ProgressAdapter(QObject* parent) : QObject(parent) {}

void ProgressAdapter::Attach(QObject* display, Show show) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report_ = ProgressReport{};
  }
  display_ = display;
  show_ = std::move(show);
}

void ProgressAdapter::Detach() {
  display_ = nullptr;
  show_ = nullptr;
}

void ProgressAdapter::SetRange(int minimum, int maximum) {
  Report([&](ProgressReport& r) {
    r.minimum = minimum;
    r.maximum = std::max(maximum, minimum + 1);
  });
}

void ProgressAdapter::SetPosition(int position) {
  Report([&](ProgressReport& r) { r.position = position; });
}

void ProgressAdapter::Advance(int steps) {
  Report([&](ProgressReport& r) { r.position += steps; });
}

void ProgressAdapter::SetText(const std::string& text) {
  const bool afterCancel = CancelRequested();
  Report([&](ProgressReport& r) {
    r.hasText = true;
    r.text = text;
    r.textAfterCancel = afterCancel;
  });
}

template <typename Change>
void ProgressAdapter::Report(Change&& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  change(report_);
  if (queued_) return;  // the waiting delivery will show this change too
  queued_ = true;
  QMetaObject::invokeMethod(this, &ProgressAdapter::Deliver, Qt::QueuedConnection);
}

void ProgressAdapter::Deliver() {
  ProgressReport latest;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    latest = report_;
    queued_ = false;
  }
  if (display_ && show_) show_(latest);
}
