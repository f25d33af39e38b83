#pragma once

#include <filesystem>
#include <string_view>

// Where the series generators write their pictures, the names of those
// pictures and how a folder is cleared before a new series.

// The program's own temporary folder: $XDG_CACHE_HOME/Melvaro/tmpfolder, or
// ~/.cache/Melvaro/tmpfolder. Only forms the path (empty when no home folder
// can be found).
std::filesystem::path TemporaryFolder();

// A new, empty folder of the caller's own beside the temporary folder
// ($XDG_CACHE_HOME/Melvaro/series-XXXXXX), for a run that must not share the
// temporary folder with another; the caller removes it. Empty on failure.
std::filesystem::path MakePrivateSeriesFolder();

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
