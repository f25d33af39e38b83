// melvaro-cli contrast: Smart Contrast with the eight "Levels of details" gains.
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/PictureJob.h"
#include "jobs/MemoryNeed.h"
#include "jobs/ToneJobs.h"

namespace {

struct ContrastOptions {
  std::string output;
  std::string input;
  std::vector<int> lod;
};

int RunContrast(const ContrastOptions& options, const CommonOptions& common) {
  PictureJob job;
  job.output = options.output;
  job.input = options.input;
  job.memoryJob = "Smart Contrast";
  job.memoryNeed = [](const SBxPicBuf& picture) { return SmartContrastBytes(picture); };
  job.stage = "Smart Contrast";
  job.run = [&options](const InputPicture& input, JobProgress*, SBxPicBuf* result) {
    SmartContrastJob contrast;
    if (!contrast.Prepare(*input.picture) && !contrast.Apply(options.lod.data(), result))
      return kExitSuccess;
    ReportError("Smart Contrast failed: not enough memory");
    return kExitFailure;
  };
  return RunPictureJob(job, common);
}

}  // namespace

void AddContrastCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command =
      AddSubcommand(app, "contrast", "Smart Contrast: a gain per level of detail (10 keeps it)");
  auto options = std::make_shared<ContrastOptions>();
  AddParameterListOption(command, "--lod", &options->lod, kSmartContrastSliders,
                         parameter::kLodGain, "Eight gains, finest level first: L0,...,L7");
  AddOutputAndInput(command, &options->output, &options->input);
  WhenChosen(
      command, runner, [options, &common] { return RunContrast(*options, common); },
      [options] {
        CheckListCount("--lod", options->lod, kSmartContrastSliders, "10,10,12,14,10,10,8,10");
      });
}
