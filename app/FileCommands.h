#pragma once

#include <filesystem>
#include <string>
#include <system_error>

class QWidget;
class UserDialogs;
struct AppState;
struct StartupSettings;

// The file types Open offers.
inline constexpr const char* kOpenFilter = "*.bmp;*.jpg;*.tif;*.png";
// The file types Multi Image offers.
inline constexpr const char* kSeriesFilter = "*.bmp;*.jpg;*.gif;*.tif;*.png";

// Loads `*path` into the document's source and mask (and currentFilePath). An empty path
// asks for the file first and receives the chosen one. A file that cannot be read is
// reported to the user. True on failure or cancel; the document is then unchanged.
bool OpenSourceImageAsking(UserDialogs& dialogs, QWidget* parent, AppState* state,
                           std::filesystem::path* path);

// Saves the document's result (with its mask) and the metadata of the opened file. An empty
// `*name` asks with the save dialog, proposing "<opened name>-vtx" in the opened file's
// format; on success `*name` is the file written. A failure is reported to the user and
// nothing is overwritten. False when saved, true when cancelled or failed.
bool SaveImageAs(UserDialogs& dialogs, QWidget* parent, AppState* state,
                 std::filesystem::path* name);

// The Options command. It reads the start-up settings again (into `*startup`, keeping the
// values committed since start-up that the exit write stores) and the language list of
// `languageFile`, offers the list, stores the chosen language in the file
// and, when it differs from `*languageIndex` (the language of this run), says in the chosen
// language that a restart is needed. `*languageIndex` then holds the choice.
void RunOptions(UserDialogs& dialogs, QWidget* parent, const std::filesystem::path& languageFile,
                StartupSettings* startup, int* languageIndex);
