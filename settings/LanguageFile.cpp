#include <algorithm>
#include <optional>
#include <string>

#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

#ifndef MELVARO_DATA_DIR
#define MELVARO_DATA_DIR "/usr/local/share/melvaro"
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLanguageFileName = "Melvaro_loc.ini";
constexpr std::string_view kGeneral = "General";

std::string ReadText(const IniFile& file, std::string_view section, std::string_view key,
                     int maxChars) {
  std::string text = file.Get(section, key).value_or(std::string());
  CutToUnits(&text, static_cast<std::size_t>(maxChars));
  return text;
}

int ReadNumber(const IniFile& file, std::string_view key, std::string_view defaultText) {
  return ParseSettingInt(file.Get(kGeneral, key).value_or(std::string(defaultText)));
}

bool IsRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

fs::path LanguageFilePath() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  // Without the executable's path the name is taken relative to the current folder.
  const fs::path besideExecutable =
      error ? fs::path(kLanguageFileName) : executable.parent_path() / kLanguageFileName;
  if (IsRegularFile(besideExecutable)) return besideExecutable;
  const fs::path installed = fs::path(MELVARO_DATA_DIR) / kLanguageFileName;
  if (IsRegularFile(installed)) return installed;
  return besideExecutable;
}

LanguageList LoadLanguageList(const fs::path& file) {
  const IniFile language(file);
  LanguageList list;
  const int count = std::clamp(ReadNumber(language, "Languages No", "0"), 0, kMaxLanguages);
  list.current = ReadNumber(language, "Language Current", "0");
  list.records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::string section = std::to_string(i);
    list.records.push_back({ReadText(language, section, "Language", kTextMaxChars),
                            ReadText(language, section, "Acronym", kAcronymMaxChars)});
  }
  return list;
}

int SelectedLanguageRow(const LanguageList& list) {
  const bool listed = list.current >= 0 && list.current < static_cast<int>(list.records.size());
  return listed ? list.current : -1;
}

bool WriteCurrentLanguage(const fs::path& file, int languageIndex) {
  const IniValue value{"Language Current", std::to_string(languageIndex)};
  return IniWriteValues(file, kGeneral, {&value, 1});
}
