#include "jobs/ResultWrite.h"

#include <system_error>

#include "jobs/JobTexts.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageSave.h"
#include "settings/TextTable.h"

namespace fs = std::filesystem;

std::string SaveFailureText(const fs::path& destination, std::error_code failure) {
  switch (SaveFailureOf(destination, failure)) {
    case SaveFailure::kDiskFull:
      return LangText(TextId::kSaveDiskFull);
    case SaveFailure::kNoPermission:
      return LangText(TextId::kSaveNoPermission);
    case SaveFailure::kReadOnly:
      return LangText(TextId::kSaveReadOnly);
    case SaveFailure::kFolderInTheWay:
      return LangText(TextId::kSaveFolderInTheWay);
    case SaveFailure::kNoFolder:
      return LangText(TextId::kSaveNoFolder);
    case SaveFailure::kTooLarge:
      return LangText(TextId::kSaveTooLarge);
    case SaveFailure::kNameTooLong:
      return LangText(TextId::kSaveNameTooLong);
    case SaveFailure::kOther:
      break;
  }
  // Anything else says what the system says, after the general words.
  if (failure) return LangText(TextId::kSaveWriteError) + " (" + failure.message() + ")";
  return LangText(TextId::kSaveWriteError);
}

namespace {

// The picture at `bits` per component: itself, or a copy made in `converted`; null when the
// copy cannot be made.
const SBxPicBuf* AtDepth(const SBxPicBuf& picture, uint32_t bits, ScopedPicBuf* converted) {
  if (picture.bitsPerComponent == bits) return &picture;
  CBxPicBufAPI::ReinitHeap(converted->get(), &picture);
  if (IsEmpty(**converted)) return nullptr;
  CBxPicBufAPI::Copy(converted->get(), &picture);
  if (CBxPicBufAPI::ConvertBpcComp(converted->get(), bits, picture.components) == 0) return nullptr;
  return converted->get();
}

}  // namespace

std::string WriteResultFile(const SBxPicBuf& picture, const fs::path& output,
                            const fs::path& metadataSource, const ResultWriteOptions& options,
                            const SBxPicBuf* mask) {
  const int formatCode = FormatCodeFromExtension(output);
  if (formatCode == kFormatFromName)
    return "unknown format (use .bmp, .tif, .tiff, .png, .jpg or .jpeg)";
  uint32_t bits = options.depth != 0 ? static_cast<uint32_t>(options.depth)
                                     : (picture.bitsPerComponent == 8 ? 8u : 16u);
  if (formatCode == kFormatJpeg || formatCode == kFormatBmp) bits = 8;
  if (mask != nullptr && IsEmpty(*mask)) mask = nullptr;
  // Depth changes work on copies.
  ScopedPicBuf convertedPicture, convertedMask;
  const SBxPicBuf* toWrite = AtDepth(picture, bits, &convertedPicture);
  if (toWrite == nullptr) return "not enough memory";
  if (mask != nullptr) {
    mask = AtDepth(*mask, bits, &convertedMask);
    if (mask == nullptr) return "not enough memory";
  }
  const fs::path source = options.copyMetadata ? metadataSource : fs::path();
  try {
    std::error_code failure;
    if (WriteImageFile(toWrite, mask, output, source, formatCode, options.jpegQuality, &failure))
      return SaveFailureText(output, failure);
  } catch (const ImageReadError&) {
    return "the metadata of " + QuotedPath(source) + " can no longer be read" +
           options.metadataHint;
  } catch (const UnsupportedImageFormat&) {
    return "the metadata of " + QuotedPath(source) + " cannot be copied" + options.metadataHint;
  }
  return {};
}
