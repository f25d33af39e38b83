// The Options command and dialog.
#include <fstream>

#include "app/FileCommands.h"
#include "app/OptionsDialog.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

class OptionsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    std::ofstream(languageFile_) << "[General]\nLanguages No=2\nLanguage Current=0\n"
                                 << "[0]\nLanguage=English\nAcronym=EN\n"
                                 << "[1]\nLanguage=Deutsch\nAcronym=DE\nstring38=Bericht\n"
                                 << "string47=Bitte starten Sie das Programm neu\n";
  }
  // The texts of this run are English, whatever a test chose.
  void TearDown() override { LoadTextTable(LanguageFilePath(), 0); }
  void Run(std::optional<int> answer) {
    dialogs_.languageAnswer = answer;
    RunOptions(dialogs_, nullptr, languageFile_, &startup_, &languageIndex_);
  }
  std::string StoredLanguage() const {
    return IniFile(languageFile_).Get("General", "Language Current").value_or("");
  }

  const std::filesystem::path languageFile_ = TempPath("Melvaro_loc.ini");
  FakeDialogs dialogs_;
  StartupSettings startup_;
  int languageIndex_ = 0;
};

TEST_F(OptionsTest, ChoosingAnotherLanguageStoresItAndSaysSoInThatLanguage) {
  Run(1);
  EXPECT_EQ(dialogs_.languageNames, (std::vector<std::string>{"English", "Deutsch"}));
  EXPECT_EQ(dialogs_.languageCurrent, 0);
  EXPECT_EQ(StoredLanguage(), "1");
  EXPECT_EQ(dialogs_.captions, std::vector<std::string>{"Bericht"});
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"Bitte starten Sie das Programm neu"});
  EXPECT_EQ(LangText(TextId::kMenuFile), "File");  // the rest waits for the next start
}

TEST_F(OptionsTest, ConfirmingTheCurrentLanguageOrCancellingSaysNothing) {
  for (std::optional<int> answer : {std::optional<int>(0), std::optional<int>()}) {
    Run(answer);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(StoredLanguage(), "0");
  }
}

TEST_F(OptionsTest, TheValuesCommittedSinceStartUpStayForTheExit) {
  startup_ = StartupRead();
  startup_.uiPowerT[1] = 33;  // as the Tone Mapping panel's OK leaves them
  startup_.uiUseColors = 0;
  Run(std::nullopt);
  EXPECT_EQ(startup_.uiPowerT[1], 33);
  EXPECT_EQ(startup_.uiUseColors, 0);
  EXPECT_EQ(ReadSetting(setting::kUiPowerT[1]), 10);  // written at exit, not before
  EXPECT_FALSE(startup_.crashedLastTime);
}

TEST(OptionsDialogTest, ACurrentLanguageBeyondTheListSelectsNothing) {
  OptionsDialog listed({"English", "Deutsch"}, 1, nullptr);
  EXPECT_EQ(listed.SelectedLanguage(), 1);
  OptionsDialog beyond({"English"}, 4, nullptr);
  EXPECT_EQ(beyond.SelectedLanguage(), -1);
}

}  // namespace
