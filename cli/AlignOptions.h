#pragma once

// The alignment options, declared once for the commands that align a series (`fuse --align`,
// `align`), and what both say about the motions they found.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/AlignedSeries.h"

struct AlignOptions {
  std::string model{parameter::kAlignModelNames[0]};
  int reference = parameter::kAlignReferenceMiddle;
  bool crop = parameter::kAlignCrop;

  // The settings of the job (the names are checked when parsed).
  AlignSettings Settings() const;
};

// `fuse`: --align [MODEL] (alone: the first model, auto), --reference K and --crop, the last two
// only with --align. Returns the --align option (counted when given).
CLI::Option* AddFuseAlignOptions(CLI::App* command, AlignOptions* options);
// `align`: --model MODEL, --reference K and --crop.
void AddAlignOptions(CLI::App* command, AlignOptions* options);

// Refuses, as a usage error, a reference beyond the `count` pictures given.
void CheckAlignReference(const AlignOptions& options, size_t count);

// "--align MODEL" joined into "--align=MODEL" when MODEL is a model name, and a bare --align made
// "--align=auto": the model may follow --align as a value of its own while a file after a bare
// --align stays an input.
std::vector<std::string> JoinAlignModel(int argc, char** argv);

// One line per picture on stderr: the reference, its motion (shift in px, rotation in degrees,
// model) or "still"; a picture left as it was is named in a warning saying why.
void ReportAlignment(const SeriesAlignment& alignment,
                     const std::vector<std::filesystem::path>& inputs);
