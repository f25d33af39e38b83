// melvaro-cli tonemap: the Tone Mapping panel's OK over the whole picture, with
// the four slider positions and the extra-colours check box as options.
#include <filesystem>
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "jobs/MemoryNeed.h"
#include "jobs/ToneJobs.h"
#include "settings/Parameters.h"

namespace {

struct TonemapOptions {
  std::string output;
  std::string input;
  int contrast = parameter::kTonePower.defaultValue;
  int noise = parameter::kTonePower.defaultValue;
  int details = parameter::kTonePower.defaultValue;
  int equalization = parameter::kTonePower.defaultValue;
  std::string extraColors = "on";
};

int RunTonemap(const TonemapOptions& options, const CommonOptions& common) {
  if (int status = CheckOutputPath(options.output); status != kExitSuccess) return status;
  CliProgress progress(common);
  InputPicture input;
  if (int status = LoadInput(options.input, &input, &progress); status != kExitSuccess)
    return status;
  if (int status = CheckMemory("tone mapping", ToneMapBytes(*input.picture));
      status != kExitSuccess)
    return status;
  const ToneSliders sliders{options.contrast, options.noise, options.details, options.equalization,
                            options.extraColors == "on"};
  ScopedPicBuf result;
  progress.SetStage("Tone mapping");
  if (ToneMapPicture(*input.picture, sliders, &progress, result.get())) {
    if (Interrupted()) return ReportInterrupted();
    ReportError("tone mapping failed: not enough memory");
    return kExitFailure;
  }
  return WriteOutput(*result, input.mask.get(), options.output, input.path, common, &progress);
}

}  // namespace

void AddTonemapCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "tonemap", "Tone-map a picture as the Tone Mapping panel does (local Laplacian filter)");
  auto options = std::make_shared<TonemapOptions>();
  const auto slider = [&](const std::string& name, int* value, const std::string& what) {
    command->add_option(name, *value, what)
        ->check(CLI::Range(parameter::kTonePower.minimum, parameter::kTonePower.maximum))
        ->capture_default_str();
  };
  slider("--contrast", &options->contrast, "Contrast: the detail/edge threshold (1..50)");
  slider("--noise", &options->noise, "Noise amplitude left alone (1..50)");
  slider("--details", &options->details, "Details enhancement (1..50)");
  slider("--equalization", &options->equalization, "Tone equalization (1..50)");
  command
      ->add_option("--extra-colors", options->extraColors,
                   "Also process the two colour-difference components")
      ->check(CLI::IsMember({"on", "off"}))
      ->capture_default_str();
  AddOutputAndInput(command, &options->output, &options->input);
  command->callback([options, &common, runner] {
    *runner = [options, &common] { return RunTonemap(*options, common); };
  });
}
