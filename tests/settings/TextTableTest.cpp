#include "settings/IniFile.h"
#include "settings/TextTable.h"
#include "tests/settings/SettingsTestSupport.h"

namespace fs = std::filesystem;

namespace {

// Each case starts and ends with the built-in table.
class TextTable : public ::testing::Test {
 protected:
  void SetUp() override { LoadTextTable(temp_.path / "none.ini", 0); }
  void TearDown() override { SetUp(); }
  fs::path Language(const std::string& text) const {
    WriteFile(temp_.path / "Melvaro_loc.ini", text);
    return temp_.path / "Melvaro_loc.ini";
  }
  TempFolder temp_;
};

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text)
    bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

}  // namespace

TEST_F(TextTable, ShippedLanguageFileGivesExactlyTheBuiltInTable) {
  const fs::path shipped = fs::path(MELVARO_RESOURCES_DIR) / "Melvaro_loc.ini";
  const IniFile file(shipped);
  LoadTextTable(shipped, 0);
  for (int n = 1; n <= kTextCount; ++n) {
    const std::string key = "string" + std::to_string(n);
    EXPECT_TRUE(file.Get("0", key).has_value()) << key << " missing from the file";
    EXPECT_EQ(LangText(static_cast<TextId>(n)), BuiltInText(static_cast<TextId>(n))) << key;
  }
  for (int n : {0, -1, kTextCount + 1})
    EXPECT_EQ(LangText(static_cast<TextId>(n)), "") << n;
}

TEST_F(TextTable, MissingKeysTakeBuiltInsAndEveryLoadReplacesEveryEntry) {
  const LanguageList none = LoadLanguageList(temp_.path / "missing.ini");
  EXPECT_TRUE(none.records.empty());
  EXPECT_EQ(SelectedLanguageRow(none), -1);
  const fs::path file = Language("[1]\nstring3=Achtung\nstring17=Nur hier\n");
  LoadTextTable(file, 1);
  EXPECT_EQ(LangText(TextId::kWarning), "Achtung");
  EXPECT_EQ(LangText(TextId::kUnused17), "Nur hier");
  EXPECT_EQ(LangText(TextId::kProgress), "Progress: ");
  LoadTextTable(file, 0);
  EXPECT_EQ(LangText(TextId::kWarning), "Warning");
  EXPECT_EQ(LangText(TextId::kUnused17), "");
}

TEST_F(TextTable, AtMost100LanguagesAcronymsCutTo15AndTextsTo1023CharactersWholeCharacters) {
  const std::string eAcute = "\xC3\xA9";
  const std::string clef = "\xF0\x9D\x84\x9E";  // outside the basic plane: two UTF-16 units
  std::string accents;
  for (int i = 0; i < 1100; ++i)
    accents += eAcute;
  std::string text = "[General]\nLanguages No=150\nLanguage Current=120\n";
  for (int i = 0; i < 150; ++i) {
    const std::string number = std::to_string(i);
    text.append("[").append(number).append("]\nLanguage=L").append(number).append("\nAcronym=");
    text.append(i == 1 ? "ABCDEFGHIJKLMNOPQRST\n" : "XX\n");
    if (i == 120) {
      text.append("string6=").append(accents).append("\nstring7=");
      text.append(1022, 'a').append(clef).append("\n");
    }
  }
  LanguageList list = LoadLanguageList(Language(text));
  ASSERT_EQ(list.records.size(), 100u);
  EXPECT_EQ(list.records[99].name, "L99");
  EXPECT_EQ(list.records[1].acronym, "ABCDEFGHIJKLMNO");
  // An index beyond the list selects no row but still names the section the texts come from.
  EXPECT_EQ(list.current, 120);
  EXPECT_EQ(SelectedLanguageRow(list), -1);
  LoadTextTable(Language(text), list.current);
  EXPECT_EQ(LangText(TextId::kMenuHelp), accents.substr(0, 1023 * eAcute.size()));
  EXPECT_EQ(LangText(TextId::kProgressStart), std::string(1022, 'a'));
  list.current = 99;
  EXPECT_EQ(SelectedLanguageRow(list), 99);
  EXPECT_TRUE(LoadLanguageList(Language("[General]\nLanguages No=-3\n")).records.empty());
}

