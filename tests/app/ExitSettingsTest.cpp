// What the settings file holds after a run: every value the user chose, whatever Options
// read in between, and every line the program does not know.
#include <QSlider>
#include <fstream>
#include <sstream>

#include "app/panels/FusionPanel.h"
#include "app/panels/ToneMappingPanel.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "tests/app/PanelTestSupport.h"

namespace {

class ExitSettingsTest : public PanelWindowTest {
 protected:
  std::string Stored(const char* section, const char* key) const {
    return IniFile(SettingsFilePath()).Get(section, key).value_or("(missing)");
  }
};

TEST_F(ExitSettingsTest, DaylightPowerToneValuesAndUnknownLinesSurviveOptionsAndExit) {
  // A file of an earlier run, with lines of the user's own; this run starts on it.
  window_.reset();
  std::ofstream(SettingsFilePath()) << "[General]\nSecondKey=also keep\npower=1\n"
                                    << "[Elsewhere]\nmine=1\n";
  window_ = std::make_unique<MainWindow>(&dialogs_);
  window_->resize(1000, 760);
  window_->show();

  dialogs_.openFile = kSunset;
  window_->ExecuteCommand(CommandId::kOpen);
  window_->ExecuteCommand(CommandId::kDaylightUp);
  ASSERT_TRUE(JobEnded());
  auto* daylight = dynamic_cast<FusionPanel*>(window_->ActivePanel());
  ASSERT_NE(daylight, nullptr);
  EXPECT_EQ(daylight->Value(), 3);  // the stored 1, limited
  for (int i = 0; i < 17; ++i)
    QTest::keyClick(daylight->Slider(), Qt::Key_PageUp);
  EXPECT_EQ(daylight->Value(), 20);
  daylight->Ok();
  ASSERT_TRUE(JobEnded());

  dialogs_.answerYes = true;  // the Daylight result may go
  window_->ExecuteCommand(CommandId::kToneMapping);
  auto* tone = dynamic_cast<ToneMappingPanel*>(window_->ActivePanel());
  ASSERT_NE(tone, nullptr);
  QTest::keyClick(tone->Slider(0), Qt::Key_Up);
  QTest::keyClick(tone->Slider(3), Qt::Key_PageDown);
  tone->Ok();
  ASSERT_TRUE(JobEnded());

  dialogs_.languageAnswer.reset();  // Options, cancelled
  window_->ExecuteCommand(CommandId::kOptions);
  window_.reset();  // exit

  EXPECT_EQ(Stored("General", "Power"), "20");
  EXPECT_EQ(Stored("General", "uiPowerT1"), "12");
  EXPECT_EQ(Stored("General", "uiPowerT4"), "9");
  EXPECT_EQ(Stored("General", "uiPowerT2"), "10");
  EXPECT_EQ(Stored("General", "Crashed Last Time"), "0");
  EXPECT_EQ(Stored("General", "SecondKey"), "also keep");
  EXPECT_EQ(Stored("Elsewhere", "mine"), "1");

  // The next run opens the Daylight panel where this one left it.
  window_ = std::make_unique<MainWindow>(&dialogs_);
  EXPECT_EQ(window_->Startup().uiPowerT[0], 12);
  EXPECT_EQ(ReadParameterSetting(setting::kDaylightPower, parameter::kDaylightPower), 20);
}

}  // namespace
