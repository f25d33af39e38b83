#pragma once

#include "picture/JobProgress.h"
#include "tone/ToneMap.h"

// Inside the tone library: one plane run with its outcome told apart, so that the
// picture level can tell a cancel (keep going, every later run stops at once)
// from a failure (give the source back).
enum class PlaneRunOutcome { kDone, kCancelled, kRefused, kNoMemory };

bool ToneMapParamsValid(const ToneMapParams& params);

// out receives a copy of in first; on any outcome but kDone it keeps that copy.
PlaneRunOutcome RemapFloatPlaneRun(float* out, const float* in, int width, int height,
                                   const ToneMapParams& params, JobProgress* progress);
