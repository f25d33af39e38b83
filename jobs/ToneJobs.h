#pragma once

#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"
#include "settings/Parameters.h"
#include "tone/SmartContrast.h"
#include "tone/ToneMap.h"

// The tone jobs both front ends run: the Tone Mapping of a picture with the four slider
// positions, and Smart Contrast with the eight level gains.

// The Tone Mapping panel's values.
struct ToneSliders {
  int contrast = parameter::kTonePower.defaultValue;
  int noise = parameter::kTonePower.defaultValue;
  int details = parameter::kTonePower.defaultValue;
  int equalization = parameter::kTonePower.defaultValue;
  bool extraColors = true;
};

// The one mapping from the Tone Mapping sliders (contrast, noise, details, equalization;
// positions outside their range are limited to it) to the engine's parameters, used by the
// panel and the command line alike.
ToneMapParams ToneMapParamsFromSliders(int contrast, int noise, int details, int equalization,
                                       bool useExtraColors);
ToneMapParams ToneMapParamsFromSliders(const ToneSliders& sliders);

// Tone-maps `source` into `result` (allocated with the source's geometry when empty; else it
// must have it), setting the progress range to the engine's steps. True when the picture
// was not processed (cancelled, unsupported or out of memory); `result` then holds the
// source.
bool ToneMapPicture(const SBxPicBuf& source, const ToneSliders& sliders, JobProgress* progress,
                    SBxPicBuf* result);

// Smart Contrast of one picture: the pyramid built once, then rebuilt with any gains.
class SmartContrastJob {
 public:
  // True when the picture cannot be processed at all (not 8/16-bit with 1 or 3
  // components, or out of memory).
  bool Prepare(const SBxPicBuf& source);
  // Laplacian levels the picture has (0 when it is too small: the gains then change
  // nothing and the picture comes back unchanged).
  int Levels() const { return static_cast<int>(state_.pyramid.levelCount); }
  // Rebuilds with the gains into `result` (allocated with the source's geometry when
  // empty); true on failure.
  bool Apply(const int lod[kSmartContrastSliders], SBxPicBuf* result);

 private:
  SmartContrastState state_;
};
