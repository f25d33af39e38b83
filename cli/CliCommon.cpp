#include "cli/CliCommon.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <system_error>

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

// A copy of the picture at another depth; false when it cannot be made.
bool ConvertedCopy(const SBxPicBuf& from, uint32_t bits, ScopedPicBuf* to) {
  CBxPicBufAPI::ReinitHeap(to->get(), &from);
  if (IsEmpty(**to)) return false;
  CBxPicBufAPI::Copy(to->get(), &from);
  return CBxPicBufAPI::ConvertBpcComp(to->get(), bits, from.components) != 0;
}

}  // namespace

namespace {
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
  // Built piece by piece: GCC 12 misreports `"\"" + text` at -O3.
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

void ReportError(const std::string& message) {
  EndProgressLine();
  std::fprintf(stderr, "melvaro-cli: %s\n", message.c_str());
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

int WriteOutput(const SBxPicBuf& picture, const SBxPicBuf* mask, const fs::path& output,
                const fs::path& metadataSource, const CommonOptions& options,
                JobProgress* progress) {
  if (int status = CheckOutputPath(output); status != kExitSuccess) return status;
  // The last step at which a stop is heeded: once the file is being written it is finished
  // (it appears complete or not at all).
  if (Interrupted()) return ReportInterrupted();
  const int formatCode = FormatCodeFromExtension(output);
  uint32_t bits = options.depth != 0 ? static_cast<uint32_t>(options.depth)
                                     : (picture.bitsPerComponent == 8 ? 8u : 16u);
  if (formatCode == kFormatJpeg || formatCode == kFormatBmp) bits = 8;

  // Depth changes work on copies: the caller's pictures stay as they are.
  ScopedPicBuf convertedPicture, convertedMask;
  const SBxPicBuf* toWrite = &picture;
  if (mask != nullptr && IsEmpty(*mask)) mask = nullptr;
  if (picture.bitsPerComponent != bits) {
    if (!ConvertedCopy(picture, bits, &convertedPicture)) {
      ReportError("cannot write " + Quoted(output) + ": not enough memory");
      return kExitFailure;
    }
    toWrite = convertedPicture.get();
  }
  if (mask != nullptr && mask->bitsPerComponent != bits) {
    if (!ConvertedCopy(*mask, bits, &convertedMask)) {
      ReportError("cannot write " + Quoted(output) + ": not enough memory");
      return kExitFailure;
    }
    mask = convertedMask.get();
  }

  if (progress) progress->SetStage("Writing " + output.filename().string());
  const fs::path source = options.noMetadata ? fs::path() : metadataSource;
  try {
    std::error_code failure;
    if (WriteImageFile(toWrite, mask, output, source, formatCode, options.jpegQuality, &failure)) {
      ReportError("cannot write " + Quoted(output) + ": " + SaveFailureText(output, failure));
      return kExitFailure;
    }
  } catch (const ImageReadError&) {
    ReportError("cannot write " + Quoted(output) + ": the metadata of " + Quoted(source) +
                " can no longer be read (use --no-metadata to write without it)");
    return kExitFailure;
  } catch (const UnsupportedImageFormat&) {
    ReportError("cannot write " + Quoted(output) + ": the metadata of " + Quoted(source) +
                " cannot be copied (use --no-metadata to write without it)");
    return kExitFailure;
  }
  return kExitSuccess;
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
