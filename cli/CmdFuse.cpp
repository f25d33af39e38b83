// melvaro-cli fuse [--exposure N] [--align [MODEL]] [--deghost [S]] [--reference K] [--crop]
// -o OUT IN1 IN2 [...]: the full-size fusion of the Multi Image panel's OK, all inputs in order,
// aligned first and with ghosts removed when asked, written with the first input's metadata.
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/AlignOptions.h"
#include "cli/Commands.h"
#include "cli/FusionOptions.h"
#include "cli/GhostOptions.h"
#include "cli/PictureJob.h"
#include "jobs/AlignedSeries.h"
#include "jobs/GhostSeries.h"
#include "jobs/JobTexts.h"
#include "jobs/MemoryNeed.h"
#include "jobs/SeriesPipeline.h"
#include "jobs/SourceList.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

// The most pictures one fusion takes: as many as the program's series holds.
constexpr int kMaxInputs = SourceList::kCapacity;

struct FuseOptions {
  std::string output;
  std::vector<std::string> inputs;
  FusionOptions fusion;
  AlignOptions align;
  bool aligned = false;  // --align was given
  int deghost = parameter::kDeghostStrength.defaultValue;
  bool deghosted = false;  // --deghost was given
};

}  // namespace

// Refuses, before any long work, inputs that are not there at all.
int CheckSeriesInputs(const std::vector<fs::path>& inputs) {
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

namespace {

// One line for the first file that stopped the fusion, or for the status.
void ReportFailure(const SeriesFusionReport& report, const std::vector<fs::path>& inputs) {
  if (!report.skipped.empty()) {
    const SeriesSkippedFile& bad = report.skipped.front();
    if (bad.reason == SeriesSkipReason::kUnreadable) {
      ReportUnsupported(bad.path);
    } else {
      ReportError(Quoted(bad.path) + ": " + std::string(BuiltInText(TextId::kSameResolution)) +
                  " (" + PictureFormatText(bad.geometry) + "; " + Quoted(inputs.front()) + ": " +
                  PictureFormatText(report.geometry) + ")");
    }
    return;
  }
  if (report.status == SeriesFusionStatus::kUnsupported) {
    ReportError(Quoted(inputs.front()) + ": " + SeriesFusionStatusText(report.status) + " (" +
                PictureFormatText(report.geometry) + ")");
    return;
  }
  ReportError(SeriesFusionStatusText(report.status));
}

int RunFuse(const FuseOptions& options, const CommonOptions& common) {
  const std::vector<fs::path> inputs(options.inputs.begin(), options.inputs.end());
  if (int status = CheckSeriesInputs(inputs); status != kExitSuccess) return status;
  PictureJob job;
  job.output = options.output;
  job.metadataSource = inputs.front();
  // Every picture is read by the fusion itself: the first one's header tells the need.
  job.memoryJob = "fusing the pictures";
  const bool aligned = options.aligned, deghosted = options.deghosted;
  job.memoryNeed = [&inputs, aligned, deghosted](const SBxPicBuf&) {
    if (deghosted) return GhostFusionBytesFromHeader(inputs.front(), aligned);
    return aligned ? AlignedFusionBytesFromHeader(inputs.front())
                   : FusionBytesFromHeader(inputs.front());
  };
  // The aligned fusion and ghost removal name their stages themselves.
  if (!aligned && !deghosted) job.stage = "Fusing " + std::to_string(inputs.size()) + " pictures";
  const int exposure = options.fusion.Exposure();
  const AlignSettings settings = options.align.Settings();
  const int strength = options.deghost;
  job.run = [&inputs, exposure, aligned, deghosted, settings, strength](
                const InputPicture&, JobProgress* progress, SBxPicBuf* fused) {
    // A script wants all its pictures or a clear failure: every file is required.
    SeriesFusionReport report;
    if (deghosted) {
      const GhostFusionReport ghostReport =
          FuseDeghostedFiles(inputs, exposure, true, settings, aligned, strength, progress, fused);
      if (aligned && ghostReport.fused.alignment.status == SeriesAlignStatus::kEstimated)
        ReportAlignment(ghostReport.fused.alignment, inputs);
      report = ghostReport.fused.fusion;
      if (report.status == SeriesFusionStatus::kFused) ReportGhosts(ghostReport.rejected, inputs);
    } else if (aligned) {
      const AlignedFusionReport alignedReport =
          FuseAlignedFiles(inputs, exposure, true, settings, progress, fused);
      if (alignedReport.alignment.status == SeriesAlignStatus::kEstimated)
        ReportAlignment(alignedReport.alignment, inputs);
      report = alignedReport.fusion;
    } else {
      report = FuseFiles(inputs, exposure, true, progress, fused);
    }
    if (report.status == SeriesFusionStatus::kCancelled) return ReportInterrupted();
    if (report.status == SeriesFusionStatus::kFused) return kExitSuccess;
    ReportFailure(report, inputs);
    return kExitFailure;
  };
  return RunPictureJob(job, common);
}

}  // namespace

void AddFuseCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "fuse", "Fuse a bracketed series of pictures of one scene into one picture");
  auto options = std::make_shared<FuseOptions>();
  AddFusionOptions(command, &options->fusion);
  CLI::Option* align = AddFuseAlignOptions(command, &options->align);
  CLI::Option* deghost = AddDeghostOption(command, &options->deghost);
  // The reference serves ghost removal as well as alignment.
  CLI::Option* reference = command->get_option("--reference");
  reference->remove_needs(align);
  AddOutputOption(command, &options->output);
  command->add_option("inputs", options->inputs, "The pictures, all of one size (2 to 99)")
      ->required();
  WhenChosen(
      command, runner, [options, &common] { return RunFuse(*options, common); },
      [options, align, deghost, reference] {
        if (options->inputs.size() > static_cast<size_t>(kMaxInputs))
          throw CLI::ValidationError(
              "fuse", "at most " + std::to_string(kMaxInputs) + " pictures can be fused, " +
                          std::to_string(options->inputs.size()) + " were given");
        options->aligned = align->count() > 0;
        options->deghosted = deghost->count() > 0;
        if (reference->count() > 0 && !options->aligned && !options->deghosted)
          throw CLI::ValidationError("--reference", "--reference requires --align or --deghost");
        CheckAlignReference(options->align, options->inputs.size());
      });
}
