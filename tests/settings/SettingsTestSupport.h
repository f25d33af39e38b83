#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "settings/Settings.h"

// A private folder that the test removes again.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "melvaro-settings-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make a temporary folder";
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Points the settings store at a fresh configuration folder (and HOME at the same place, so nothing
// can reach the real home), and puts the environment back afterwards.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Remember("XDG_CONFIG_HOME", &savedXdg_);
    Remember("HOME", &savedHome_);
    ::setenv("XDG_CONFIG_HOME", (temp_.path() / "config").c_str(), 1);
    ::setenv("HOME", (temp_.path() / "home").c_str(), 1);
    SetSettingsFileEnabled(true);
  }
  void TearDown() override {
    Restore("XDG_CONFIG_HOME", savedXdg_);
    Restore("HOME", savedHome_);
    SetSettingsFileEnabled(true);
  }

  std::filesystem::path Folder() const { return temp_.path() / "config" / "Melvaro"; }
  std::filesystem::path File() const { return Folder() / "Melvaro.txt"; }
  void WriteSettingsFile(const std::string& bytes) const {
    std::filesystem::create_directories(Folder());
    WriteFile(File(), bytes);
  }

  TempFolder temp_;

 private:
  static void Remember(const char* name, std::optional<std::string>* saved) {
    const char* value = std::getenv(name);
    if (value != nullptr) *saved = value;
  }
  static void Restore(const char* name, const std::optional<std::string>& saved) {
    if (saved) {
      ::setenv(name, saved->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  std::optional<std::string> savedXdg_;
  std::optional<std::string> savedHome_;
};
