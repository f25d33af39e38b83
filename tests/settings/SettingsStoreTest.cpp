#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <thread>

#include "settings/Settings.h"
#include "tests/settings/SettingsTestSupport.h"

namespace fs = std::filesystem;

namespace {

// Lines of the file whose key is spelled like key in any case.
int CountKeyLines(const std::string& text, std::string_view key) {
  int count = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = std::string_view(text).substr(start, end - start);
    if (line.size() > key.size() && line[key.size()] == '=' &&
        std::equal(key.begin(), key.end(), line.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        }))
      ++count;
    start = end + 1;
  }
  return count;
}

using SettingsStore = SettingsTest;

}  // namespace

TEST_F(SettingsStore, FolderFollowsXdgConfigHomeThenHome) {
  EXPECT_EQ(SettingsFolder(), temp_.path() / "config" / "Melvaro");
  EXPECT_EQ(SettingsFilePath(), temp_.path() / "config" / "Melvaro" / "Melvaro.txt");
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // a relative path is not to be used
  EXPECT_EQ(SettingsFolder(), temp_.path() / "home" / ".config" / "Melvaro");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFolder(), temp_.path() / "home" / ".config" / "Melvaro");
}

TEST_F(SettingsStore, FirstReadCreatesTheFolderAndGivesDefaults) {
  ASSERT_FALSE(fs::exists(Folder()));
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
  EXPECT_EQ(ReadSettingText("LOD_3", "10"), "10");
  EXPECT_TRUE(fs::is_directory(Folder()));
  EXPECT_FALSE(fs::exists(File()));           // reading never makes the file
  EXPECT_EQ(ReadSetting("Power", "15"), 15);  // an existing folder is not an error
}

TEST_F(SettingsStore, ValuesParseAsTheLeadingSignedDecimalNumber) {
  WriteSettingsFile(
      "[General]\n"
      "digits=12abc\nletters=abc12\nspaced=   -7x\nplus=+5\nempty=\nbareSign=- 5\n"
      "huge=99999999999\nhugeNegative=-99999999999\nfraction=3.9\n");
  EXPECT_EQ(ReadSetting("digits", "1"), 12);
  EXPECT_EQ(ReadSetting("letters", "1"), 0);
  EXPECT_EQ(ReadSetting("spaced", "1"), -7);
  EXPECT_EQ(ReadSetting("plus", "1"), 5);
  EXPECT_EQ(ReadSetting("empty", "1"), 0);  // present but empty is not missing
  EXPECT_EQ(ReadSetting("bareSign", "1"), 0);
  EXPECT_EQ(ReadSetting("huge", "1"), INT_MAX);
  EXPECT_EQ(ReadSetting("hugeNegative", "1"), INT_MIN);
  EXPECT_EQ(ReadSetting("fraction", "1"), 3);
  EXPECT_EQ(ReadSetting("missing", "42x"), 42);  // the default parses the same way
  EXPECT_EQ(ReadSettingText("digits", ""), "12abc");
}

TEST_F(SettingsStore, KeysDifferingInCaseAreOneEntry) {
  WriteSettingsFile("[General]\nPower=15\n");
  EXPECT_EQ(ReadSetting("power", "1"), 15);
  WriteSetting("power", 1);
  EXPECT_EQ(ReadSetting("POWER", "15"), 1);
  const std::string text = ReadFile(File());
  EXPECT_EQ(CountKeyLines(text, "power"), 1) << text;
}

TEST_F(SettingsStore, WritesPlainSectionAndKeyValueLines) {
  WriteSetting("Exposure", 128);
  WriteSetting("LOD_0", "12");
  WriteSetting("Exposure", -3);
  // A line break in a field's text would start a line of its own in the file.
  WriteSetting("Sharp Strength", "7\n[Other]\nx=1");
  EXPECT_EQ(ReadFile(File()), "[General]\nExposure=-3\nLOD_0=12\nSharp Strength=7\n");
  // Blanks around a text and enclosing quotes would be lost on reading unless quoted.
  WriteSetting("label", " one blank around ");
  WriteSetting("quoted", "'q'");
  EXPECT_EQ(ReadSettingText("label", ""), " one blank around ");
  EXPECT_EQ(ReadSettingText("quoted", ""), "'q'");
}

