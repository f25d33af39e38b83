#pragma once

// The user's base folders, as the XDG base-directory convention names them: a variable that
// holds an absolute path, else a folder under the home folder. Only the paths are formed;
// nothing is created.

#include <filesystem>

// $HOME when set and not empty, else the home folder of the password database when it is
// absolute; empty when there is none.
std::filesystem::path HomeFolder();

// $XDG_CONFIG_HOME when it is absolute (a relative value is ignored), else ~/.config; empty
// when there is no home folder either.
std::filesystem::path UserConfigFolder();

// $XDG_CACHE_HOME when it is absolute, else ~/.cache; empty when there is no home folder
// either.
std::filesystem::path UserCacheFolder();
