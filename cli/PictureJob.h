#pragma once

// The one way every melvaro-cli command runs its work: check that the output can be written,
// read the input picture (for a command that has one), refuse before it starts work whose
// memory need cannot fit, run, and write the result with the input's metadata. A command only
// says what differs.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cli/CliCommon.h"

struct PictureJob {
  std::filesystem::path output;
  // The picture read before the work; empty for a command that reads its own files.
  std::filesystem::path input;
  // Whose metadata and profile the output gets; empty: the input's.
  std::filesystem::path metadataSource;

  // The memory the work needs for the picture read (an empty picture without an input), and
  // the job's name in a refusal ("tone mapping needs about ..."). No need given: no check.
  std::function<std::optional<uint64_t>(const SBxPicBuf& input)> memoryNeed;
  std::string memoryJob;

  // The stage the progress shows while the work runs; empty when the work names its own.
  std::string stage;
  // The work: fills `result` (empty when called) and gives kExitSuccess, or reports its
  // failure and gives the exit status. No work: the input itself is written.
  std::function<int(const InputPicture& input, JobProgress* progress, SBxPicBuf* result)> run;
  // The input's alpha goes with the result.
  bool keepMask = true;
};

// Runs the job with the common options; the exit status.
int RunPictureJob(const PictureJob& job, const CommonOptions& common);
