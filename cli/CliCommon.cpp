#include "cli/CliCommon.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <system_error>

#include "jobs/JobTexts.h"
#include "jobs/MemoryNeed.h"
#include "jobs/ResultWrite.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

namespace {

// A progress line is on the terminal.
bool progressLineOpen = false;

// Clears the progress line, so the terminal is left clean and an error line
// starts at the margin.
void EndProgressLine() {
  if (!progressLineOpen) return;
  std::fputs("\r\33[K", stderr);
  std::fflush(stderr);
  progressLineOpen = false;
}

std::atomic<uint8_t> interruptFlag{0};
static_assert(std::atomic<uint8_t>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  interruptFlag.store(1, std::memory_order_relaxed);
}
}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaction(signal, &action, nullptr);
}

bool Interrupted() {
  return interruptFlag.load(std::memory_order_relaxed) != 0;
}

int ReportInterrupted() {
  ReportError("interrupted");
  return kExitFailure;
}

int CheckMemory(const std::string& job, uint64_t need) {
  const std::string refusal = MemoryRefusal(job, need);
  if (refusal.empty()) return kExitSuccess;
  ReportError(refusal);
  return kExitFailure;
}

std::string Quoted(const fs::path& path) {
  return QuotedPath(path);
}

void ReportError(const std::string& message) {
  EndProgressLine();
  std::fprintf(stderr, "melvaro-cli: %s\n", message.c_str());
}

void ReportLine(const std::string& line) {
  EndProgressLine();
  std::fprintf(stderr, "%s\n", line.c_str());
}

void ReportUnsupported(const fs::path& path) {
  ReportError(Quoted(path) + ": " + std::string(BuiltInText(TextId::kNotSupported)));
}

int CheckOutputPath(const fs::path& output) {
  if (FormatCodeFromExtension(output) == kFormatFromName) {
    ReportError("cannot write " + Quoted(output) +
                ": unknown format (use .bmp, .tif, .tiff, .png, .jpg or .jpeg)");
    return kExitFailure;
  }
  const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    ReportError("cannot write " + Quoted(output) + ": the folder does not exist");
    return kExitFailure;
  }
  return kExitSuccess;
}

int LoadInput(const fs::path& path, InputPicture* input, JobProgress* progress) {
  if (progress) progress->SetStage("Reading " + path.filename().string());
  input->path = path;
  // Every engine takes 8 or 16 bits, grey or colour; the loader makes nothing
  // else, and this keeps it so for every command.
  const SBxPicBuf& pic = *input->picture;
  std::string reason;
  if (LoadImageFile(input->picture.get(), input->mask.get(), path, &reason) ||
      (pic.bitsPerComponent != 8 && pic.bitsPerComponent != 16) ||
      (pic.components != 1 && pic.components != 3)) {
    if (reason.empty())
      ReportUnsupported(path);
    else
      ReportError(Quoted(path) + ": " + reason);
    return kExitFailure;
  }
  return kExitSuccess;
}

ResultWriteOptions WriteOptionsOf(const CommonOptions& options) {
  ResultWriteOptions write;
  write.jpegQuality = options.jpegQuality;
  write.depth = options.depth;
  write.copyMetadata = !options.noMetadata;
  write.metadataHint = " (use --no-metadata to write without it)";
  return write;
}

int WriteOutput(const SBxPicBuf& picture, const SBxPicBuf* mask, const fs::path& output,
                const fs::path& metadataSource, const CommonOptions& options,
                JobProgress* progress) {
  if (int status = CheckOutputPath(output); status != kExitSuccess) return status;
  // The last step at which a stop is heeded: once the file is being written it is finished
  // (it appears complete or not at all).
  if (Interrupted()) return ReportInterrupted();
  if (progress) progress->SetStage("Writing " + output.filename().string());
  const std::string problem =
      WriteResultFile(picture, output, metadataSource, WriteOptionsOf(options), mask);
  if (problem.empty()) return kExitSuccess;
  ReportError("cannot write " + Quoted(output) + ": " + problem);
  return kExitFailure;
}

CliProgress::CliProgress(const CommonOptions& options)
    : mode_(options.quiet                  ? Mode::kQuiet
            : ::isatty(STDERR_FILENO) == 1 ? Mode::kTerminal
                                           : Mode::kLines) {
  WatchCancelFlag(&interruptFlag);
}

CliProgress::~CliProgress() {
  EndProgressLine();
}

void CliProgress::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
  position_ = minimum;
  Draw();
}

void CliProgress::SetPosition(int position) {
  position_ = position;
  Draw();
}

void CliProgress::Advance(int steps) {
  position_ += steps;
  Draw();
}

void CliProgress::SetText(const std::string& /*text*/) {}

void CliProgress::SetStage(const std::string& text) {
  stage_ = text;
  minimum_ = maximum_ = position_ = 0;  // the stage's own steps come with its range
  if (mode_ == Mode::kLines) {
    std::fprintf(stderr, "%s\n", stage_.c_str());
    std::fflush(stderr);
  }
  Draw();
}

void CliProgress::Draw() {
  if (mode_ != Mode::kTerminal) return;
  // "\33[K" clears what a longer earlier line left on the terminal.
  if (maximum_ > minimum_) {
    const long long done =
        static_cast<long long>(position_ - minimum_) * 100 / (maximum_ - minimum_);
    std::fprintf(stderr, "\r%s %lld%%\33[K", stage_.c_str(),
                 done < 0 ? 0 : (done > 100 ? 100 : done));
  } else {
    std::fprintf(stderr, "\r%s\33[K", stage_.c_str());
  }
  std::fflush(stderr);
  progressLineOpen = true;
}
