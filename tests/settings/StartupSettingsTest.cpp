#include "settings/Settings.h"
#include "tests/settings/SettingsTestSupport.h"

namespace {

using StartupAndExit = SettingsTest;

}  // namespace

TEST_F(StartupAndExit, FirstRunStoresTheCrashFlagAndNormalExitClearsIt) {
  const StartupSettings first = StartupRead();
  EXPECT_FALSE(first.crashedLastTime);
  EXPECT_EQ(ReadFile(File()), "[General]\nCrashed Last Time=1\n");
  EXPECT_EQ(first.method, 0);
  EXPECT_EQ(first.power, 1);
  EXPECT_EQ(first.noise, 1);
  EXPECT_EQ(first.jpeg, 90);
  EXPECT_EQ(first.uiUseColors, 10);
  for (int value : first.uiPowerT)
    EXPECT_EQ(value, 10);

  StartupSettings atExit = first;
  atExit.uiPowerT[2] = 33;
  atExit.uiUseColors = 0;
  ExitWrite(atExit);
  EXPECT_EQ(ReadFile(File()),
            "[General]\nCrashed Last Time=0\nmethod=0\npower=1\nnoise=1\nuiPowerT1=10\n"
            "uiPowerT2=10\nuiPowerT3=33\nuiPowerT4=10\nuiUseColors=0\n");
  EXPECT_EQ(StartupRead().uiPowerT[2], 33);
}

TEST_F(StartupAndExit, RunEndingWithoutExitIsReportedOnceAtTheNextStart) {
  StartupRead();  // killed: no exit write
  const StartupSettings second = StartupRead();
  EXPECT_TRUE(second.crashedLastTime);
  ExitWrite(second);
  EXPECT_FALSE(StartupRead().crashedLastTime);
}

TEST_F(StartupAndExit, JpegQualityBelow20ReadsAs90) {
  const std::pair<const char*, int> cases[] = {{"5", 90},   {"19", 90},  {"20", 20},
                                               {"-40", 90}, {"abc", 90}, {"100", 100}};
  for (const auto& [stored, expected] : cases) {
    WriteSetting("jpeg", stored);
    EXPECT_EQ(StartupRead().jpeg, expected) << "stored " << stored;
  }
}

TEST_F(StartupAndExit, ExitPutsTheStartupPowerBackOverTheDaylightPower) {
  // "power" of the start-up read and "Power" of the Daylight dialog are one entry.
  const StartupSettings first = StartupRead();
  WriteSetting(setting::kDaylightPower.key, 20);  // Daylight confirmed during the run
  ExitWrite(first);
  EXPECT_EQ(ReadSetting(setting::kDaylightPower), 1);
}

TEST_F(StartupAndExit, MultiImageExposureIsLimitedTo48Through160) {
  EXPECT_EQ(ReadExposureSetting(), 100);
  EXPECT_EQ(ReadSetting(setting::kDaylightExposure), 128);
  WriteSetting("Exposure", 200);
  EXPECT_EQ(ReadExposureSetting(), 160);
  EXPECT_EQ(ReadSetting(setting::kDaylightExposure), 200);  // the Daylight dialog limits its own
  WriteSetting("Exposure", "10");
  EXPECT_EQ(ReadExposureSetting(), 48);
}