// Other threads read texts while the user-interface thread loads them: a reference once returned
// stays valid and unchanged through every later load, partial or whole.
TEST_F(TextTable, LoadingSomeNumbersLeavesTheRestAndEarlierReferencesIntact) {
  const fs::path file =
      Language("[1]\nstring47=Neustart noetig\nstring38=Bericht\nstring3=Achtung\n");
  const std::string& before = LangText(TextId::kRestartNeeded);
  const TextId ids[] = {TextId::kRestartNeeded, TextId::kReport, static_cast<TextId>(0),
                        static_cast<TextId>(200)};
  LoadTexts(file, 1, ids);
  EXPECT_EQ(LangText(TextId::kRestartNeeded), "Neustart noetig");
  EXPECT_EQ(LangText(TextId::kWarning), "Warning");
  const std::string& partial = LangText(TextId::kRestartNeeded);
  LoadTextTable(file, 0);
  EXPECT_EQ(before, "You have to restart application to affect the language change");
  EXPECT_EQ(partial, "Neustart noetig");
}

TEST_F(TextTable, WritingTheCurrentLanguageKeepsAUtf16WindowsFileAsItWas) {
  const std::u16string text =
      u"[General]\r\nLanguage Current=0\r\n[1]\r\nLanguage=Fran\u00E7ais\r\n"
      u"string3=Avertissement \U0001D11E\r\nstring14=\"Progression : \"\r\n";
  const fs::path file = Language(Utf16Le(text));
  EXPECT_TRUE(WriteCurrentLanguage(file, 1));
  const std::string bytes = ReadFile(file);
  EXPECT_TRUE(bytes.starts_with("\xFF\xFE"));
  EXPECT_NE(bytes.find(Utf16Le(u"\r\nLanguage Current=1\r\n").substr(2)), std::string::npos);
  LoadTextTable(file, LoadLanguageList(file).current);
  EXPECT_EQ(LangText(TextId::kWarning), "Avertissement \xF0\x9D\x84\x9E");
  EXPECT_EQ(LangText(TextId::kProgress), "Progression : ");
  EXPECT_FALSE(WriteCurrentLanguage(temp_.path / "no-such-folder" / "Melvaro_loc.ini", 1));
}

// Translated patterns come from a file a user may edit: a mark without a value, or a value
// without a mark, must never read what was not given.
TEST(FillText, PutsTheValuesInOrderAndNothingElse) {
  EXPECT_EQ(FillText("Skipped %s: %s", {"a.png", "unreadable"}), "Skipped a.png: unreadable");
  EXPECT_EQ(FillText("%s and %s and %s", {"one"}), "one and  and ");
  EXPECT_EQ(FillText("only %s", {"one", "two"}), "only one");
  EXPECT_EQ(FillText("100% of %d %n %", {"x"}), "100% of %d %n %");
  EXPECT_EQ(FillText("%s%s", {"%s", "b"}), "%sb");  // a value is not read as a pattern
  EXPECT_EQ(FillText("", {"x"}), "");
}

TEST_F(TextTable, NewTextsFollowTheFirst114AndComeFromTheLanguageFile) {
  EXPECT_GT(TextNumber(TextId::kSkippedFile), 114);
  EXPECT_EQ(FormatText(TextId::kMemoryRefusal, {"Tone mapping", "900", "512"}),
            "Tone mapping needs about 900 MB of memory, but only 512 MB are available.");
  LoadTextTable(Language("[0]\nstring119=Serie nicht verschmolzen: %s\n"), 0);
  EXPECT_EQ(FormatText(TextId::kCannotFuse, {"x"}), "Serie nicht verschmolzen: x");
}
