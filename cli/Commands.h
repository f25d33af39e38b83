#pragma once

// The subcommands of melvaro-cli. Each file adds its subcommand to the application (its options
// through cli/CliOptions.h); when the user picks it, the subcommand leaves in *runner the work
// to run once the command line has been parsed, mostly a PictureJob (cli/PictureJob.h).
// A new subcommand: its file, its declaration and its entry in kCommands below.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <vector>

#include "cli/CliCommon.h"
#include "cli/CliOptions.h"

// Refuses, before any long work, a series of fewer than two inputs or inputs that are not
// files: kExitSuccess, else the failure status after one error line.
int CheckSeriesInputs(const std::vector<std::filesystem::path>& inputs);

using AddCommand = void (*)(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli convert -o OUT IN
void AddConvertCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);
// melvaro-cli fuse [--exposure N] [--align [MODEL] [--reference K] [--crop]] -o OUT IN1 IN2 [...]
void AddFuseCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);
// melvaro-cli align [--model MODEL] [--reference K] [--crop] -o PATTERN IN1 IN2 [...]
void AddAlignCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli batch [--gap S | --group N] [--dry-run] [--overwrite] [--exposure N] [-o PATTERN]
//                   FILES_OR_FOLDERS...
void AddBatchCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli single [--denoise none|low|medium|high] [--exposure N] [--series-dir DIR] -o OUT IN
void AddSingleCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli daylight up|down [--power N] [--series-dir DIR] -o OUT IN
void AddDaylightCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli tonemap [--contrast P1] [--noise P2] [--details P3] [--equalization P4]
//                     [--extra-colors on|off] -o OUT IN
void AddTonemapCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// melvaro-cli contrast [--lod L0,...,L7] -o OUT IN
void AddContrastCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner);

// Every subcommand, in the order the help lists them.
inline constexpr AddCommand kCommands[] = {AddConvertCommand, AddFuseCommand,    AddAlignCommand,
                                           AddBatchCommand,   AddSingleCommand,  AddDaylightCommand,
                                           AddTonemapCommand, AddContrastCommand};
