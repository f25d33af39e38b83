// melvaro-cli fuse [--exposure N] -o OUT IN1 IN2 [...]: the full-size fusion
// of the Multi Image panel's OK, all inputs in order, written with the first
// input's metadata.
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Commands.h"
#include "jobs/MemoryNeed.h"
#include "jobs/SeriesPipeline.h"
#include "picture/PictureHeader.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

struct FuseOptions {
  std::string output;
  std::vector<std::string> inputs;
  int exposure = parameter::kExposure.defaultValue;
};

std::string Quoted(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

std::string Describe(const SBxPicBuf& g) {
  return std::to_string(g.width) + "x" + std::to_string(g.height) + ", " +
         std::to_string(g.components) + (g.components == 1 ? " component, " : " components, ") +
         std::to_string(g.bitsPerComponent) + " bits";
}

// Refuses, before any long work, inputs that are not there at all.
int CheckInputs(const std::vector<fs::path>& inputs) {
  if (inputs.size() < 2) {
    ReportError(Quoted(inputs.front()) + ": fusing needs at least two pictures");
    return kExitFailure;
  }
  for (const fs::path& input : inputs) {
    std::error_code error;
    if (!fs::exists(input, error)) {
      ReportError(Quoted(input) + ": no such file");
      return kExitFailure;
    }
    if (!fs::is_regular_file(input, error)) {
      ReportError(Quoted(input) + ": not a file");
      return kExitFailure;
    }
  }
  return kExitSuccess;
}

// One line for the first file that stopped the fusion, or for the status.
void ReportFailure(const SeriesFusionReport& report, const std::vector<fs::path>& inputs) {
  if (!report.skipped.empty()) {
    const SeriesSkippedFile& bad = report.skipped.front();
    if (bad.reason == SeriesSkipReason::kUnreadable) {
      ReportUnsupported(bad.path);
    } else {
      ReportError(Quoted(bad.path) + ": " + std::string(BuiltInText(TextId::kSameResolution)) +
                  " (" + Describe(bad.geometry) + "; " + Quoted(inputs.front()) + ": " +
                  Describe(report.geometry) + ")");
    }
    return;
  }
  if (report.status == SeriesFusionStatus::kUnsupported) {
    ReportError(Quoted(inputs.front()) + ": " + SeriesFusionStatusText(report.status) + " (" +
                Describe(report.geometry) + ")");
    return;
  }
  ReportError(SeriesFusionStatusText(report.status));
}

int RunFuse(const FuseOptions& options, const CommonOptions& common) {
  const std::vector<fs::path> inputs(options.inputs.begin(), options.inputs.end());
  if (int status = CheckInputs(inputs); status != kExitSuccess) return status;
  if (int status = CheckOutputPath(options.output); status != kExitSuccess) return status;

  // The first picture's size from its header, as colour of 16 bits at worst.
  PictureClaim claim;
  if (ReadPictureClaim(inputs.front(), FreeImage_GetFileType(inputs.front().c_str(), 0), &claim)) {
    SBxPicBuf geometry;
    geometry.width = static_cast<int>(std::min<uint64_t>(claim.width, INT32_MAX));
    geometry.height = static_cast<int>(std::min<uint64_t>(claim.height, INT32_MAX));
    geometry.components = 3;
    geometry.bitsPerComponent = claim.bitsPerPixel > 32 ? 16 : 8;
    if (int status = CheckMemory("fusing the pictures", FusionBytes(geometry));
        status != kExitSuccess)
      return status;
  }
  CliProgress progress(common);
  progress.SetStage("Fusing " + std::to_string(inputs.size()) + " pictures");
  ScopedPicBuf fused;
  // A script wants all its pictures or a clear failure: every file is required.
  const SeriesFusionReport report =
      FuseFiles(inputs, parameter::kExposure.Clamp(options.exposure), true, &progress, fused.get());
  if (report.status == SeriesFusionStatus::kCancelled) return ReportInterrupted();
  if (report.status != SeriesFusionStatus::kFused) {
    ReportFailure(report, inputs);
    return kExitFailure;
  }
  return WriteOutput(*fused, nullptr, options.output, inputs.front(), common, &progress);
}

}  // namespace

void AddFuseCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "fuse", "Fuse a bracketed series of pictures of one scene into one picture");
  auto options = std::make_shared<FuseOptions>();
  command
      ->add_option("--exposure", options->exposure,
                   "Exposure target, " + std::to_string(parameter::kExposure.minimum) + ".." +
                       std::to_string(parameter::kExposure.maximum) + " (limited to that range)")
      ->capture_default_str();
  AddOutputOption(command, &options->output);
  command->add_option("inputs", options->inputs, "The pictures, all of one size")->required();
  command->callback([options, &common, runner] {
    *runner = [options, &common] { return RunFuse(*options, common); };
  });
}
