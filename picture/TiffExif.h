#pragma once

#include <FreeImage.h>

#include <filesystem>

// The TIFF encoder we use keeps XMP, IPTC and the ICC profile but drops the
// camera's EXIF. This adds the EXIF and GPS tags a bitmap carries to a TIFF
// file already written, in the file's own EXIF and GPS directories, so a TIFF
// saved from a camera JPEG still tells camera, lens, exposure and date.
// False on success (also when there is nothing to add), true when the file
// could not be completed; the file is then not to be used.
bool AddExifToTiff(const std::filesystem::path& tiffPath, FIBITMAP* metadata);
