// melvaro-cli single [--denoise none|low|medium|high] [--exposure N]
// [--series-dir DIR] -o OUT IN: the eleven synthetic exposures of IN, the
// brightest denoised, fused as `fuse` does.
#include <map>
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "cli/SeriesCommand.h"
#include "jobs/SourceList.h"

namespace {

struct SingleOptions {
  SeriesCommandOptions series;
  std::string denoise = "low";
  int exposure = parameter::kExposure.defaultValue;
};

int RunSingle(const SingleOptions& options, const CommonOptions& common) {
  const std::map<std::string, DenoiseLevel> levels{{"none", kDenoiseNone},
                                                   {"low", kDenoiseLow},
                                                   {"medium", kDenoiseMedium},
                                                   {"high", kDenoiseHigh}};
  SeriesRequest request;
  request.kind = SeriesKind::kSingle;
  request.denoiseLevel = levels.at(options.denoise);
  request.jpegQuality = common.jpegQuality;
  return RunSeriesCommand(options.series, common, request,
                          SeriesExposure(SeriesKind::kSingle, options.exposure),
                          SourceList::kCapacity);
}

}  // namespace

void AddSingleCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command =
      AddSubcommand(app, "single", "Make eleven synthetic exposures of one picture and fuse them");
  auto options = std::make_shared<SingleOptions>();
  command
      ->add_option("--denoise", options->denoise,
                   "Noise reduction of the brightest exposures: none, low, medium or high")
      ->transform(CLI::IsMember({"none", "low", "medium", "high"}, CLI::ignore_case))
      ->capture_default_str();
  AddParameterOption(command, "--exposure", &options->exposure, parameter::kExposure,
                     "Exposure target", OutOfRange::kLimited);
  command->add_option("--series-dir", options->series.seriesDir,
                      "Keep the series in this folder (created when missing; only its "
                      "file_NNN.tif files of an earlier run are replaced)");
  AddOutputAndInput(command, &options->series.output, &options->series.input);
  WhenChosen(command, runner, [options, &common] { return RunSingle(*options, common); });
}
