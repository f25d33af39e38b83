// The Options command and dialog.
#include <QComboBox>
#include <QPushButton>
#include <fstream>

#include "app/FileCommands.h"
#include "app/OptionsDialog.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

class OptionsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    languageFile_ = TempPath("Melvaro_loc.ini");
    std::ofstream file(languageFile_);
    file << "[General]\nLanguages No=2\nLanguage Current=0\n"
         << "[0]\nLanguage=English\nAcronym=EN\n"
         << "[1]\nLanguage=Deutsch\nAcronym=DE\nstring38=Bericht\n"
         << "string47=Bitte starten Sie das Programm neu\n";
    file.close();
  }
  // The texts of this run are English, whatever a test chose.
  void TearDown() override { LoadTextTable(LanguageFilePath(), 0); }
  void Run() { RunOptions(dialogs_, nullptr, languageFile_, &startup_, &languageIndex_); }
  std::string StoredLanguage() {
    std::ifstream file(languageFile_);
    std::string line;
    while (std::getline(file, line)) {
      if (line.rfind("Language Current", 0) != 0) continue;
      std::string value = line.substr(line.find('=') + 1);
      value.erase(0, value.find_first_not_of(' '));
      return value.substr(0, value.find_last_not_of(" \r") + 1);
    }
    return {};
  }

  std::filesystem::path languageFile_;
  FakeDialogs dialogs_;
  StartupSettings startup_;
  int languageIndex_ = 0;
};

TEST_F(OptionsTest, ChoosingAnotherLanguageStoresItAndSaysSoInThatLanguage) {
  dialogs_.languageAnswer = 1;
  Run();
  EXPECT_EQ(dialogs_.languageNames, (std::vector<std::string>{"English", "Deutsch"}));
  EXPECT_EQ(dialogs_.languageCurrent, 0);
  EXPECT_EQ(StoredLanguage(), "1");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, "Bericht");
  EXPECT_EQ(dialogs_.messages[0].text, "Bitte starten Sie das Programm neu");
  EXPECT_EQ(LangText(4), "File");  // the rest waits for the next start
}

TEST_F(OptionsTest, ConfirmingTheCurrentLanguageSaysNothing) {
  dialogs_.languageAnswer = 0;
  Run();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(StoredLanguage(), "0");
}

TEST_F(OptionsTest, CancelChangesNothing) {
  dialogs_.languageAnswer.reset();
  Run();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(StoredLanguage(), "0");
}

TEST_F(OptionsTest, AReadOnlyLanguageFileStillShowsTheRestartNote) {
  std::filesystem::permissions(languageFile_, std::filesystem::perms::owner_read);
  dialogs_.languageAnswer = 1;
  Run();
  EXPECT_EQ(dialogs_.messages.size(), 1u);
  std::filesystem::permissions(languageFile_, std::filesystem::perms::owner_all);
}

TEST(OptionsDialogTest, ACurrentLanguageBeyondTheListSelectsNothing) {
  OptionsDialog listed({"English", "Deutsch"}, 1, nullptr);
  EXPECT_EQ(listed.SelectedLanguage(), 1);
  EXPECT_EQ(listed.windowTitle().toStdString(), LangText(44));
  OptionsDialog beyond({"English"}, 4, nullptr);
  EXPECT_EQ(beyond.SelectedLanguage(), -1);
}

}  // namespace
