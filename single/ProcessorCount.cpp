#include "single/ProcessorCount.h"

#include <sched.h>

#include <algorithm>

int ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  return std::max(CPU_COUNT(&set), 1);
}
