#pragma once

// Private-profile (ini) files as the settings store and the language file use them. Internal to the
// settings library: the rest of the program goes through Settings.h and TextTable.h.
//
// The format follows what a Windows private-profile reader and writer do with the same file:
// section and key names match without regard to case, the first of duplicated keys is the one read,
// one pair of enclosing quotes is removed from a value, and a file saved as UTF-16 (with its byte
// order mark) or with CRLF line endings is written back the same way.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class IniFile {
 public:
  // Loads the file; a missing or unreadable file gives a document without keys.
  explicit IniFile(const std::filesystem::path& path);
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // The value of the key as a private-profile reader returns it, or nothing when the section or the
  // key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Replaces the key's value (every duplicate of it) or adds it at the end of the section. A value
  // stops at its first line break, which would otherwise start a new line of the file.
  void Set(std::string_view section, std::string_view key, std::string_view text);
  // Writes the document to its path (through a symbolic link, to the file it names) by way of a
  // temporary file that is synced and renamed over it, so a failure (a full disk) never leaves a
  // torn file nor loses the old one. True when the file was written.
  bool Save() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

struct IniValue {
  std::string_view key;
  std::string text;
};

// One read-modify-write of a file: the values are stored into the section and everything else in
// the file is kept. Writers in this process take turns, so two threads updating different keys of
// one file never lose each other's update. True when the file was written.
bool IniWriteValues(const std::filesystem::path& path, std::string_view section,
                    std::span<const IniValue> values);

// Cuts text to at most maxUnits UTF-16 code units (the length of a wide-character buffer less its
// terminator) without splitting a character.
void CutToUnits(std::string* text, std::size_t maxUnits);
