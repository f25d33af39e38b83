#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "picture/SBxPicBuf.h"

// Non-local means over a 7x7 search window with the similarity measured on
// 2x2 blocks of absolute differences, weights read from exponential tables.
//
// Planes are one-component pictures of even width and height (the caller pads
// odd sizes). The guide is always 8-bit and decides the weights; the values
// averaged are the guide's own samples for 8-bit planes and the 16-bit source
// samples for 16-bit planes.
//
// Thread forms: a thread count of 1 (or less) runs the single-thread form on
// the calling thread; 2..16 run the multi-thread form, which shares the 25
// search offsets out over that many threads and gives exactly the same output
// (all sums are integers). Small planes (16 pixels or less in either
// direction) are returned unchanged by the 8-bit multi-thread form and the
// 16-bit single-thread form, and filtered by the other two.
//
// Both return 0 on success and non-zero when a weight table or a scratch plane
// could not be allocated; the destination then holds the unfiltered source,
// never a partial result. A strength or noise of 0 returns the source
// unchanged.

// noise < 0: measured on the guide with EstimateNoise.
char NlmPlane_x8(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, double strength,
                 double levelDependence, int threadCount, double noise);
char NlmPlane_x16(SBxPicBuf* dst, const SBxPicBuf* src, const SBxPicBuf* guide, int strength,
                  double levelDependence, int threadCount, double noise);

// The weight tables of one plane call, one per guide level g:
// h(g) = ((255 - g) * levelDependence / 192 + 1) * h0. Levels with the same h
// share one table; when all levels share it (level dependence 0, the only case
// the series uses) the filter skips the per-pixel table choice.
struct NlmWeights {
  std::array<const uint32_t*, 256> table{};
  std::vector<std::vector<uint32_t>> storage;
  // The shared table's first 1021 entries as 16-bit weights (uniform only).
  std::vector<uint16_t> compact;
  bool uniform = false;
};

// False when the tables could not be allocated.
bool BuildNlmWeights(NlmWeights* weights, double h0, double levelDependence);

// One thread's share of a plane call. The padded guide, padded values and
// weights are shared read-only; the accumulators (width * height each, which
// the worker clears itself) and the scratch are this worker's alone.
struct NlmWorkerRecord {
  const SBxPicBuf* guide = nullptr;   // padded, 8-bit
  const SBxPicBuf* values = nullptr;  // padded, 8- or 16-bit
  const NlmWeights* weights = nullptr;
  uint32_t* weightSum = nullptr;
  uint32_t* weightedSum8 = nullptr;   // 8-bit values
  uint64_t* weightedSum16 = nullptr;  // 16-bit values
  int width = 0;                      // the plane's, without border
  int height = 0;
  int border = 0;       // m; the padding is m + 3 on every side
  int firstOffset = 0;  // t: this worker takes offsets t, t + step, ... below 25
  int step = 1;
  bool failed = false;  // its scratch could not be allocated
};

// Accumulates the record's share of the 25 offsets into its accumulators.
void NlmWorker(NlmWorkerRecord* record);
