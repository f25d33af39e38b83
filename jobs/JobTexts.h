#pragma once

#include <filesystem>
#include <string>

#include "picture/SBxPicBuf.h"

// Pieces of the sentences jobs give the user about files and pictures.

// A file's name in double quotes, as messages show it.
inline std::string QuotedPath(const std::filesystem::path& path) {
  // Built piece by piece: GCC 12 misreports `"\"" + text` at -O3.
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

// A picture's size and format: "4000x3000, 3 components, 8 bits".
inline std::string PictureFormatText(const SBxPicBuf& g) {
  return std::to_string(g.width) + "x" + std::to_string(g.height) + ", " +
         std::to_string(g.components) + (g.components == 1 ? " component, " : " components, ") +
         std::to_string(g.bitsPerComponent) + " bits";
}
