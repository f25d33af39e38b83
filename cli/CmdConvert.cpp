// melvaro-cli convert -o OUT IN: reads a picture and writes it in the format
// of OUT's extension, at --depth or the input's depth.
#include <memory>
#include <string>

#include "cli/Commands.h"

namespace {

struct ConvertOptions {
  std::string output;
  std::string input;
};

int RunConvert(const ConvertOptions& options, const CommonOptions& common) {
  if (int status = CheckOutputPath(options.output); status != kExitSuccess) return status;
  CliProgress progress(common);
  InputPicture input;
  if (int status = LoadInput(options.input, &input, &progress); status != kExitSuccess)
    return status;
  return WriteOutput(*input.picture, input.mask.get(), options.output, input.path, common,
                     &progress);
}

}  // namespace

void AddConvertCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command =
      AddSubcommand(app, "convert", "Read a picture and write it in the format of OUT's extension");
  auto options = std::make_shared<ConvertOptions>();
  AddOutputAndInput(command, &options->output, &options->input);
  command->callback([options, &common, runner] {
    *runner = [options, &common] { return RunConvert(*options, common); };
  });
}
