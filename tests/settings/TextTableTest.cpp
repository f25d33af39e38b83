#include <atomic>
#include <thread>

#include "settings/IniFile.h"
#include "settings/TextTable.h"
#include "tests/settings/SettingsTestSupport.h"

namespace fs = std::filesystem;

namespace {

class TextTable : public ::testing::Test {
 protected:
  void SetUp() override { LoadTextTable(temp_.path() / "none.ini", 0); }
  void TearDown() override { LoadTextTable(temp_.path() / "none.ini", 0); }

  fs::path Language(const std::string& text) const {
    const fs::path path = temp_.path() / "Melvaro_loc.ini";
    WriteFile(path, text);
    return path;
  }

  TempFolder temp_;
};

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace

TEST_F(TextTable, BuiltInTextsKeepTheirBlanksAndOtherNumbersAreEmpty) {
  EXPECT_EQ(LangText(14), "Progress: ");
  EXPECT_EQ(LangText(102), " Levels of details");
  EXPECT_EQ(LangText(2), "The application crashed last time. It's probably caused by low memory.");
  EXPECT_EQ(LangText(113), "Use Extra Colors");
  for (int n : {0, 17, 76, 114, 115, -1})
    EXPECT_EQ(LangText(n), "") << n;
}

TEST_F(TextTable, ShippedLanguageFileGivesExactlyTheBuiltInTable) {
  const fs::path shipped = fs::path(MELVARO_RESOURCES_DIR) / "Melvaro_loc.ini";
  const LanguageList list = LoadLanguageList(shipped);
  ASSERT_EQ(list.records.size(), 1u);
  EXPECT_EQ(list.records[0].name, "English");
  EXPECT_EQ(list.records[0].acronym, "EN");
  EXPECT_EQ(list.current, 0);

  const IniFile file(shipped);
  LoadTextTable(shipped, 0);
  for (int n = 1; n <= kTextCount; ++n) {
    const std::string key = "string" + std::to_string(n);
    EXPECT_TRUE(file.Get("0", key).has_value()) << key << " missing from the file";
    EXPECT_EQ(LangText(n), BuiltInText(n)) << key;
  }
}

TEST_F(TextTable, MissingKeysTakeBuiltInsAndEveryLoadReplacesEveryEntry) {
  const fs::path file = Language(
      "[General]\nLanguages No=2\n[0]\nLanguage=English\n"
      "[1]\nLanguage=Deutsch\nstring3=Achtung\nstring17=Nur hier\n");
  LoadTextTable(file, 1);
  EXPECT_EQ(LangText(3), "Achtung");
  EXPECT_EQ(LangText(17), "Nur hier");
  EXPECT_EQ(LangText(14), "Progress: ");
  LoadTextTable(file, 0);
  EXPECT_EQ(LangText(3), "Warning");
  EXPECT_EQ(LangText(17), "");
}

TEST_F(TextTable, NoLanguageFileGivesNoLanguagesAndTheBuiltIns) {
  const LanguageList list = LoadLanguageList(temp_.path() / "missing.ini");
  EXPECT_TRUE(list.records.empty());
  EXPECT_EQ(list.current, 0);
  EXPECT_EQ(SelectedLanguageRow(list), -1);
  LoadTextTable(temp_.path() / "missing.ini", 0);
  EXPECT_EQ(LangText(41), "Image format not supported!");
}

TEST_F(TextTable, TextsAreCutTo1023CharactersWithoutSplittingOne) {
  const std::string eAcute = "\xC3\xA9";
  const std::string clef = "\xF0\x9D\x84\x9E";  // outside the basic plane: two UTF-16 units
  std::string accents;
  for (int i = 0; i < 1100; ++i)
    accents += eAcute;
  LoadTextTable(Language("[0]\nstring5=" + std::string(1500, 'x') + "\nstring6=" + accents +
                         "\nstring7=" + std::string(1022, 'a') + clef + "\n"),
                0);
  EXPECT_EQ(LangText(5), std::string(1023, 'x'));
  EXPECT_EQ(LangText(6), accents.substr(0, 1023 * eAcute.size()));
  EXPECT_EQ(LangText(7), std::string(1022, 'a'));
}

TEST_F(TextTable, AtMost100LanguagesAreListed) {
  std::string text = "[General]\nLanguages No=150\nLanguage Current=120\n";
  for (int i = 0; i < 150; ++i) {
    const std::string number = std::to_string(i);
    text.append("[").append(number).append("]\nLanguage=L").append(number).append("\n");
  }
  const LanguageList list = LoadLanguageList(Language(text));
  ASSERT_EQ(list.records.size(), 100u);
  EXPECT_EQ(list.records[0].name, "L0");
  EXPECT_EQ(list.records[99].name, "L99");
  EXPECT_EQ(list.current, 120);
  EXPECT_EQ(SelectedLanguageRow(list), -1);
  EXPECT_TRUE(LoadLanguageList(Language("[General]\nLanguages No=-3\n")).records.empty());
}

TEST_F(TextTable, LongAcronymIsCutTo15AndOtherRecordsStayAsTheyAre) {
  const LanguageList list = LoadLanguageList(Language(
      "[General]\nLanguages No=3\nLanguage Current=2\n"
      "[0]\nLanguage=English\nAcronym=EN\n[1]\nLanguage=Long\nAcronym=ABCDEFGHIJKLMNOPQRST\n"
      "[2]\nLanguage=Deutsch\nAcronym=DE\n"));
  ASSERT_EQ(list.records.size(), 3u);
  EXPECT_EQ(list.records[1].acronym, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(list.records[1].name, "Long");
  EXPECT_EQ(list.records[0].acronym, "EN");
  EXPECT_EQ(list.records[2].name, "Deutsch");
  EXPECT_EQ(SelectedLanguageRow(list), 2);
}

TEST_F(TextTable, CurrentLanguageBeyondTheListStillReadsItsSection) {
  const fs::path file = Language(
      "[General]\nLanguages No=1\nLanguage Current=5\n[0]\nLanguage=English\n"
      "[5]\nstring3=Varoitus\n");
  const LanguageList list = LoadLanguageList(file);
  EXPECT_EQ(SelectedLanguageRow(list), -1);
  LoadTextTable(file, list.current);
  EXPECT_EQ(LangText(3), "Varoitus");
  LoadTextTable(file, -1);  // what an Options list without a selection writes
  EXPECT_EQ(LangText(3), "Warning");
}

TEST_F(TextTable, LoadingSomeNumbersLeavesTheRestAndEarlierReferencesIntact) {
  const fs::path file =
      Language("[1]\nstring47=Neustart noetig\nstring38=Bericht\nstring3=Achtung\n");
  const std::string& before = LangText(47);
  const int numbers[] = {47, 38, 0, 200};
  LoadTexts(file, 1, numbers);
  EXPECT_EQ(LangText(47), "Neustart noetig");
  EXPECT_EQ(LangText(38), "Bericht");
  EXPECT_EQ(LangText(3), "Warning");
  EXPECT_EQ(before, "You have to restart application to affect the language change");
}

TEST_F(TextTable, ReadersOnOtherThreadsSeeWholeTextsWhileTablesLoad) {
  const fs::path file = Language("[1]\nstring14=\"Fortschritt: \"\n");
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread job([&] {
    while (!stop) {
      const std::string& text = LangText(14);
      if (text != "Progress: " && text != "Fortschritt: ") ++torn;
    }
  });
  for (int i = 0; i < 40; ++i)
    LoadTextTable(file, i % 2);
  stop = true;
  job.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(TextTable, WriteCurrentLanguageKeepsTheRestOfTheFile) {
  const fs::path file = Language(
      "[General]\nLanguages No=2\nLanguage Current=0\n[0]\nLanguage=English\n"
      "[1]\nLanguage=Deutsch\nstring3=Achtung\n");
  EXPECT_TRUE(WriteCurrentLanguage(file, 1));
  const LanguageList list = LoadLanguageList(file);
  EXPECT_EQ(list.current, 1);
  ASSERT_EQ(list.records.size(), 2u);
  EXPECT_EQ(list.records[1].name, "Deutsch");
  LoadTextTable(file, list.current);
  EXPECT_EQ(LangText(3), "Achtung");
  EXPECT_FALSE(WriteCurrentLanguage(temp_.path() / "no-such-folder" / "Melvaro_loc.ini", 1));
}

TEST_F(TextTable, Utf16LanguageFileReadsAndStaysUtf16WhenWritten) {
  const fs::path file = Language(
      Utf16Le(u"[General]\r\nLanguages No=2\r\nLanguage Current=0\r\n[0]\r\nLanguage=English\r\n"
              u"[1]\r\nLanguage=Fran\u00E7ais\r\nstring3=Avertissement \U0001D11E\r\n"
              u"string14=\"Progression : \"\r\n"));
  LanguageList list = LoadLanguageList(file);
  ASSERT_EQ(list.records.size(), 2u);
  EXPECT_EQ(list.records[1].name,
            "Fran\xC3\xA7"
            "ais");
  EXPECT_TRUE(WriteCurrentLanguage(file, 1));
  const std::string bytes = ReadFile(file);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  list = LoadLanguageList(file);
  EXPECT_EQ(list.current, 1);
  EXPECT_EQ(list.records[1].name,
            "Fran\xC3\xA7"
            "ais");
  LoadTextTable(file, 1);
  EXPECT_EQ(LangText(3), "Avertissement \xF0\x9D\x84\x9E");
  EXPECT_EQ(LangText(14), "Progression : ");
}

TEST(LanguageFileLocation, FileBesideTheExecutableComesFirst) {
  const fs::path beside = fs::read_symlink("/proc/self/exe").parent_path() / "Melvaro_loc.ini";
  ASSERT_FALSE(fs::exists(beside)) << "left over from an earlier run: " << beside;
  EXPECT_EQ(LanguageFilePath().filename(), "Melvaro_loc.ini");
  WriteFile(beside, "[General]\n");
  EXPECT_EQ(LanguageFilePath(), beside);
  fs::remove(beside);
}
