#include "cli/CliOptions.h"

#include <cstdio>
#include <utility>

namespace {

std::string RangeText(const ParameterRange& range) {
  return std::to_string(range.minimum) + ".." + std::to_string(range.maximum);
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

}  // namespace

CLI::App* AddSubcommand(CLI::App& app, const std::string& name, const std::string& description) {
  CLI::App* command = app.add_subcommand(name, description);
  command->footer(
      "Common options (--jpeg-quality, --depth, --no-metadata, --quiet): see melvaro-cli --help");
  return command;
}

void WhenChosen(CLI::App* command, CommandRunner* runner, CommandRunner run,
                std::function<void()> check) {
  command->callback([runner, run = std::move(run), check = std::move(check)] {
    if (check) check();
    *runner = run;
  });
}

void AddOutputOption(CLI::App* command, std::string* output) {
  command->add_option("-o,--output", *output, "Output file (.bmp .tif .tiff .png .jpg .jpeg)")
      ->required();
}

void AddOutputAndInput(CLI::App* command, std::string* output, std::string* input) {
  AddOutputOption(command, output);
  command->add_option("input", *input, "Input picture")->required();
}

CLI::Option* AddParameterOption(CLI::App* command, const std::string& name, int* value,
                                const ParameterRange& range, const std::string& what,
                                OutOfRange outOfRange) {
  *value = range.defaultValue;
  const bool limited = outOfRange == OutOfRange::kLimited;
  CLI::Option* option = command->add_option(
      name, *value, what + ", " + RangeText(range) + (limited ? " (limited to that range)" : ""));
  if (!limited) option->check(CLI::Range(range.minimum, range.maximum));
  return option->capture_default_str();
}

CLI::Option* AddSecondsOption(CLI::App* command, const std::string& name, double* value,
                              const SecondsRange& range, const std::string& what) {
  *value = range.defaultValue;
  const std::string rangeText = SecondsText(range.minimum) + ".." + SecondsText(range.maximum);
  // Contains() also refuses a value that is not a number ("nan").
  const CLI::Validator inRange(
      [range, rangeText](const std::string& text) {
        double seconds = 0.0;
        if (!CLI::detail::lexical_cast(text, seconds) || !range.Contains(seconds))
          return "Value " + text + " not in range " + rangeText;
        return std::string();
      },
      "");
  return command->add_option(name, *value, what + ", " + rangeText)
      ->check(inRange)
      ->default_str(SecondsText(range.defaultValue));
}

CLI::Option* AddParameterListOption(CLI::App* command, const std::string& name,
                                    std::vector<int>* values, int count,
                                    const ParameterRange& range, const std::string& what) {
  values->assign(static_cast<size_t>(count), range.defaultValue);
  return command
      ->add_option(name, *values,
                   what + ", each " + RangeText(range) + " (" + std::to_string(range.defaultValue) +
                       " keeps it)")
      ->delimiter(',')
      ->check(CLI::Range(range.minimum, range.maximum))
      ->capture_default_str();
}

void CheckListCount(const std::string& name, const std::vector<int>& values, int count,
                    const std::string& example) {
  if (values.size() != static_cast<size_t>(count))
    throw CLI::ValidationError(
        name, "needs " + std::to_string(count) + " values, for example " + example);
}

void RefuseEmptyValues(CLI::App& app) {
  // No description: the help stays as it is.
  const CLI::Validator notEmpty(
      [](const std::string& value) {
        return value.empty() ? std::string("the value is empty") : std::string();
      },
      "");
  for (CLI::Option* option : app.get_options())
    if (option->get_items_expected_min() > 0) option->check(notEmpty);
  for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
    RefuseEmptyValues(*command);
}
