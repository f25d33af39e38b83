#include "cli/AlignOptions.h"

#include <iterator>
#include <string_view>

#include "cli/CliCommon.h"
#include "cli/CliOptions.h"

namespace {

constexpr std::string_view kAlignFlag = "--align";

bool IsModelName(std::string_view name) {
  AlignModel model = AlignModel::kAuto;
  return AlignModelFromName(name, &model);
}

std::string ModelNames() {
  std::string names;
  for (std::string_view name : parameter::kAlignModelNames)
    names += (names.empty() ? "" : "|") + std::string(name);
  return names;
}

const CLI::Validator& ModelName() {
  static const CLI::Validator validator(
      [](const std::string& text) {
        return IsModelName(text) ? std::string() : "not a model (" + ModelNames() + "): " + text;
      },
      "");
  return validator;
}

const std::string kModelHelp =
    "The richest motion: shift, rigid (shift and rotation), projective; auto (default) "
    "takes the richest that the pictures bear out";

void AddReferenceAndCrop(CLI::App* command, AlignOptions* options, CLI::Option* needs) {
  CLI::Option* reference = AddParameterOption(
      command, "--reference", &options->reference, parameter::kAlignReference,
      "The picture the others are aligned to, counted from 1", OutOfRange::kRefused);
  reference->default_str("the middle picture");
  CLI::Option* crop = command->add_flag("--crop", options->crop,
                                        "Cut the result to the area every aligned picture covers");
  if (needs != nullptr) {
    reference->needs(needs);
    crop->needs(needs);
  }
}

}  // namespace

AlignSettings AlignOptions::Settings() const {
  AlignSettings settings;
  AlignModelFromName(model, &settings.model);
  settings.reference = reference;
  settings.crop = crop;
  return settings;
}

CLI::Option* AddFuseAlignOptions(CLI::App* command, AlignOptions* options) {
  // A bare --align reaches the parser with its default model (JoinAlignModel).
  CLI::Option* align = command
                           ->add_option(std::string(kAlignFlag), options->model,
                                        "Align the pictures first. " + kModelHelp)
                           ->type_name("[" + ModelNames() + "]")
                           ->check(ModelName());
  AddReferenceAndCrop(command, options, align);
  return align;
}

void AddAlignOptions(CLI::App* command, AlignOptions* options) {
  command->add_option("--model", options->model, kModelHelp)
      ->check(ModelName())
      ->capture_default_str();
  AddReferenceAndCrop(command, options, nullptr);
}

void CheckAlignReference(const AlignOptions& options, size_t count) {
  if (options.reference != parameter::kAlignReferenceMiddle &&
      static_cast<size_t>(options.reference) > count)
    throw CLI::ValidationError("--reference", "picture " + std::to_string(options.reference) +
                                                  " does not exist: " + std::to_string(count) +
                                                  " pictures were given");
}

std::vector<std::string> JoinAlignModel(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  std::vector<std::string> joined;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") {  // what follows is inputs only
      joined.insert(joined.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
      break;
    }
    if (args[i] == kAlignFlag) {
      const bool named = i + 1 < args.size() && IsModelName(args[i + 1]);
      const std::string model = named ? args[i + 1] : std::string(parameter::kAlignModelNames[0]);
      joined.push_back(args[i] + "=" + model);
      if (named) ++i;
    } else {
      joined.push_back(args[i]);
    }
  }
  return joined;
}

void ReportAlignment(const SeriesAlignment& alignment,
                     const std::vector<std::filesystem::path>& inputs) {
  for (size_t i = 0; i < inputs.size() && i < alignment.motions.size(); ++i) {
    const int index = static_cast<int>(i);
    const std::string picture = "picture " + std::to_string(i + 1) + " " + Quoted(inputs[i]);
    if (alignment.LeftAsIs(index)) {
      ReportLine("warning: " + picture + " is used where it lies: " + alignment.Describe(index));
    } else {
      ReportLine(
          picture + ": " +
          (index == alignment.reference ? std::string("reference") : alignment.Describe(index)));
    }
  }
}
