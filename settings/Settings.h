#pragma once

// The settings store: whole numbers as decimal text in section "General" of Melvaro.txt in the
// user's configuration folder. There is no settings object: every read and write addresses the file
// by its full path, so readers on any thread see what the last writer stored. Key names match
// without regard to case ("Power" and "power" are one entry).

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "settings/Parameters.h"

// $XDG_CONFIG_HOME/Melvaro, or ~/.config/Melvaro. Only forms the path; reads and writes create it.
std::filesystem::path SettingsFolder();
// SettingsFolder() / "Melvaro.txt".
std::filesystem::path SettingsFilePath();

// A stored text as the integer it starts with: leading blanks, an optional sign, then decimal
// digits up to the first other character; text that does not start with a number is 0, and a number
// beyond the range of int gives the nearest limit.
int ParseSettingInt(std::string_view text);

// The key of section "General" as a number, or defaultText parsed when the file or the key is
// missing. Creates the settings folder when it is missing.
int ReadSetting(std::string_view key, std::string_view defaultText);
// The key's text as stored (at most 1023 characters), for fields that show it as it is.
std::string ReadSettingText(std::string_view key, std::string_view defaultText);
// Stores the text (up to its first line break) in section "General", creating the folder and the
// file when needed and keeping every other line of the file. A failed write is ignored.
void WriteSetting(std::string_view key, std::string_view text);
// Stores the number with "%i".
void WriteSetting(std::string_view key, int value);

struct SettingText {
  std::string_view key;
  std::string text;
};
// Several keys in one update of the file: a run that ends during it leaves all of them or none.
void WriteSettings(std::span<const SettingText> values);

// A key with the default its readers pass.
struct SettingKey {
  std::string_view key;
  std::string_view defaultText;
};
inline int ReadSetting(const SettingKey& setting) {
  return ReadSetting(setting.key, setting.defaultText);
}
inline std::string ReadSettingText(const SettingKey& setting) {
  return ReadSettingText(setting.key, setting.defaultText);
}

// Every key of the file with the default its readers pass. Keys spelled alike in other case are one
// entry: kStartupPower and kDaylightPower, kStartupJpeg and kSaveJpeg.
namespace setting {
// Read at start-up, written at exit.
inline constexpr SettingKey kCrashedLastTime{"Crashed Last Time", "0"};
inline constexpr SettingKey kMethod{"method", "0"};
inline constexpr SettingKey kStartupPower{"power", "1"};
inline constexpr SettingKey kNoise{"noise", "1"};
inline constexpr SettingKey kUiPowerT[4] = {
    {"uiPowerT1", "10"}, {"uiPowerT2", "10"}, {"uiPowerT3", "10"}, {"uiPowerT4", "10"}};
inline constexpr SettingKey kUiUseColors{"uiUseColors", "10"};
inline constexpr SettingKey kStartupJpeg{"jpeg", "90"};
// JPEG quality read before every save (series files included) and written after a successful one.
inline constexpr SettingKey kSaveJpeg{"jpeg", "85"};
// Noise dialog: level 0..3.
inline constexpr SettingKey kDenoiseStrength{"Denoise Strength", "1"};
// Smart Contrast: the eight level gains.
inline constexpr SettingKey kLod[8] = {{"LOD_0", "10"}, {"LOD_1", "10"}, {"LOD_2", "10"},
                                       {"LOD_3", "10"}, {"LOD_4", "10"}, {"LOD_5", "10"},
                                       {"LOD_6", "10"}, {"LOD_7", "10"}};
// Multi Image and Daylight dialogs share "Exposure" with different defaults.
inline constexpr SettingKey kMultiImageExposure{"Exposure", "100"};
inline constexpr SettingKey kDaylightExposure{"Exposure", "128"};
inline constexpr SettingKey kFlatness{"Flatness", "3"};
inline constexpr SettingKey kDaylightPower{"Power", "15"};
inline constexpr SettingKey kSharpStrength{"Sharp Strength", "5"};
inline constexpr SettingKey kSatStrength{"Sat Strength", "5"};
inline constexpr SettingKey kExpStrength{"Exp Strength", "5"};
// Multi Image panel: 1 when the pictures of a series are aligned before they are fused.
inline constexpr SettingKey kAlignPictures{"Align Pictures", "0"};
// Multi Image panel: 1 when what moved between the pictures is kept out of the fusion, and how
// readily.
inline constexpr SettingKey kRemoveGhosts{"Remove Ghosts", "0"};
inline constexpr SettingKey kGhostStrength{"Ghost Strength", "5"};
}  // namespace setting

// The stored value of a key that holds a parameter, limited to the parameter's range.
int ReadParameterSetting(const SettingKey& setting, const ParameterRange& range);

static_assert(ParseDefaultText(setting::kMultiImageExposure.defaultText) ==
              parameter::kExposure.defaultValue);
static_assert(ParseDefaultText(setting::kDaylightPower.defaultText) ==
              parameter::kDaylightPower.defaultValue);
static_assert(ParseDefaultText(setting::kDenoiseStrength.defaultText) ==
              parameter::kDenoiseLevel.defaultValue);
static_assert(ParseDefaultText(setting::kUiPowerT[0].defaultText) ==
              parameter::kTonePower.defaultValue);
static_assert(ParseDefaultText(setting::kLod[0].defaultText) == parameter::kLodGain.defaultValue);
static_assert(ParseDefaultText(setting::kSaveJpeg.defaultText) ==
              parameter::kJpegQuality.defaultValue);
static_assert(ParseDefaultText(setting::kGhostStrength.defaultText) ==
              parameter::kDeghostStrength.defaultValue);

// The values of the start-up read that live for the whole run.
struct StartupSettings {
  bool crashedLastTime = false;
  int uiPowerT[4] = {10, 10, 10, 10};
  int uiUseColors = 10;
  int method = 0;
  int power = 1;
  int noise = 1;
  int jpeg = 90;
  int alignPictures = 0;
  int removeGhosts = 0;
  int ghostStrength = parameter::kDeghostStrength.defaultValue;
};

// The start-up read with the crash flag: reads "Crashed Last Time" and at once stores 1 (a normal
// exit stores 0 again, so a flag found set means the last run ended abnormally), then reads
// "uiPowerT1".."uiPowerT4", "uiUseColors", "method", "power", "noise" and "jpeg" (below 20 gives
// 90), "Align Pictures", "Remove Ghosts" and "Ghost Strength" (limited to its range). The language
// list is read around it by the caller (LoadLanguageList in TextTable.h). Options runs it again;
// the flag it then returns is this run's own 1 and is not to be reported.
StartupSettings StartupRead();
// The exit write: "Crashed Last Time" 0, then "method", "power", "noise", "uiPowerT1".."uiPowerT4"
// "uiUseColors" with "%i" ("Align Pictures" too once it is checked or in the file), in one update
// of the file. "power" keeps what the entry holds now (the Daylight panel stores its "Power" there
// during the run).
void ExitWrite(const StartupSettings& values);
