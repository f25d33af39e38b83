#pragma once

// The subcommands of melvaro-cli. Each file adds its subcommand to the
// application; when the user picks it, the subcommand's callback leaves in
// *runner the work to run once the command line has been parsed. A runner
// returns the exit status.

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "cli/CliCommon.h"

using CommandRunner = std::function<int()>;

// Adds a subcommand whose help points at the common options.
inline CLI::App* AddSubcommand(CLI::App& app, const std::string& name,
                               const std::string& description) {
  CLI::App* command = app.add_subcommand(name, description);
  command->footer(
      "Common options (--jpeg-quality, --depth, --no-metadata, --quiet): see melvaro-cli --help");
  return command;
}

// Adds the required -o OUT option.
inline void AddOutputOption(CLI::App* command, std::string* output) {
  command->add_option("-o,--output", *output, "Output file (.bmp .tif .tiff .png .jpg .jpeg)")
      ->required();
}
// Adds -o OUT and the one input picture.
inline void AddOutputAndInput(CLI::App* command, std::string* output, std::string* input) {
  AddOutputOption(command, output);
  command->add_option("input", *input, "Input picture")->required();
}

// melvaro-cli convert -o OUT IN
void AddConvertCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);
// melvaro-cli fuse [--exposure N] -o OUT IN1 IN2 [...]
void AddFuseCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli single [--denoise none|low|medium|high] [--exposure N] [--series-dir DIR] -o OUT IN
void AddSingleCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli daylight up|down [--power N] [--series-dir DIR] -o OUT IN
void AddDaylightCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli tonemap [--contrast P1] [--noise P2] [--details P3] [--equalization P4]
//                     [--extra-colors on|off] -o OUT IN
void AddTonemapCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli contrast [--lod L0,...,L7] -o OUT IN
void AddContrastCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);
