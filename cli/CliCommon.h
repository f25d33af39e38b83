#pragma once

// What every melvaro-cli subcommand shares: the common options, reading the
// input, writing the output, error lines and the progress line.

#include <filesystem>
#include <string>

#include "jobs/ResultWrite.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/JobProgress.h"
#include "settings/Parameters.h"

// Exit statuses of melvaro-cli.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the work failed; one line on stderr says why
constexpr int kExitUsage = 2;

// The options every subcommand accepts.
struct CommonOptions {
  int jpegQuality = parameter::kJpegQuality.defaultValue;
  int depth = 0;            // 8 or 16; 0 keeps the picture's own
  bool noMetadata = false;  // do not copy metadata and profile from the input
  bool quiet = false;       // no progress line
};

// Ctrl+C, SIGTERM and SIGHUP ask the run to stop: the engines stop between their steps,
// nothing is written after it, and what the run wrote is taken away again. Installed once
// for the whole run; every CliProgress watches the flag.
void InstallInterruptHandlers();
bool Interrupted();
// Reports "interrupted" and gives the failure status.
int ReportInterrupted();

// Refuses, before it starts, a job whose memory need (jobs/MemoryNeed.h) cannot fit:
// kExitSuccess when it fits, else reports why and gives the failure status.
int CheckMemory(const std::string& job, uint64_t need);

// One line "melvaro-cli: <message>" on stderr (ending a progress line first).
void ReportError(const std::string& message);
// One line of information on stderr as it stands (ending a progress line first): what the work
// found, not a failure.
void ReportLine(const std::string& line);

// The path in double quotes, as every message names a file.
std::string Quoted(const std::filesystem::path& path);

// "<path>: Image format not supported!", for a file that cannot be read or a
// picture the command cannot take.
void ReportUnsupported(const std::filesystem::path& path);

// Refuses early, before any long work, an output the writer could not
// produce: an unknown extension or a folder that does not exist.
int CheckOutputPath(const std::filesystem::path& output);

// A picture read from a file, with its alpha when the file has one.
struct InputPicture {
  std::filesystem::path path;
  ScopedPicBuf picture;
  ScopedPicBuf mask;  // empty without alpha
};

// Reads the file as an 8- or 16-bit grey or colour picture; on failure
// reports "<path>: Image format not supported!", or why the picture was refused
// (a size that cannot be real, truncated data).
int LoadInput(const std::filesystem::path& path, InputPicture* input, JobProgress* progress);

// How results are written with the common options (--jpeg-quality, --depth, --no-metadata).
ResultWriteOptions WriteOptionsOf(const CommonOptions& options);

// Writes the picture (and mask) to `output` in the format of its extension, at
// --depth or the picture's depth (JPEG and BMP always 8 bits), with the
// metadata and ICC profile of `metadataSource` unless --no-metadata. The file
// appears complete or not at all. Reports its own failure.
int WriteOutput(const SBxPicBuf& picture, const SBxPicBuf* mask,
                const std::filesystem::path& output, const std::filesystem::path& metadataSource,
                const CommonOptions& options, JobProgress* progress);

// Progress on stderr, one stage at a time ("Fusing 11 pictures"), unless the user asked for
// quiet. On a terminal one line is redrawn with the stage and its percentage and ended when
// the job is done; otherwise (a log, a pipe) each stage is written once on a line of its own,
// without percentages or carriage returns. The engines' own texts are not shown: the stage
// says what is going on.
class CliProgress : public JobProgress {
 public:
  explicit CliProgress(const CommonOptions& options);
  ~CliProgress() override;
  CliProgress(const CliProgress&) = delete;
  CliProgress& operator=(const CliProgress&) = delete;

  void SetRange(int minimum, int maximum) override;
  void SetPosition(int position) override;
  void Advance(int steps) override;
  void SetText(const std::string& text) override;
  void SetStage(const std::string& text) override;

 private:
  enum class Mode { kQuiet, kTerminal, kLines };
  void Draw();

  Mode mode_;
  int minimum_ = 0;
  int maximum_ = 0;
  int position_ = 0;
  std::string stage_;
};
