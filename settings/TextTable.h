#pragma once

// The text table: every text the program shows, "string1".."string114", filled from the language
// file with built-in English texts where the file has none. Also the language file's list of
// languages and its current-language entry.
//
// Threads: LangText may be called from any thread at any time. Each load publishes a new, complete
// table and keeps the earlier ones alive until the process ends, so a reference returned by
// LangText stays valid and unchanged while the user-interface thread loads texts (at start-up and
// after Options). Loads themselves are meant for the user-interface thread.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

constexpr int kTextCount = 114;
// Texts, language names and acronyms keep at most this many characters (UTF-16 code units).
constexpr int kTextMaxChars = 1023;
constexpr int kAcronymMaxChars = 15;

// Texts shown from several places.
constexpr int kTextWarning = 3;          // the caption of most message boxes
constexpr int kTextCannotOpenFile = 33;  // "Cannot open file:"
constexpr int kTextNotSupported = 41;    // "Image format not supported!"
constexpr int kTextSelectSource = 49;    // the Open dialog's title
constexpr int kTextUseArrows = 31;       // "Use arrows to change it."
constexpr int kTextArrowsOrF5 = 55;      // "Use arrows to change it or F5 to switch to VTX image."
constexpr int kTextPressF5 = 56;   // "Press F5 to switch between source images and VTX Image."
constexpr int kTextDragHint = 80;  // "Click and drag to move image or preview rectangle, ..."
constexpr int kMaxLanguages = 100;

// The entry "string<n>", n = 1..114; an empty text for any other n.
const std::string& LangText(int n);
// The built-in English text of "string<n>" (empty for numbers without one and outside 1..114).
std::string_view BuiltInText(int n);

// "Melvaro_loc.ini" beside the executable when it is there, else the one in the installed data
// folder when that is there, else the name beside the executable.
std::filesystem::path LanguageFilePath();

struct LanguageRecord {
  std::string name;     // "Language"
  std::string acronym;  // "Acronym", read but not used
};
struct LanguageList {
  std::vector<LanguageRecord> records;  // at most kMaxLanguages, in index order
  int current = 0;                      // "Language Current", not limited to the records
};

// Reads "Languages No" (limited to 0..100) and "Language Current" of section "General", then
// "Language" and "Acronym" of sections "0".."n-1". A missing file gives no languages and index 0.
LanguageList LoadLanguageList(const std::filesystem::path& file);
// The row an Options list selects for the current language, or -1 (no selection) when the index is
// not one of the listed languages.
int SelectedLanguageRow(const LanguageList& list);

// Loads "string1".."string114" from the section of the language index; a key the file lacks takes
// the built-in text. Every entry is replaced.
void LoadTextTable(const std::filesystem::path& file, int languageIndex);
// Loads only the given numbers the same way (after Options: 47 and 38, so the restart message
// appears in the chosen language while the rest keeps the old one). Numbers outside 1..114 are
// ignored.
void LoadTexts(const std::filesystem::path& file, int languageIndex, std::span<const int> numbers);

// Stores the index with "%i" as "Language Current" of section "General", keeping the rest of the
// file. True when the file was written (the Options dialog goes on either way).
bool WriteCurrentLanguage(const std::filesystem::path& file, int languageIndex);
