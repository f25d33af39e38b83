#pragma once

#include "tone/TonePyramid.h"
#include "tone/ToneRemap.h"

// The remap curve on eight lanes at once, for the tone library's vector loops.
// Include it only where those loops are built. It is inlined into each build, so no
// call passes a vector between the AVX2 and the baseline builds, which is what
// GCC's warning about the two builds' conventions is about: the warning is off in
// the including file.
#pragma GCC diagnostic ignored "-Wpsabi"

using LaneInts = int __attribute__((vector_size(32)));

// Lane i = RemapSample(v[i], m[i], curve), bit for bit: the same single-precision
// operations in the same order, every candidate computed and then chosen.
[[gnu::always_inline]] inline FloatLanes RemapLanes(const FloatLanes& v, const FloatLanes& m,
                                                    const RemapCurve& c) {
  const FloatLanes t = FloatLanes{} + c.threshold, n = FloatLanes{} + c.noise;
  const FloatLanes zero = FloatLanes{}, one = FloatLanes{} + 1.0f;
  const FloatLanes delta = v - m;
  const FloatLanes mag =
      reinterpret_cast<FloatLanes>(reinterpret_cast<LaneInts>(delta) & 0x7fffffff);
  const FloatLanes blend = (mag - n) / n;
  const FloatLanes w = n > mag ? zero : (mag > n + n ? one : blend);
  // At most T / Tstep: a NaN difference takes T, so no lane reads outside the table.
  LaneInts index = __builtin_convertvector((mag < t ? mag : t) / c.thresholdStep, LaneInts);
  index = index < kRemapTableSize - 1 ? index : kRemapTableSize - 1;
  FloatLanes looked;
  for (int k = 0; k < kFloatLanes; ++k)
    looked[k] = c.table[index[k]];
  const FloatLanes r = w * looked + ((one - w) * mag) / t;
  const FloatLanes tr = t * r;
  const FloatLanes e = (mag - t) * c.slope;
  const LaneInts detail = t > mag;
  const FloatLanes below = detail ? m - tr : (m - e) - t;
  const FloatLanes above = detail ? tr + m : (t + m) + e;
  return delta < zero ? below : (delta > zero ? above : m);
}
