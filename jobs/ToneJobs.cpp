#include "jobs/ToneJobs.h"

#include "settings/Parameters.h"

// The engine limits the gains it is given to what it accepts: the user's range.
static_assert(parameter::kLodGain.minimum == kSmartContrastLodMin &&
              parameter::kLodGain.maximum == kSmartContrastLodMax);

ToneMapParams ToneMapParamsFromSliders(int contrast, int noise, int details, int equalization,
                                       bool useExtraColors) {
  auto limit = [](int v) { return parameter::kTonePower.Clamp(v); };
  // Each quotient in single precision, then widened.
  ToneMapParams p;
  p.levels = kToneMapLevels;
  p.threshold = static_cast<double>(static_cast<float>(limit(contrast) + 1) / 50.0f);
  p.noise = static_cast<double>(static_cast<float>(limit(noise) + 1) / 50.0f);
  p.power = static_cast<double>(static_cast<float>(50 - limit(details)) / 80.0f);
  p.slope = static_cast<double>(static_cast<float>(50 - limit(equalization)) / 50.0f);
  p.useExtraColors = useExtraColors;
  return p;
}
