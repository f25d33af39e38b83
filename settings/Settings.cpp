#include "settings/Settings.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "settings/IniFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSection = "General";
constexpr std::size_t kMaxTextUnits = 1023;  // a 1024-character read buffer less its terminator

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path (a relative one is
// to be ignored), else ~/.config with the home from $HOME or the password database, else the
// current folder.
fs::path ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return fs::path(home) / ".config";
  const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return fs::path(found->pw_dir) / ".config";
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
