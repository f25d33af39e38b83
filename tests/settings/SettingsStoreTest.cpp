#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <iterator>
#include <thread>
#include <tuple>

#include "settings/Settings.h"
#include "tests/settings/SettingsTestSupport.h"
#include "tests/support/FullDisk.h"

namespace fs = std::filesystem;

namespace {

// Points the store at a fresh configuration folder, and HOME at another so that nothing can reach
// the real home.
class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", (temp_.path / "config").c_str(), 1);
    ::setenv("HOME", (temp_.path / "home").c_str(), 1);
  }
  fs::path Folder() const { return temp_.path / "config" / "Melvaro"; }
  fs::path File() const { return Folder() / "Melvaro.txt"; }
  void WriteSettingsFile(const std::string& bytes) const {
    fs::create_directories(Folder());
    WriteFile(File(), bytes);
  }
  TempFolder temp_;
};

}  // namespace

TEST_F(Settings, FolderIgnoresARelativeXdgConfigHomeAndFallsBackToHome) {
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // a relative path is not to be used
  EXPECT_EQ(SettingsFolder(), temp_.path / "home" / ".config" / "Melvaro");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFolder(), temp_.path / "home" / ".config" / "Melvaro");
}

TEST_F(Settings, FirstRunAndTheCrashFlagProtocol) {
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
  EXPECT_TRUE(fs::is_directory(Folder()));  // created by the first read
  StartupSettings values = StartupRead();
  EXPECT_FALSE(values.crashedLastTime);
  EXPECT_EQ(values.jpeg, 90);
  EXPECT_EQ(ReadFile(File()), "[General]\nCrashed Last Time=1\n");
  values.uiPowerT[2] = 33;
  ExitWrite(values);
  EXPECT_EQ(ReadFile(File()),
            "[General]\nCrashed Last Time=0\nmethod=0\npower=1\nnoise=1\nuiPowerT1=10\n"
            "uiPowerT2=10\nuiPowerT3=33\nuiPowerT4=10\nuiUseColors=10\n");
  values = StartupRead();  // a normal exit before: not reported; this run is then killed
  EXPECT_FALSE(values.crashedLastTime);
  EXPECT_EQ(values.uiPowerT[2], 33);
  EXPECT_TRUE(StartupRead().crashedLastTime);
}

// "Power" (the Daylight panel) and "power" (the start-up key) are one entry of the file.
TEST_F(Settings, ThePowerChosenDuringARunSurvivesTheExitWriteAndOlderFilesReadAsBefore) {
  WriteSettingsFile("[General]\npower=1\nOther=keep\n");  // as an earlier exit left it
  StartupSettings values = StartupRead();
  EXPECT_EQ(values.power, 1);
  EXPECT_EQ(ReadParameterSetting(setting::kDaylightPower, parameter::kDaylightPower), 3);
  ExitWrite(values);  // a run that never changed it
  EXPECT_EQ(ReadSetting(setting::kStartupPower), 1);

  values = StartupRead();
  WriteSetting(setting::kDaylightPower.key, 20);  // the Daylight panel's OK
  ExitWrite(values);
  EXPECT_EQ(ReadSetting(setting::kDaylightPower), 20);
  EXPECT_EQ(StartupRead().power, 20);
  EXPECT_EQ(ReadSettingText("Other", ""), "keep");
}

TEST_F(Settings, ValuesParseAsTheLeadingSignedNumberAndStartupJpegBelow20ReadsAs90) {
  const std::tuple<const char*, int, int> cases[] = {
      {"12abc", 12, 90},
      {"abc12", 0, 90},
      {"   -7x", -7, 90},
      {"+5", 5, 90},
      {"", 0, 90},
      {"- 5", 0, 90},
      {"19", 19, 90},
      {"20", 20, 20},
      {"100x", 100, 100},
      {"99999999999", INT_MAX, INT_MAX},
      {"-99999999999", INT_MIN, 90},
  };
  for (const auto& [stored, value, startupJpeg] : cases) {
    WriteSetting("jpeg", stored);
    EXPECT_EQ(ReadSetting("jpeg", "1"), value) << '"' << stored << '"';
    EXPECT_EQ(StartupRead().jpeg, startupJpeg) << '"' << stored << '"';
  }
  EXPECT_EQ(ReadSetting("missing", "42x"), 42);  // the default parses the same way
}

TEST_F(Settings, WritesPlainKeyValueLinesWithKeysDifferingInCaseAsOneEntry) {
  WriteSetting("Exposure", 128);
  WriteSetting("LOD_0", "12");
  WriteSetting("exposure", -3);
  WriteSetting("Sharp Strength", "7\n[Other]\nx=1");  // a line break would start a line of its own
  std::string text = ReadFile(File());
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_EQ(text, "[general]\nexposure=-3\nlod_0=12\nsharp strength=7\n");
  // Blanks around a text and enclosing quotes would be lost on reading unless quoted.
  for (const std::string value : {" one blank around ", "'q'", "\"q\""}) {
    WriteSetting("label", value);
    EXPECT_EQ(ReadSettingText("label", ""), value);
  }
  WriteSetting("label", std::string(1500, '7'));
  EXPECT_EQ(ReadSettingText("label", ""), std::string(1023, '7'));
}

