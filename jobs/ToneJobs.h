#pragma once

#include "tone/SmartContrast.h"
#include "tone/ToneMap.h"

// The one mapping from the Tone Mapping sliders (contrast, noise, details, equalization;
// positions outside their range are limited to it) to the engine's parameters, used by the
// panel and the command line alike.
ToneMapParams ToneMapParamsFromSliders(int contrast, int noise, int details, int equalization,
                                       bool useExtraColors);
