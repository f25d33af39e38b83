#include "settings/Settings.h"

#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include "files/UserFolders.h"
#include "settings/IniFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSection = "General";
constexpr std::size_t kMaxTextUnits = 1023;  // a 1024-character read buffer less its terminator

// The user's configuration folder, else the current folder when there is no home folder.
fs::path ConfigHome() {
  if (fs::path config = UserConfigFolder(); !config.empty()) return config;
  std::error_code error;
  fs::path current = fs::current_path(error);
  return error ? fs::path(".") : current;
}

// Forms the folder and creates it when missing; an existing folder is not an error and a folder
// that cannot be made shows up later as a failed read or write.
fs::path PreparedSettingsFile() {
  const fs::path folder = SettingsFolder();
  std::error_code error;
  fs::create_directories(folder, error);
  return folder / "Melvaro.txt";
}

std::optional<std::string> ReadStored(std::string_view key) {
  return IniFile(PreparedSettingsFile()).Get(kSection, key);
}

}  // namespace

fs::path SettingsFolder() {
  return ConfigHome() / "Melvaro";
}

fs::path SettingsFilePath() {
  return SettingsFolder() / "Melvaro.txt";
}

int ParseSettingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate in a wider type and stop growing past the limit, so long digit runs saturate.
  constexpr int64_t kLimit = static_cast<int64_t>(INT_MAX) + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  return static_cast<int>(value);
}

std::string ReadSettingText(std::string_view key, std::string_view defaultText) {
  std::optional<std::string> stored = ReadStored(key);
  std::string text = stored ? std::move(*stored) : std::string(defaultText);
  CutToUnits(&text, kMaxTextUnits);
  return text;
}

int ReadSetting(std::string_view key, std::string_view defaultText) {
  return ParseSettingInt(ReadSettingText(key, defaultText));
}

void WriteSettings(std::span<const SettingText> values) {
  std::vector<IniValue> entries;
  entries.reserve(values.size());
  for (const SettingText& value : values)
    entries.push_back({value.key, value.text});
  // The settings are a convenience: a write that fails (read-only folder) is not reported.
  (void)IniWriteValues(PreparedSettingsFile(), kSection, entries);
}

void WriteSetting(std::string_view key, std::string_view text) {
  const SettingText value{key, std::string(text)};
  WriteSettings({&value, 1});
}

void WriteSetting(std::string_view key, int value) {
  WriteSetting(key, std::to_string(value));
}
