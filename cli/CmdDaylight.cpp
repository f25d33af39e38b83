// melvaro-cli daylight up|down [--power N] [--series-dir DIR] -o OUT IN: the
// 39-file daylight family of IN, listed by brightness, of which the first N
// are fused around exposure target 128.
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "cli/SeriesCommand.h"
#include "fusion/SeriesGeometry.h"

namespace {

constexpr int kPowerMin = 3;
constexpr int kPowerMax = 39;
constexpr int kPowerDefault = 15;

struct DaylightOptions {
  SeriesCommandOptions series;
  std::string direction;
  int power = kPowerDefault;
};

int RunDaylight(const DaylightOptions& options, const CommonOptions& common) {
  const DaylightDirection direction =
      options.direction == "up" ? DaylightDirection::kUp : DaylightDirection::kDown;
  auto generate = [direction](const SBxPicBuf& source, const SeriesTarget& target, SourceList* list,
                              JobProgress* progress) {
    return RunDaylightSeries(source, direction, target, list, progress);
  };
  const int power = std::clamp(options.power, kPowerMin, kPowerMax);
  return RunSeriesCommand(options.series, common, generate, kDaylightExposure, power);
}

}  // namespace

void AddDaylightCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "daylight",
      "Make the brightened (up) or darkened (down) family of one picture and fuse it");
  auto options = std::make_shared<DaylightOptions>();
  command->add_option("direction", options->direction, "up or down")
      ->required()
      ->transform(CLI::IsMember({"up", "down"}, CLI::ignore_case));
  command
      ->add_option("--power", options->power,
                   "How many of the family are fused, " + std::to_string(kPowerMin) + ".." +
                       std::to_string(kPowerMax) + " (limited to that range)")
      ->capture_default_str();
  command->add_option("--series-dir", options->series.seriesDir,
                      "Keep the family in this folder (created when missing; only its "
                      "file_NNN_NNN.tif files of an earlier run are replaced)");
  AddOutputAndInput(command, &options->series.output, &options->series.input);
  command->callback([options, &common, runner] {
    *runner = [options, &common] { return RunDaylight(*options, common); };
  });
}
