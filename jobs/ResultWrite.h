#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "picture/SBxPicBuf.h"
#include "settings/Parameters.h"

// Writing a job's result the way every saved result is written: the format from the file's
// extension, JPEG and BMP at 8 bits, the metadata and colour profile of the picture it was made
// from, and the file complete or not there at all.

struct ResultWriteOptions {
  int jpegQuality = parameter::kJpegQuality.defaultValue;
  int depth = 0;             // 8 or 16; 0 keeps the picture's
  bool copyMetadata = true;  // from the metadata source
  // Added to the words of a metadata source that cannot be read or copied: what the user can
  // do about it, in the front end's terms (" (use --no-metadata to write without it)").
  std::string metadataHint;
};

// Why a write of `destination` failed with the writer's `failure`, in the loaded language (the
// built-in English texts where none was loaded): "the disk is full", ...
std::string SaveFailureText(const std::filesystem::path& destination, std::error_code failure);

// Writes `picture` to `output`, with its alpha `mask` when one is given (null or empty: none);
// empty on success, else why not, in words that follow the file's name ("the disk is full").
// The caller's pictures are left as they are.
std::string WriteResultFile(const SBxPicBuf& picture, const std::filesystem::path& output,
                            const std::filesystem::path& metadataSource,
                            const ResultWriteOptions& options, const SBxPicBuf* mask = nullptr);
