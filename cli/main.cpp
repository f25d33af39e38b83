// melvaro-cli: the engines of Melvaro from the command line.
#include <CLI/CLI.hpp>
#include <exception>
#include <new>

#include <string>
#include <vector>

#include "cli/AlignOptions.h"
#include "cli/Commands.h"
#include "cli/GhostOptions.h"

int main(int argc, char** argv) {
  CLI::App app{"Melvaro: exposure fusion, synthetic bracketing, tone mapping and Smart Contrast",
               "melvaro-cli"};
  // The common options may come before or after the subcommand.
  app.fallthrough();
  app.require_subcommand(1);
  app.set_version_flag("--version", "melvaro-cli " MELVARO_VERSION);

  CommonOptions common;
  AddParameterOption(&app, "--jpeg-quality", &common.jpegQuality, parameter::kJpegQuality,
                     "JPEG quality", OutOfRange::kRefused);
  app.add_option("--depth", common.depth, "Bits per component of the output (default: the input's)")
      ->check(CLI::IsMember({8, 16}));
  app.add_flag("--no-metadata", common.noMetadata,
               "Do not copy the input's metadata and colour profile");
  app.add_flag("-q,--quiet", common.quiet, "No progress line");

  CommandRunner runner;
  for (AddCommand add : kCommands)
    add(app, common, &runner);
  RefuseEmptyValues(app);

  std::vector<std::string> arguments = JoinDeghostStrength(JoinAlignModel(argc, argv));
  std::vector<char*> joined;
  for (std::string& argument : arguments)
    joined.push_back(argument.data());
  try {
    app.parse(static_cast<int>(joined.size()), joined.data());
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitSuccess : kExitUsage;
  }
  if (!runner) return kExitUsage;
  InstallInterruptHandlers();
  try {
    return runner();
  } catch (const std::bad_alloc&) {
    ReportError("not enough memory");
  } catch (const std::exception& error) {
    ReportError(error.what());
  }
  return kExitFailure;
}
