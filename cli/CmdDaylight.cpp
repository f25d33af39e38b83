// melvaro-cli daylight up|down [--power N] [--series-dir DIR] -o OUT IN: the
// 39-file daylight family of IN, listed by brightness, of which the first N
// are fused around exposure target 128.
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "cli/SeriesCommand.h"

namespace {

struct DaylightOptions {
  SeriesCommandOptions series;
  std::string direction;
  int power = parameter::kDaylightPower.defaultValue;
};

int RunDaylight(const DaylightOptions& options, const CommonOptions& common) {
  SeriesRequest request;
  request.kind = options.direction == "up" ? SeriesKind::kDaylightUp : SeriesKind::kDaylightDown;
  request.jpegQuality = common.jpegQuality;
  return RunSeriesCommand(options.series, common, request, SeriesExposure(request.kind, 0),
                          parameter::kDaylightPower.Clamp(options.power));
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
  AddParameterOption(command, "--power", &options->power, parameter::kDaylightPower,
                     "How many of the family are fused", OutOfRange::kLimited);
  command->add_option("--series-dir", options->series.seriesDir,
                      "Keep the family in this folder (created when missing; only its "
                      "file_NNN_NNN.tif files of an earlier run are replaced)");
  AddOutputAndInput(command, &options->series.output, &options->series.input);
  WhenChosen(command, runner, [options, &common] { return RunDaylight(*options, common); });
}
