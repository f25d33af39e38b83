#pragma once

#include <functional>

// The processors this process may run on (its affinity mask), at least 1: the
// denoiser's thread count, recomputed by every series job.
int ProcessorCount();

// Runs work(1) .. work(n - 1) on threads and work(0) on the calling thread,
// and returns only when all have finished. Work whose thread cannot be
// started runs on the calling thread instead: no result depends on which
// thread computes it.
void RunParallel(int n, const std::function<void(int)>& work);
