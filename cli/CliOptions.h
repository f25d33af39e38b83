#pragma once

// Declaring the options of melvaro-cli: each subcommand, its -o OUT and input, the options that
// take a user-facing parameter (whose range and default come from settings/Parameters.h), and
// the one rule every value obeys (it is never empty).

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

#include "settings/Parameters.h"

// The work a chosen subcommand leaves to run once the command line has been parsed; it returns
// the exit status.
using CommandRunner = std::function<int()>;

// Adds a subcommand whose help points at the common options.
CLI::App* AddSubcommand(CLI::App& app, const std::string& name, const std::string& description);

// When the user picks `command`: `check` (when given) may still refuse the command line with a
// CLI::ValidationError (a usage error), then *runner becomes `run`.
void WhenChosen(CLI::App* command, CommandRunner* runner, CommandRunner run,
                std::function<void()> check = {});

// Adds the required -o OUT option.
void AddOutputOption(CLI::App* command, std::string* output);
// Adds -o OUT and the one input picture.
void AddOutputAndInput(CLI::App* command, std::string* output, std::string* input);

// What becomes of a value outside its parameter's range.
enum class OutOfRange {
  kLimited,  // the nearest end of the range is used, as the panels' sliders do
  kRefused,  // a usage error
};

// An integer option for a parameter: *value starts at the parameter's default, and the help
// names the range ("<what>, 1..50") and the default.
CLI::Option* AddParameterOption(CLI::App* command, const std::string& name, int* value,
                                const ParameterRange& range, const std::string& what,
                                OutOfRange outOfRange);
// An option in seconds (fractions allowed), refused outside its range; *value starts at the
// default, and the help names the range and the default.
CLI::Option* AddSecondsOption(CLI::App* command, const std::string& name, double* value,
                              const SecondsRange& range, const std::string& what);
// A comma-separated list of `count` values of one parameter, each refused outside its range;
// *values starts as `count` defaults. The count is the caller's to check (CheckListCount).
CLI::Option* AddParameterListOption(CLI::App* command, const std::string& name,
                                    std::vector<int>* values, int count,
                                    const ParameterRange& range, const std::string& what);
// Refuses, as a usage error naming the option and `example`, a list of another length.
void CheckListCount(const std::string& name, const std::vector<int>& values, int count,
                    const std::string& example);

// Makes an empty value ("--exposure ''") a usage error for every option and argument of the
// application and its subcommands that takes a value. Called once everything is declared.
void RefuseEmptyValues(CLI::App& app);
