#pragma once

#include <filesystem>

// The program's own folders for series files, in the user's cache folder: large files do not
// belong in the configuration folder.

// The program's temporary folder: $XDG_CACHE_HOME/Melvaro/tmpfolder, or
// ~/.cache/Melvaro/tmpfolder. Only forms the path (empty when no home folder can be found).
std::filesystem::path TemporaryFolder();

// A new, empty folder of the caller's own beside the temporary folder
// ($XDG_CACHE_HOME/Melvaro/series-<pid>-XXXXXX), for a run that must not share the temporary
// folder with another; the caller removes it. Folders that killed runs left there go first.
// Empty on failure.
std::filesystem::path MakePrivateSeriesFolder();
