// melvaro-cli convert -o OUT IN: reads a picture and writes it in the format
// of OUT's extension, at --depth or the input's depth.
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "cli/PictureJob.h"

namespace {

struct ConvertOptions {
  std::string output;
  std::string input;
};

}  // namespace

void AddConvertCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command =
      AddSubcommand(app, "convert", "Read a picture and write it in the format of OUT's extension");
  auto options = std::make_shared<ConvertOptions>();
  AddOutputAndInput(command, &options->output, &options->input);
  WhenChosen(command, runner, [options, &common] {
    PictureJob job;
    job.output = options->output;
    job.input = options->input;
    return RunPictureJob(job, common);
  });
}
