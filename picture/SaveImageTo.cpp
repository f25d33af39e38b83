// The saver of the background jobs' series files.
#include "picture/ImageSave.h"

bool SaveImageTo(const SBxPicBuf* picture, const SBxPicBuf* mask, const std::filesystem::path& name,
                 int jpegQuality) {
  if (picture == nullptr || IsEmpty(*picture) || name.empty()) return true;
  const int formatCode = FormatCodeFromName(name.string(), picture->bitsPerComponent);
  try {
    return WriteImageFile(picture, mask, name, {}, formatCode, jpegQuality);
  } catch (const UnsupportedImageFormat&) {
    return true;
  } catch (const ImageReadError&) {
    return true;
  }
}
