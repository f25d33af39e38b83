// The save dialog's rules for names, filters and formats.
#include <cctype>

#include "picture/ImageSave.h"

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Format code of an extension such as ".JPG" by the depth's filter list.
int CodeOfListedExtension(std::string_view extension, uint32_t bitsPerComponent) {
  const std::string lower = Lower(extension);
  if (lower == ".tif") return kFormatTiff;
  if (lower == ".png") return kFormatPng;
  if (bitsPerComponent == 16) return kFormatFromName;
  if (lower == ".bmp") return kFormatBmp;
  if (lower == ".jpg") return kFormatJpeg;
  return kFormatFromName;
}

// 1-based position of a format in the depth's filter list.
int FilterIndexOf(int formatCode, uint32_t bitsPerComponent) {
  if (formatCode == kFormatFromName) return 0;
  return bitsPerComponent == 16 ? formatCode - 1 : formatCode;
}

}  // namespace

int EffectiveJpegQuality(int storedQuality) {
  if (storedQuality < 1) return 95;
  // Larger numbers would reach the encoder's preset flags.
  return storedQuality > 100 ? 100 : storedQuality;
}

int FormatCodeFromExtension(const std::filesystem::path& name) {
  const std::string extension = Lower(name.extension().string());
  if (extension == ".bmp") return kFormatBmp;
  if (extension == ".tif" || extension == ".tiff") return kFormatTiff;
  if (extension == ".png") return kFormatPng;
  if (extension == ".jpg" || extension == ".jpeg") return kFormatJpeg;
  return kFormatFromName;
}

int FormatCodeFromName(std::string_view name, uint32_t bitsPerComponent) {
  if (name.size() < 4) return kFormatFromName;
  return CodeOfListedExtension(name.substr(name.size() - 4), bitsPerComponent);
}

std::vector<std::string> SaveFilterPatterns(uint32_t bitsPerComponent) {
  if (bitsPerComponent == 16) return {"*.tif", "*.png"};
  return {"*.bmp", "*.tif", "*.png", "*.jpg"};
}

SaveProposal ProposeSaveName(const std::filesystem::path& currentFilePath,
                             uint32_t bitsPerComponent) {
  SaveProposal proposal;
  const std::filesystem::path fileName = currentFilePath.filename();
  if (fileName.empty()) return proposal;
  proposal.name = fileName.stem().string() + "-vtx";
  const std::string extension = fileName.extension().string();
  proposal.filterIndex =
      FilterIndexOf(CodeOfListedExtension(extension, bitsPerComponent), bitsPerComponent);
  if (proposal.filterIndex != 0) proposal.defaultExtension = extension;
  return proposal;
}

ChosenSaveName ResolveChosenSaveName(const std::filesystem::path& chosen, int filterIndex,
                                     uint32_t bitsPerComponent) {
  const int named = FormatCodeFromName(chosen.string(), bitsPerComponent);
  if (named != kFormatFromName) return {chosen, named};
  const std::vector<std::string> patterns = SaveFilterPatterns(bitsPerComponent);
  const int count = static_cast<int>(patterns.size());
  const int index = filterIndex >= 1 && filterIndex <= count ? filterIndex : 1;
  const std::string extension = patterns[static_cast<size_t>(index - 1)].substr(1);  // ".tif"
  return {chosen.string() + extension, CodeOfListedExtension(extension, bitsPerComponent)};
}
