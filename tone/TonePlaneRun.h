#pragma once

#include "picture/JobProgress.h"
#include "tone/ToneMap.h"

// Inside the tone library: one plane run with its outcome told apart, so that the
// picture level can tell a cancel (keep going, every later run stops at once)
// from a failure (give the source back).
enum class PlaneRunOutcome { kDone, kCancelled, kRefused, kNoMemory };

bool ToneMapParamsValid(const ToneMapParams& params);

// Planes and pictures of fewer elements than this are worked through on the
// calling thread: handing a preview-sized plane's cheap steps to the team and
// waiting for all of it costs more than it saves, and far more while other
// programs hold the processors.
constexpr size_t kParallelElements = size_t{1} << 20;

// out receives a copy of in first; on any outcome but kDone it keeps that copy.
PlaneRunOutcome RemapFloatPlaneRun(float* out, const float* in, int width, int height,
                                   const ToneMapParams& params, JobProgress* progress);
