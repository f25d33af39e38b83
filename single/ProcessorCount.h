#pragma once

// The processors this process may run on (its affinity mask), at least 1: the
// denoiser's thread count, recomputed by every series job.
int ProcessorCount();
