#include "jobs/ResultWrite.h"

#include <unistd.h>

#include <system_error>

#include "jobs/JobTexts.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageSave.h"

namespace fs = std::filesystem;

namespace {

// What went wrong with a write into the output's folder, as far as can be told; `failure` is
// the writer's own reason.
std::string FailureReason(const fs::path& output, std::error_code failure) {
  const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  std::error_code error;
  if (!fs::is_directory(folder, error)) return "the folder does not exist";
  if (::access(folder.c_str(), W_OK) != 0) return "the folder is not writable";
  if (fs::is_directory(output, error)) return "a folder of that name is in the way";
  if (failure == std::errc::no_space_on_device) return "the disk is full";
  if (failure == std::errc::file_too_large) return "the file would be too large";
  if (failure) return "the file could not be written (" + failure.message() + ")";
  return "the file could not be written";
}

}  // namespace

std::string WriteResultFile(const SBxPicBuf& picture, const fs::path& output,
                            const fs::path& metadataSource, const ResultWriteOptions& options) {
  const int formatCode = FormatCodeFromExtension(output);
  if (formatCode == kFormatFromName)
    return "unknown format (use .bmp, .tif, .tiff, .png, .jpg or .jpeg)";
  uint32_t bits = options.depth != 0 ? static_cast<uint32_t>(options.depth)
                                     : (picture.bitsPerComponent == 8 ? 8u : 16u);
  if (formatCode == kFormatJpeg || formatCode == kFormatBmp) bits = 8;
  // A depth change works on a copy.
  ScopedPicBuf converted;
  const SBxPicBuf* toWrite = &picture;
  if (picture.bitsPerComponent != bits) {
    CBxPicBufAPI::ReinitHeap(converted.get(), &picture);
    if (IsEmpty(*converted)) return "not enough memory";
    CBxPicBufAPI::Copy(converted.get(), &picture);
    if (CBxPicBufAPI::ConvertBpcComp(converted.get(), bits, picture.components) == 0)
      return "not enough memory";
    toWrite = converted.get();
  }
  const fs::path source = options.copyMetadata ? metadataSource : fs::path();
  try {
    std::error_code failure;
    if (WriteImageFile(toWrite, nullptr, output, source, formatCode, options.jpegQuality, &failure))
      return FailureReason(output, failure);
  } catch (const ImageReadError&) {
    return "the metadata of " + QuotedPath(source) + " can no longer be read";
  } catch (const UnsupportedImageFormat&) {
    return "the metadata of " + QuotedPath(source) + " cannot be copied";
  }
  return {};
}
