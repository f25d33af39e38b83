#pragma once

#include <FreeImage.h>

#include <filesystem>
#include <string>

// The TIFF decoder we use keeps a pointer to the ICC profile across its
// reading of the EXIF directory, which frees it: a TIFF with both (as cameras,
// raw converters and our own writer make them) is read from freed memory.
// These load such files with the profile's tag renamed on the way in, so the
// decoder never sees the profile; the profile is read apart when wanted.

// Loads a TIFF through the decoder; *profileHidden tells whether the file's
// profile was kept from the decoder (then read it with ReadTiffProfile). A file
// whose rows would overrun the decoder's bitmap is refused (null).
FIBITMAP* LoadTiffSafely(const std::filesystem::path& path, int flags, bool* profileHidden);

// The ICC profile of the file's first directory, empty when it has none.
std::string ReadTiffProfile(const std::filesystem::path& path);
