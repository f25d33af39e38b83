#include "cli/FusionOptions.h"

#include "cli/CliOptions.h"

void AddFusionOptions(CLI::App* command, FusionOptions* options) {
  AddParameterOption(command, "--exposure", &options->exposure, parameter::kExposure,
                     "Exposure target", OutOfRange::kLimited);
}
