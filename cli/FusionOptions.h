#pragma once

// The options of a fusion, declared once for every command that fuses pictures the user gives
// (`fuse`, `batch`): an option added here reaches them all, with the same name, range and help.

#include <CLI/CLI.hpp>

#include "settings/Parameters.h"

struct FusionOptions {
  int exposure = parameter::kExposure.defaultValue;

  // The exposure target as the fusion takes it: limited to its range, as the panel's slider is.
  int Exposure() const { return parameter::kExposure.Clamp(exposure); }
};

void AddFusionOptions(CLI::App* command, FusionOptions* options);
