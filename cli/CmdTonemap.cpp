// melvaro-cli tonemap: the Tone Mapping panel's OK over the whole picture, with
// the four slider positions and the extra-colours check box as options.
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "cli/PictureJob.h"
#include "jobs/MemoryNeed.h"
#include "jobs/ToneJobs.h"

namespace {

struct TonemapOptions {
  std::string output;
  std::string input;
  ToneSliders sliders;
  std::string extraColors = "on";
};

int RunTonemap(const TonemapOptions& options, const CommonOptions& common) {
  PictureJob job;
  job.output = options.output;
  job.input = options.input;
  job.memoryJob = "tone mapping";
  job.memoryNeed = [](const SBxPicBuf& picture) { return ToneMapBytes(picture); };
  job.stage = "Tone mapping";
  ToneSliders sliders = options.sliders;
  sliders.extraColors = options.extraColors == "on";
  job.run = [sliders](const InputPicture& input, JobProgress* progress, SBxPicBuf* result) {
    if (!ToneMapPicture(*input.picture, sliders, progress, result)) return kExitSuccess;
    if (Interrupted()) return ReportInterrupted();
    ReportError("tone mapping failed: not enough memory");
    return kExitFailure;
  };
  return RunPictureJob(job, common);
}

}  // namespace

void AddTonemapCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "tonemap", "Tone-map a picture as the Tone Mapping panel does (local Laplacian filter)");
  auto options = std::make_shared<TonemapOptions>();
  ToneSliders& s = options->sliders;
  const auto slider = [&](const std::string& name, int* value, const std::string& what) {
    AddParameterOption(command, name, value, parameter::kTonePower, what, OutOfRange::kRefused);
  };
  slider("--contrast", &s.contrast, "Contrast: the detail/edge threshold");
  slider("--noise", &s.noise, "Noise amplitude left alone");
  slider("--details", &s.details, "Details enhancement");
  slider("--equalization", &s.equalization, "Tone equalization");
  command
      ->add_option("--extra-colors", options->extraColors,
                   "Also process the two colour-difference components")
      ->check(CLI::IsMember({"on", "off"}))
      ->capture_default_str();
  AddOutputAndInput(command, &options->output, &options->input);
  WhenChosen(command, runner, [options, &common] { return RunTonemap(*options, common); });
}
