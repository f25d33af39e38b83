#pragma once

#include <filesystem>
#include <string_view>

// The names of the pictures the series generators write into the folder their
// caller hands them, and how that folder is cleared before a new series. Which
// folder it is, the caller decides.

// "file_%.3i.tif": the eleven pictures of the synthetic series.
std::filesystem::path SeriesFileName(const std::filesystem::path& folder, int index);
// "file_%.3i_%.3i.tif": the daylight family, by row and column.
std::filesystem::path FamilyFileName(const std::filesystem::path& folder, int row, int column);
// True for the names the two generators write: file_NNN.tif and file_NNN_NNN.tif.
bool IsSeriesFileName(std::string_view name);

enum class FolderCleanup {
  // The program's temporary folder: every file goes, sub-folders stay.
  kEveryFile,
  // A folder of the user's: only series files of an earlier run go.
  kSeriesFilesOnly,
};

// Creates the folder when missing, then deletes its files as the cleanup says.
// A file that cannot be deleted stays without complaint. False when the folder
// cannot be created or read; nothing is deleted then.
bool PrepareSeriesFolder(const std::filesystem::path& folder, FolderCleanup cleanup);
