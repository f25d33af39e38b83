// melvaro-cli align [--model MODEL] [--reference K] [--crop] -o PATTERN IN1 IN2 [...]: the
// pictures of a hand-held series moved onto the reference picture and written one file each,
// named from PATTERN's integer field (numbered from 1 in input order), for use in other
// programs. Each file gets its input's metadata and, where the moved picture does not cover
// the frame, transparency (in the formats that hold it).
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/AlignOptions.h"
#include "cli/Commands.h"
#include "jobs/AlignedSeries.h"
#include "jobs/JobTexts.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

struct AlignCommandOptions {
  std::string pattern;
  std::vector<std::string> inputs;
  AlignOptions align;
};

// PATTERN around its one integer field: before + field + after, "%%" already a "%".
struct NumberedPattern {
  std::string before;
  std::string field;  // a printf conversion of one int: flags "-+ 0", a width, a precision
  std::string after;

  std::string Name(int number) const {
    char text[128];
    std::snprintf(text, sizeof text, field.c_str(), number);
    return before + text + after;
  }
};

// The conversion that starts at text[at] (just after its "%"), or empty when it is no
// integer field; *end is where it ends.
std::string IntegerField(const std::string& text, size_t at, size_t* end) {
  size_t i = at;
  while (i < text.size() && std::string_view("-+ 0").find(text[i]) != std::string_view::npos)
    ++i;
  // At most two digits of width and of precision: a name, not a page of zeros.
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      if (i >= text.size() || text[i] != '.') break;
      ++i;
    }
    const size_t digits = i;
    while (i < text.size() && i - digits < 2 && text[i] >= '0' && text[i] <= '9')
      ++i;
  }
  *end = i + 1;
  if (i >= text.size() || std::string_view("diu").find(text[i]) == std::string_view::npos)
    return {};
  return "%" + text.substr(at, i + 1 - at);
}

// Why PATTERN cannot name the files, or empty when it can.
std::string ParsePattern(const std::string& text, NumberedPattern* pattern) {
  const std::string example = " (for example aligned_%02d.tif)";
  std::string* part = &pattern->before;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *part += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      *part += '%';
      ++i;
    } else {
      size_t end = 0;
      const std::string field = IntegerField(text, i + 1, &end);
      if (field.empty())
        return "only one integer field such as %d or %03d may follow a %" + example;
      if (part == &pattern->after) return "holds more than one number field" + example;
      pattern->field = field;
      part = &pattern->after;
      i = end - 1;
    }
  }
  if (part != &pattern->after) return "needs a number field such as %02d" + example;
  return {};
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error) && !error;
}

// The names of the outputs; kExitSuccess, or the status after one error line (an output that
// would replace an input is a usage error).
int OutputNames(const NumberedPattern& pattern, const std::vector<fs::path>& inputs,
                std::vector<fs::path>* names) {
  for (size_t i = 0; i < inputs.size(); ++i) {
    names->push_back(pattern.Name(static_cast<int>(i + 1)));
    if (int status = CheckOutputPath(names->back()); status != kExitSuccess) return status;
    for (const fs::path& input : inputs) {
      if (SameFile(names->back(), input)) {
        ReportError("-o: " + Quoted(names->back()) + " would replace an input picture");
        return kExitUsage;
      }
    }
  }
  return kExitSuccess;
}

// Reports why the pictures could not all be written.
int ReportStop(const AlignedPicturesReport& report, const std::vector<fs::path>& inputs,
               int sinkStatus) {
  const fs::path& file =
      report.failedIndex >= 0 ? inputs[static_cast<size_t>(report.failedIndex)] : fs::path();
  switch (report.status) {
    case AlignedPicturesStatus::kDone:
      return kExitSuccess;
    case AlignedPicturesStatus::kUnreadable:
      ReportUnsupported(file);
      break;
    case AlignedPicturesStatus::kOtherSize:
      ReportError(Quoted(file) + ": " + std::string(BuiltInText(TextId::kSameResolution)));
      break;
    case AlignedPicturesStatus::kOutOfMemory:
      ReportError("not enough memory to align " + Quoted(file));
      break;
    case AlignedPicturesStatus::kCancelled:
      return ReportInterrupted();
    case AlignedPicturesStatus::kStopped:
      return sinkStatus;  // the writer said why
  }
  return kExitFailure;
}

int RunAlign(const AlignCommandOptions& options, const CommonOptions& common) {
  const std::vector<fs::path> inputs(options.inputs.begin(), options.inputs.end());
  if (int status = CheckSeriesInputs(inputs); status != kExitSuccess) return status;
  NumberedPattern pattern;
  ParsePattern(options.pattern, &pattern);  // checked when parsed
  std::vector<fs::path> names;
  if (int status = OutputNames(pattern, inputs, &names); status != kExitSuccess) return status;

  CliProgress progress(common);
  const SeriesAlignment alignment =
      EstimateSeriesAlignment(inputs, options.align.Settings(), &progress);
  if (alignment.status == SeriesAlignStatus::kCancelled) return ReportInterrupted();
  if (alignment.status == SeriesAlignStatus::kOutOfMemory) {
    ReportError("not enough memory to align the pictures");
    return kExitFailure;
  }
  if (alignment.size.width == 0) {  // the reference could not be read
    ReportUnsupported(inputs[static_cast<size_t>(alignment.reference)]);
    return kExitFailure;
  }
  ReportAlignment(alignment, inputs);

  // A run that does not write every picture takes away the ones it wrote.
  std::vector<fs::path> written;
  int sinkStatus = kExitSuccess;
  const AlignedPicturesReport report = ForEachAlignedPicture(
      inputs, alignment, options.align.crop, &progress,
      [&](int index, const SBxPicBuf& picture, const SBxPicBuf& coverage) {
        const size_t i = static_cast<size_t>(index);
        sinkStatus = WriteOutput(picture, &coverage, names[i], inputs[i], common, &progress);
        if (sinkStatus == kExitSuccess) written.push_back(names[i]);
        return sinkStatus != kExitSuccess;
      });
  if (report.status == AlignedPicturesStatus::kDone) return kExitSuccess;
  for (const fs::path& file : written) {
    std::error_code error;
    fs::remove(file, error);
  }
  return ReportStop(report, inputs, sinkStatus);
}

}  // namespace

void AddAlignCommand(CLI::App& app, const CommonOptions& common, CommandRunner* runner) {
  CLI::App* command = AddSubcommand(
      app, "align",
      "Move the pictures of a hand-held series onto one of them and write each to a file");
  auto options = std::make_shared<AlignCommandOptions>();
  AddAlignOptions(command, &options->align);
  command
      ->add_option("-o,--output", options->pattern,
                   "Names of the aligned pictures, numbered from 1 in input order through one "
                   "integer field (for example aligned_%02d.tif); the extension gives the format")
      ->required();
  command->add_option("inputs", options->inputs, "The pictures, all of one size (2 to 99)")
      ->required();
  WhenChosen(
      command, runner, [options, &common] { return RunAlign(*options, common); },
      [options] {
        if (options->inputs.size() > static_cast<size_t>(parameter::kMaxSeriesPictures))
          throw CLI::ValidationError(
              "align", "at most " + std::to_string(parameter::kMaxSeriesPictures) +
                           " pictures can be aligned, " + std::to_string(options->inputs.size()) +
                           " were given");
        NumberedPattern pattern;
        if (const std::string refusal = ParsePattern(options->pattern, &pattern); !refusal.empty())
          throw CLI::ValidationError("--output", refusal);
        CheckAlignReference(options->align, options->inputs.size());
      });
}
