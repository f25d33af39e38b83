// melvaro-cli contrast: Smart Contrast with the eight "Levels of details" gains.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "jobs/MemoryNeed.h"
#include "jobs/ToneJobs.h"
#include "settings/Parameters.h"

namespace {

struct ContrastOptions {
  std::string output;
  std::string input;
  std::vector<int> lod = std::vector<int>(kSmartContrastSliders, parameter::kLodGain.defaultValue);
};

int RunContrast(const ContrastOptions& options, const CommonOptions& common) {
  if (int status = CheckOutputPath(options.output); status != kExitSuccess) return status;
  CliProgress progress(common);
  InputPicture input;
  if (int status = LoadInput(options.input, &input, &progress); status != kExitSuccess)
    return status;
  if (int status = CheckMemory("Smart Contrast", SmartContrastBytes(*input.picture));
      status != kExitSuccess)
    return status;
  progress.SetStage("Smart Contrast");
  SmartContrastJob job;
  ScopedPicBuf result;
  if (job.Prepare(*input.picture) || job.Apply(options.lod.data(), result.get())) {
    ReportError("Smart Contrast failed: not enough memory");
    return kExitFailure;
  }
  return WriteOutput(*result, input.mask.get(), options.output, input.path, common, &progress);
}

}  // namespace

void AddContrastCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command =
      AddSubcommand(app, "contrast", "Smart Contrast: a gain per level of detail (10 keeps it)");
  auto options = std::make_shared<ContrastOptions>();
  command
      ->add_option("--lod", options->lod,
                   "Eight gains, finest level first, each 0..30 (10 keeps the level): L0,...,L7")
      ->delimiter(',')
      ->check(CLI::Range(parameter::kLodGain.minimum, parameter::kLodGain.maximum))
      ->capture_default_str();
  AddOutputAndInput(command, &options->output, &options->input);
  command->callback([options, &common, runner] {
    if (options->lod.size() != static_cast<size_t>(kSmartContrastSliders))
      throw CLI::ValidationError("--lod", "needs eight values, for example 10,10,12,14,10,10,8,10");
    *runner = [options, &common] { return RunContrast(*options, common); };
  });
}
