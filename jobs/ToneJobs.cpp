#include "jobs/ToneJobs.h"

#include "picture/CBxPicBufAPI.h"

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

ToneMapParams ToneMapParamsFromSliders(const ToneSliders& s) {
  return ToneMapParamsFromSliders(s.contrast, s.noise, s.details, s.equalization, s.extraColors);
}

namespace {
// Allocates an empty result with the source's geometry; false when it has another.
bool ResultReady(const SBxPicBuf& source, SBxPicBuf* result) {
  if (IsEmpty(*result)) CBxPicBufAPI::ReinitHeap(result, &source);
  return !IsEmpty(*result) && SameGeometry(*result, source);
}
}  // namespace

bool ToneMapPicture(const SBxPicBuf& source, const ToneSliders& sliders, JobProgress* progress,
                    SBxPicBuf* result) {
  if (!ResultReady(source, result)) return true;
  const ToneMapParams params = ToneMapParamsFromSliders(sliders);
  if (progress) progress->SetRange(0, ToneMapProgressSteps(source, params));
  return LocalLaplacianToneMap(result, &source, params, progress);
}

bool SmartContrastJob::Prepare(const SBxPicBuf& source) {
  return SmartContrastPrepare(&state_, &source);
}

bool SmartContrastJob::Apply(const int lod[kSmartContrastSliders], SBxPicBuf* result) {
  SBxPicBuf geometry = state_.paddedSource;
  geometry.width = state_.sourceWidth;
  geometry.height = state_.sourceHeight;
  if (!ResultReady(geometry, result)) return true;
  if (SmartContrastApply(&state_, lod) != 0) return true;
  SmartContrastCopyResult(result, state_);
  return false;
}
