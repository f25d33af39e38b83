// The preview worker: only the newest request is finished, an outdated one is dropped or
// stopped, and nothing runs or reports after Stop or destruction.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "jobs/PreviewWorker.h"

namespace {

using namespace std::chrono_literals;

// Records which requests ran, were stopped and were finished.
struct Record {
  std::mutex mutex;
  std::vector<int> ran, stopped;
  std::vector<uint64_t> finished;

  void Add(std::vector<int>* list, int value) {
    std::lock_guard<std::mutex> lock(mutex);
    list->push_back(value);
  }
};

// Work that runs until released or asked to stop, polling as an engine does between steps.
PreviewWorker::Work Blocking(Record* record, int id, const std::atomic<bool>* release,
                             std::atomic<bool>* started) {
  return [=](JobProgress& progress) {
    *started = true;
    while (!*release && !progress.CancelRequested())
      std::this_thread::sleep_for(1ms);
    record->Add(progress.CancelRequested() ? &record->stopped : &record->ran, id);
  };
}

PreviewWorker::Work Quick(Record* record, int id) {
  return [=](JobProgress&) { record->Add(&record->ran, id); };
}

TEST(PreviewWorker, TheNewestRequestWinsTheRunningOneStopsTheWaitingOneIsDropped) {
  Record record;
  PreviewWorker worker([&](uint64_t n) {
    std::lock_guard<std::mutex> lock(record.mutex);
    record.finished.push_back(n);
  });
  std::atomic<bool> release{false}, started{false};
  EXPECT_EQ(worker.Submit(Blocking(&record, 1, &release, &started)), 1u);
  while (!started)
    std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(worker.Idle());
  worker.Submit(Quick(&record, 2));  // waits, then is dropped by the next
  EXPECT_EQ(worker.Submit(Quick(&record, 3)), 3u);
  worker.WaitIdle();
  EXPECT_TRUE(worker.Idle());
  EXPECT_EQ(record.stopped, std::vector<int>{1});
  EXPECT_EQ(record.ran, std::vector<int>{3});
  EXPECT_EQ(record.finished, std::vector<uint64_t>{3});

  // Requests made one after the other, each awaited, all run and finish in order.
  for (int id = 4; id <= 6; ++id) {
    worker.Submit(Quick(&record, id));
    worker.WaitIdle();
  }
  EXPECT_EQ(record.finished, (std::vector<uint64_t>{3, 4, 5, 6}));
}

TEST(PreviewWorker, StopEndsTheRunningRequestAndReportsNothing) {
  Record record;
  std::atomic<int> finished{0};
  PreviewWorker worker([&](uint64_t) { ++finished; });
  std::atomic<bool> release{false}, started{false};
  worker.Submit(Blocking(&record, 1, &release, &started));
  while (!started)
    std::this_thread::sleep_for(1ms);
  worker.Stop();
  EXPECT_TRUE(worker.Idle());
  EXPECT_EQ(record.stopped, std::vector<int>{1});
  EXPECT_EQ(finished, 0);
  // The worker takes requests again after a stop.
  worker.Submit(Quick(&record, 2));
  worker.WaitIdle();
  EXPECT_EQ(finished, 1);
}

TEST(PreviewWorker, DestroyingItWhileARequestRunsStopsAndJoinsIt) {
  Record record;
  std::atomic<int> finished{0};
  std::atomic<bool> release{false}, started{false};
  {
    PreviewWorker worker([&](uint64_t) { ++finished; });
    worker.Submit(Blocking(&record, 1, &release, &started));
    while (!started)
      std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(record.stopped, std::vector<int>{1});
  EXPECT_EQ(finished, 0);
  PreviewWorker unused([](uint64_t) {});  // never started: nothing to join
  EXPECT_TRUE(unused.Idle());
}

TEST(PreviewWorker, AWorkThatThrowsStillEndsItsRequest) {
  std::atomic<int> finished{0};
  PreviewWorker worker([&](uint64_t) { ++finished; });
  worker.Submit([](JobProgress&) { throw std::runtime_error("no memory"); });
  worker.WaitIdle();
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(worker.Idle());
}

}  // namespace
