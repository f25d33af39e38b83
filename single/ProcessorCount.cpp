#include "single/ProcessorCount.h"

#include <sched.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

int ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  return std::max(CPU_COUNT(&set), 1);
}

void RunParallel(int n, const std::function<void(int)>& work) {
  std::vector<std::thread> threads;
  std::vector<int> inlineWork;
  threads.reserve(static_cast<size_t>(n));
  inlineWork.reserve(static_cast<size_t>(n));
  for (int t = 1; t < n; ++t) {
    try {
      threads.emplace_back(work, t);
    } catch (const std::system_error&) {
      inlineWork.push_back(t);
    }
  }
  work(0);
  for (int t : inlineWork)
    work(t);
  for (std::thread& t : threads)
    t.join();
}
