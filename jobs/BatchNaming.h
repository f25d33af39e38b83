#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/BatchGrouping.h"

// Naming the results of a batch from a pattern with fields:
//   {first}   the name of the series' first picture without its extension
//   {n}       the series' number, from 1
//   {folder}  the folder of the series' first picture
// The format follows the pattern's extension, as for every saved picture.

// Each result beside its series, named after the series' first picture.
inline constexpr std::string_view kDefaultOutputPattern = "{folder}/{first}-vtx.jpg";

// Why the pattern cannot name results (an unknown field, a brace left open, no extension the
// writer knows), in words for the user; empty when it can.
std::string CheckOutputPattern(std::string_view pattern);

// The pattern with the fields of series `number` (from 1) filled in. A first picture without
// a folder has the current folder, ".".
std::filesystem::path FillOutputPattern(std::string_view pattern, const BatchSeries& series,
                                        int number);

struct BatchOutputs {
  std::vector<std::filesystem::path> outputs;  // one per series
  std::string refusal;                         // empty when every series has a file of its own
};

// The result of every series. Refused when the pattern is, or when two series would write the
// same file (told apart after the folders' links are followed).
BatchOutputs NameBatchOutputs(std::string_view pattern, std::span<const BatchSeries> series);

// One file, however it is named: absolute, links of existing folders followed, "." and ".."
// gone. What two names are compared by.
std::filesystem::path SameFileKey(const std::filesystem::path& path);
