// melvaro-cli batch [--gap S | --group N] [--dry-run] [--overwrite] [fusion options]
// [--align [MODEL]] [--deghost [S]] [--reference K] [--crop] [-o PATTERN] FILES_OR_FOLDERS...: many
// bracketed series in one run, told apart by the pictures' capture data (or taken N at a time),
// each fused as `fuse` fuses one and written with its first picture's metadata. Results that exist
// are kept, so a stopped batch resumes.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/AlignOptions.h"
#include "cli/Commands.h"
#include "cli/FusionOptions.h"
#include "cli/GhostOptions.h"
#include "jobs/BatchRun.h"

namespace fs = std::filesystem;

namespace {

struct BatchOptions {
  std::vector<std::string> inputs;
  std::string pattern = std::string(kDefaultOutputPattern);
  double gapSeconds = parameter::kSeriesGap.defaultValue;
  int groupSize = parameter::kGroupSize.defaultValue;
  bool byGroup = false;  // --group given: fixed groups in name order
  bool dryRun = false;
  bool overwrite = false;
  FusionOptions fusion;
  AlignOptions align;
  bool aligned = false;  // --align given: every series aligned first
  int deghost = parameter::kDeghostStrength.defaultValue;
  bool deghosted = false;  // --deghost given: ghosts removed from every series
};

std::vector<fs::path> SeriesFiles(const BatchPlan& plan, size_t series) {
  std::vector<fs::path> files;
  for (const BatchPicture& picture : plan.series[series].pictures)
    files.push_back(picture.path);
  return files;
}

// Collects the pictures, reads their capture data and plans the series. A plan that cannot
// be made as asked (pictures without capture data and no --group, a pattern that would write
// one result over another or over a picture) is a usage error.
int PlanFromInputs(const BatchOptions& options, const CommonOptions& common, BatchPlan* plan) {
  const std::vector<fs::path> inputs(options.inputs.begin(), options.inputs.end());
  BatchInputs read;
  {
    CliProgress progress(common);
    read = ReadBatchInputs(inputs, &progress);
  }
  if (!read.refusal.empty()) {
    ReportError(read.refusal);
    return kExitFailure;
  }
  if (read.cancelled) return ReportInterrupted();
  BatchPlanRequest request;
  request.grouping.gapSeconds = options.gapSeconds;
  request.grouping.fixedGroup = options.byGroup ? options.groupSize : 0;
  request.pattern = options.pattern;
  *plan = PlanBatch(std::move(read.pictures), request);
  if (plan->refusal.empty()) return kExitSuccess;
  ReportError(plan->refusal);
  // Nothing but results of an earlier run: no picture to fuse, whatever the options.
  return plan->onlyResults ? kExitFailure : kExitUsage;
}

// Refuses, before any series is fused, results whose folder does not exist: every series would
// fail the same way at its end.
int CheckResultFolders(const BatchPlan& plan) {
  for (size_t i = 0; i < plan.series.size(); ++i) {
    if (plan.series[i].pictures.size() < 2) continue;  // nothing is written for it
    if (int status = CheckOutputPath(plan.outputs[i]); status != kExitSuccess) return status;
  }
  return kExitSuccess;
}

// The plan on stdout, with the results that a run would keep as they are.
int ListPlan(const BatchPlan& plan, const BatchOptions& options) {
  std::string text = DescribeBatchPlan(plan);
  if (!options.overwrite) {
    int existing = 0;
    for (size_t i = 0; i < plan.series.size(); ++i) {
      std::error_code error;
      if (plan.series[i].pictures.size() >= 2 && fs::exists(plan.outputs[i], error)) ++existing;
    }
    if (existing == 1)
      text += "1 result exists already and is kept (--overwrite writes it again)\n";
    if (existing > 1)
      text += std::to_string(existing) +
              " results exist already and are kept (--overwrite writes them again)\n";
  }
  std::fputs(text.c_str(), stdout);
  return CheckResultFolders(plan);
}

int RunPlan(const BatchPlan& plan, const BatchOptions& options, const CommonOptions& common) {
  if (int status = CheckResultFolders(plan); status != kExitSuccess) return status;
  BatchRunOptions run;
  run.exposure = options.fusion.Exposure();
  run.overwrite = options.overwrite;
  run.write = WriteOptionsOf(common);
  if (options.aligned) {
    run.align = options.align.Settings();
    run.aligned = [&plan](size_t series, const SeriesAlignment& alignment) {
      ReportLine("series " + std::to_string(series + 1) + ":");
      ReportAlignment(alignment, SeriesFiles(plan, series));
    };
  }
  if (options.deghosted) {
    run.deghost = BatchGhostOptions{options.deghost, options.align.reference};
    const bool aligned = options.aligned;  // then the series' line is out already
    run.deghosted = [&plan, aligned](size_t series, const std::vector<float>& rejected) {
      const bool any = std::any_of(rejected.begin(), rejected.end(), [](float r) { return r > 0; });
      if (!aligned && any) ReportLine("series " + std::to_string(series + 1) + ":");
      ReportGhosts(rejected, SeriesFiles(plan, series));
    };
  }
  // A failure is shown when it happens; the batch goes on.
  run.seriesDone = [](size_t series, const BatchSeriesResult& result) {
    if (result.status == BatchSeriesStatus::kFailed)
      ReportError("series " + std::to_string(series + 1) + ": " + result.problem);
  };
  BatchRunSummary summary;
  {
    CliProgress progress(common);
    summary = RunBatch(plan, run, &progress);
  }
  if (summary.cancelled) ReportInterrupted();
  std::printf("%s\n", summary.Text().c_str());
  return summary.AnyFailed() || summary.cancelled ? kExitFailure : kExitSuccess;
}

int RunBatchCommand(const BatchOptions& options, const CommonOptions& common) {
  BatchPlan plan;
  if (int status = PlanFromInputs(options, common, &plan); status != kExitSuccess) return status;
  return options.dryRun ? ListPlan(plan, options) : RunPlan(plan, options, common);
}

}  // namespace

void AddBatchCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "batch",
      "Fuse many bracketed series in one run, each series found from the pictures' capture data");
  auto options = std::make_shared<BatchOptions>();
  CLI::Option* gap = AddSecondsOption(
      command, "--gap", &options->gapSeconds, parameter::kSeriesGap,
      "A pause longer than this, in seconds, between two exposures starts a new series");
  CLI::Option* group = AddParameterOption(
      command, "--group", &options->groupSize, parameter::kGroupSize,
      "Take the pictures this many at a time in name order instead of by their capture data",
      OutOfRange::kRefused);
  group->default_str("");  // without --group the capture data decides
  gap->excludes(group);
  command->add_flag("--dry-run", options->dryRun,
                    "List the series found, their pictures and why each ended; write nothing");
  command->add_flag("--overwrite", options->overwrite,
                    "Fuse again a series whose result exists (by default it is kept)");
  AddFusionOptions(command, &options->fusion);
  CLI::Option* align = AddFuseAlignOptions(command, &options->align);
  CLI::Option* deghost = AddDeghostOption(command, &options->deghost);
  // The reference serves ghost removal as well as alignment.
  CLI::Option* reference = command->get_option("--reference");
  reference->remove_needs(align);
  command
      ->add_option("-o,--output", options->pattern,
                   "Where each result goes, from the fields {first} (the series' first picture "
                   "without its extension), {n} (the series' number) and {folder} (its folder); "
                   "the extension gives the format")
      ->capture_default_str();
  command->add_option("inputs", options->inputs, "The pictures, and folders of pictures")
      ->required();
  WhenChosen(
      command, runner, [options, &common] { return RunBatchCommand(*options, common); },
      [options, group, align, deghost, reference] {
        options->byGroup = group->count() > 0;
        options->aligned = align->count() > 0;
        options->deghosted = deghost->count() > 0;
        if (reference->count() > 0 && !options->aligned && !options->deghosted)
          throw CLI::ValidationError("--reference", "--reference requires --align or --deghost");
        if (const std::string refusal = CheckOutputPattern(options->pattern); !refusal.empty())
          throw CLI::ValidationError("--output", refusal);
      });
}
