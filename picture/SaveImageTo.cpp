// The saver of the background jobs' series files.
#include <string>

#include "picture/ImageSave.h"
#include "settings/Settings.h"

bool SaveImageTo(const SBxPicBuf* picture, const SBxPicBuf* mask,
                 const std::filesystem::path& name) {
  if (picture == nullptr || IsEmpty(*picture) || name.empty()) return true;
  const int quality = ReadSetting(setting::kSaveJpeg);
  const int formatCode = FormatCodeFromName(name.string(), picture->bitsPerComponent);
  try {
    if (WriteImageFile(picture, mask, name, {}, formatCode, quality)) return true;
  } catch (const UnsupportedImageFormat&) {
    return true;
  } catch (const ImageReadError&) {
    return true;
  }
  // Stored as an unsigned number; a negative quality (which meant 95) is
  // stored as 0, which means the same, rather than as a huge number.
  WriteSetting(setting::kSaveJpeg.key,
               std::to_string(quality < 0 ? 0u : static_cast<unsigned>(quality)));
  return false;
}