TEST_F(SettingsStore, ReadsAFileWithWindowsLineEndingsAndKeepsThemOnWrite) {
  WriteSettingsFile(
      "[Other]\r\nkeep=this\r\n\r\n[GENERAL]\r\nExposure = 120\r\njpeg=\"77\"\r\n"
      "Power=4\r\nPower=9\r\n");
  EXPECT_EQ(ReadSetting("exposure", "100"), 120);
  EXPECT_EQ(ReadSetting("jpeg", "85"), 77);  // enclosing quotes are not part of the value
  EXPECT_EQ(ReadSetting("Power", "15"), 4);  // of duplicated keys the first counts
  WriteSetting("jpeg", 60);
  const std::string text = ReadFile(File());
  EXPECT_NE(text.find("[Other]\r\nkeep=this\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("jpeg=60\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\r\r"), std::string::npos);
  EXPECT_EQ(ReadSetting("Exposure", "100"), 120);
}

TEST_F(SettingsStore, WriteKeepsOtherSectionsKeysAndCommentsAndLeavesNoTemporaryFile) {
  WriteSettingsFile("; written by hand\n[Window]\nwidth=800\n[General]\nLOD_1=3\n");
  WriteSetting("LOD_2", 4);
  WriteSetting("LOD_1", 5);
  const std::string text = ReadFile(File());
  EXPECT_NE(text.find("; written by hand"), std::string::npos) << text;
  EXPECT_NE(text.find("[Window]\nwidth=800\n"), std::string::npos) << text;
  EXPECT_EQ(ReadSetting("LOD_1", "10"), 5);
  EXPECT_EQ(ReadSetting("LOD_2", "10"), 4);
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    ++entries;
    EXPECT_EQ(entry.path().filename(), "Melvaro.txt");
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsStore, FailedWritesAreIgnoredAndKeepTheFile) {
  // A settings file that cannot be read must not be replaced by one holding only the new key.
  fs::create_directories(File());  // a folder where the file should be: unreadable even for root
  WriteSetting("Power", 3);
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
  EXPECT_TRUE(fs::is_directory(File()));

  // A configuration folder that cannot be created.
  WriteFile(temp_.path() / "plain-file", "x");
  ::setenv("XDG_CONFIG_HOME", (temp_.path() / "plain-file").c_str(), 1);
  WriteSetting("Power", 3);
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
  EXPECT_EQ(ReadFile(temp_.path() / "plain-file"), "x");
}

TEST_F(SettingsStore, ReadOnlyFolderIgnoresWrites) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  WriteSettingsFile("[General]\nPower=7\n");
  fs::permissions(Folder(), fs::perms::owner_read | fs::perms::owner_exec);
  WriteSetting("Power", 3);
  EXPECT_EQ(ReadSetting("Power", "15"), 7);
  fs::permissions(File(), fs::perms::none);
  EXPECT_EQ(ReadSetting("Power", "15"), 15);  // unreadable reads as empty
  fs::permissions(Folder(), fs::perms::owner_all);
  WriteSetting("Power", 3);  // and is not overwritten
  fs::permissions(File(), fs::perms::owner_read);
  EXPECT_EQ(ReadFile(File()), "[General]\nPower=7\n");
}

TEST_F(SettingsStore, DisabledStoreReadsDefaultsWritesNothingAndCreatesNothing) {
  SetSettingsFileEnabled(false);
  WriteSetting("Power", 3);
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
  EXPECT_FALSE(fs::exists(Folder()));
  WriteSettingsFile("[General]\nPower=7\n");
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
}

TEST_F(SettingsStore, ConcurrentWritersOfDifferentKeysLoseNothing) {
  // The savers of series jobs write "jpeg" while the user-interface thread writes its own keys.
  auto writer = [](const char* key) {
    for (int i = 1; i <= 20; ++i)
      WriteSetting(key, i);
  };
  std::thread jobs(writer, "jpeg");
  writer("Exposure");
  jobs.join();
  EXPECT_EQ(ReadSetting("jpeg", "85"), 20);
  EXPECT_EQ(ReadSetting("Exposure", "100"), 20);
}
