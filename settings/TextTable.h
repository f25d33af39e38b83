#pragma once

// The text table: every text the program shows, "string1".."string<kTextCount>" (TextIds.h),
// filled from the language file with built-in English texts where the file has none. Also the
// language file's list of languages and its current-language entry.
//
// Threads: LangText may be called from any thread at any time. Each load publishes a new, complete
// table and keeps the earlier ones alive until the process ends, so a reference returned by
// LangText stays valid and unchanged while the user-interface thread loads texts (at start-up and
// after Options). Loads themselves are meant for the user-interface thread.

#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/TextIds.h"

// Texts, language names and acronyms keep at most this many characters (UTF-16 code units).
constexpr int kTextMaxChars = 1023;
constexpr int kAcronymMaxChars = 15;
constexpr int kMaxLanguages = 100;

// The text of the id in the loaded language; an empty text for a number outside the table.
const std::string& LangText(TextId id);
// The built-in English text of the id (empty for numbers without one and outside the table).
std::string_view BuiltInText(TextId id);

// The pattern with each "%s" replaced by the next value, in order: a "%s" beyond the values
// becomes empty, values beyond the marks are left out, and any other "%" stays as it is. A
// translated text can thus never make the program read what it was not given.
std::string FillText(std::string_view pattern, std::initializer_list<std::string_view> values);
// FillText of the id's text in the loaded language.
std::string FormatText(TextId id, std::initializer_list<std::string_view> values);

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

// Loads "string1".."string<kTextCount>" from the section of the language index; a key the file
// lacks takes the built-in text. Every entry is replaced.
void LoadTextTable(const std::filesystem::path& file, int languageIndex);
// Loads only the given texts the same way (after Options: the restart message and its caption,
// so that they appear in the chosen language while the rest keeps the old one). Numbers outside
// the table are ignored.
void LoadTexts(const std::filesystem::path& file, int languageIndex, std::span<const TextId> ids);

// Stores the index with "%i" as "Language Current" of section "General", keeping the rest of the
// file. True when the file was written (the Options dialog goes on either way).
bool WriteCurrentLanguage(const std::filesystem::path& file, int languageIndex);
