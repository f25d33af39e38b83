#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "picture/SBxPicBuf.h"

// Writing pictures to BMP, TIFF, PNG and JPEG files.

// Raised by the writer when the format cannot be found or cannot hold the
// picture, and when the metadata source is not an image we can read.
struct UnsupportedImageFormat : std::runtime_error {
  UnsupportedImageFormat() : std::runtime_error("") {}
};
// Raised by the writer when the metadata source can no longer be read (moved
// or deleted since it was opened).
struct ImageReadError : std::runtime_error {
  ImageReadError() : std::runtime_error("") {}
};

// The 1-based positions of the 8-bit filter list.
enum ImageFormatCode : int {
  kFormatFromName = 0,
  kFormatBmp = 1,
  kFormatTiff = 2,
  kFormatPng = 3,
  kFormatJpeg = 4
};

// Writer core: true on failure; may throw the two exceptions above.
// kFormatFromName takes the format from the destination's extension (.bmp .tif
// .tiff .png .jpg .jpeg, any case). The mask is written as alpha for colour
// pictures in formats that hold it (never for grey pictures nor JPEG) and must
// have the picture's width, height and depth. 16-bit pictures go only to TIFF
// and PNG: converting them for BMP or JPEG is the caller's choice. Metadata and
// ICC profile are copied from metadataSource unless it is empty. jpegQuality < 1
// means 95. The file is written beside the destination (a symbolic link: beside
// the file it names, which is replaced while the link stays) under a temporary
// name, every write checked and the data synced to the disk, then renamed over
// it: a failure (a full disk) never leaves a partial file nor changes an
// existing one. When given, *failure receives the reason of a failed write
// (std::errc::io_error when the encoder failed without one).
bool WriteImageFile(const SBxPicBuf* picture, const SBxPicBuf* mask,
                    const std::filesystem::path& destination,
                    const std::filesystem::path& metadataSource, int formatCode, int jpegQuality,
                    std::error_code* failure = nullptr);

// Why a save failed, for the words the user reads: told by the writer's
// *failure and, where that says little, by the state of the target's folder.
enum class SaveFailure : uint8_t {
  kDiskFull,        // no space left on the disk (or in the user's quota)
  kNoPermission,    // the folder may not be written
  kReadOnly,        // the disk is mounted read-only
  kFolderInTheWay,  // a folder has the file's name
  kNoFolder,        // the folder the file would go into does not exist
  kTooLarge,        // the file would be larger than this process may write
  kNameTooLong,     // the name is longer than the file system takes
  kOther,           // anything else, the encoder's own failures included
};
// The reason a WriteImageFile to `destination` failed with *failure = `error`
// (empty when the writer gave none).
SaveFailure SaveFailureOf(const std::filesystem::path& destination, std::error_code error);

// The jobs' saver (series files): takes the format from the name's last four
// characters and writes without metadata, JPEG at the caller's quality; true
// on failure, including the writer's exceptions.
bool SaveImageTo(const SBxPicBuf* picture, const SBxPicBuf* mask, const std::filesystem::path& name,
                 int jpegQuality);

// ---- Rules of the save dialog, free of any dialog ----

// The quality the JPEG encoder gets for a stored quality: below 1 means 95,
// above 100 is limited to 100.
int EffectiveJpegQuality(int storedQuality);

// Format code from a file name's extension (.bmp .tif .tiff .png .jpg .jpeg,
// any case); kFormatFromName when it has none of these.
int FormatCodeFromExtension(const std::filesystem::path& name);

// Format code from the last four characters of a typed name, compared without
// regard to case: ".tif" and ".png" for 16-bit pictures, also ".bmp" and ".jpg"
// for the others; kFormatFromName when none matches.
int FormatCodeFromName(std::string_view name, uint32_t bitsPerComponent);

// The filter patterns offered for a picture's depth, in dialog order.
std::vector<std::string> SaveFilterPatterns(uint32_t bitsPerComponent);

struct SaveProposal {
  std::string name;              // "<file name without extension>-vtx", empty when no file
  int filterIndex = 0;           // 1-based in SaveFilterPatterns(bits); 0 when none matched
  std::string defaultExtension;  // the current file's extension as written (".JPG"), or empty
};
// What the save dialog proposes for a result of the given depth whose source
// was currentFilePath.
SaveProposal ProposeSaveName(const std::filesystem::path& currentFilePath,
                             uint32_t bitsPerComponent);

struct ChosenSaveName {
  std::filesystem::path path;
  int formatCode = kFormatFromName;
};
// The name and format to write after the dialog: a name ending in one of the
// list's extensions keeps it and its format; otherwise the selected filter
// (1-based in SaveFilterPatterns(bits)) gives the format and its extension is
// appended.
ChosenSaveName ResolveChosenSaveName(const std::filesystem::path& chosen, int filterIndex,
                                     uint32_t bitsPerComponent);