TEST_F(Settings, WindowsFileReadsAndKeepsItsOtherLinesAndLineEndingsOnWrite) {
  WriteSettingsFile(
      "; by hand\r\n[Other]\r\nkeep=this\r\n\r\n[GENERAL]\r\nExposure = 120\r\njpeg=\"77\"\r\n"
      "Power=4\r\nPower=9\r\n");
  EXPECT_EQ(ReadSetting("exposure", "100"), 120);
  EXPECT_EQ(ReadSetting("jpeg", "85"), 77);  // enclosing quotes are not part of the value
  EXPECT_EQ(ReadSetting("Power", "15"), 4);  // of duplicated keys the first counts
  WriteSetting("jpeg", 60);
  WriteSetting("LOD_1", 5);
  const std::string text = ReadFile(File());
  for (const char* kept :
       {"; by hand\r\n", "[Other]\r\nkeep=this\r\n", "jpeg=60\r\n", "LOD_1=5\r\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_EQ(text.find("\r\r"), std::string::npos);
  // Written through a temporary file that is renamed over the old one, never left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);
}

// A NUL byte (a damaged line, a program that wrote binary) hides nothing after it: the lines
// the program does not know are read and written back byte for byte, the line with the NUL
// included, in a plain file as in a UTF-16 one; a value reads up to its NUL.
TEST_F(Settings, LinesAfterANulByteSurviveTheNextWrite) {
  using namespace std::string_literals;
  const std::string general =
      "[General]\nFirstKey=one\0two\nSecondKey=also keep\n"
      "Bytes=\xC0\x80\xC0\xC0 kept\n"s;
  const std::string other = "[Other]\nThird=3\n";
  WriteSettingsFile(general + other);
  EXPECT_EQ(ReadSettingText("SecondKey", ""), "also keep");
  EXPECT_EQ(ReadSettingText("FirstKey", ""), "one");
  EXPECT_EQ(ReadSettingText("Bytes", ""), "\xC0\x80\xC0\xC0 kept");
  ExitWrite(StartupSettings{});
  std::string text = ReadFile(File());
  EXPECT_TRUE(text.starts_with(general)) << text;
  EXPECT_TRUE(text.ends_with(other)) << text;
  EXPECT_NE(text.find("uiUseColors=10\n"), std::string::npos) << text;
  EXPECT_EQ(ReadSettingText("SecondKey", ""), "also keep");

  // The same file as UTF-16 with its byte order mark: a NUL character is two zero bytes.
  std::string wide = "\xFF\xFE"s;
  for (char c : "[General]\r\nA=1\0x\r\nSecondKey=also keep\r\n"s) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  WriteSettingsFile(wide);
  WriteSetting("Power", 20);
  text = ReadFile(File());
  EXPECT_EQ(text.substr(0, wide.size()), wide);
  EXPECT_EQ(ReadSettingText("SecondKey", ""), "also keep");
  EXPECT_EQ(ReadSetting("Power", "15"), 20);
}

TEST_F(Settings, FailedWritesAreIgnoredAndKeepTheFile) {
  // A settings file that cannot be read must not be replaced by one holding only the new key. A
  // socket stands for it: it cannot be opened even by root, whom permissions do not bind.
  fs::create_directories(Folder());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  File().string().copy(address.sun_path, sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  WriteSetting("Power", 3);
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
  EXPECT_EQ(fs::status(File()).type(), fs::file_type::socket);
  // A configuration folder that cannot be created.
  WriteFile(temp_.path / "plain-file", "x");
  ::setenv("XDG_CONFIG_HOME", (temp_.path / "plain-file").c_str(), 1);
  WriteSetting("Power", 3);
  EXPECT_EQ(ReadSetting("Power", "15"), 15);
}

TEST_F(Settings, AFullDiskOrFileSizeLimitKeepsTheFileAsItWas) {
  const std::string before = "[General]\njpeg=60\n";
  const auto expectUnchanged = [&](const char* how) {
    WriteSetting("Power", 3);
    EXPECT_EQ(ReadSetting("Power", "15"), 15) << how;
    EXPECT_EQ(ReadFile(File()), before) << how;
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()),
              fs::exists(Folder() / "filler") ? 2 : 1)
        << how;
  };
  {
    WriteSettingsFile(before);
    const FileSizeLimit limit(before.size() + 2);
    expectUnchanged("file size limit");
  }
  fs::remove_all(Folder());
  FullFileSystem disk(Folder());
  if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a file system here (needs root)";
  WriteSettingsFile(before);
  disk.Fill();
  expectUnchanged("full disk");
}

TEST_F(Settings, ALinkedSettingsFileIsWrittenThroughAndStaysALink) {
  fs::create_directories(Folder());
  fs::create_directories(temp_.path / "dotfiles");
  WriteFile(temp_.path / "dotfiles" / "Melvaro.txt", "[General]\njpeg=60\n");
  fs::create_symlink("../../dotfiles/Melvaro.txt", File());
  WriteSetting("Power", 3);
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_EQ(ReadSetting("Power", "15"), 3);
  EXPECT_EQ(ReadSetting("jpeg", "85"), 60);
  EXPECT_NE(ReadFile(temp_.path / "dotfiles" / "Melvaro.txt").find("Power=3"), std::string::npos);
  EXPECT_EQ(
      std::distance(fs::directory_iterator(temp_.path / "dotfiles"), fs::directory_iterator()), 1);
}

TEST_F(Settings, ConcurrentWritersOfDifferentKeysLoseNothing) {
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
