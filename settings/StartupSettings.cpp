#include <algorithm>
#include <string>
#include <vector>

#include "settings/Settings.h"

int ReadParameterSetting(const SettingKey& setting, const ParameterRange& range) {
  return range.Clamp(ReadSetting(setting));
}

StartupSettings StartupRead() {
  StartupSettings values;
  values.crashedLastTime = ReadSetting(setting::kCrashedLastTime) != 0;
  // Stored at once: only the exit write clears it, so a run that ends any other way leaves it set.
  WriteSetting(setting::kCrashedLastTime.key, 1);
  for (int i = 0; i < 4; ++i)
    values.uiPowerT[i] = ReadSetting(setting::kUiPowerT[i]);
  values.uiUseColors = ReadSetting(setting::kUiUseColors);
  values.method = ReadSetting(setting::kMethod);
  values.power = ReadSetting(setting::kStartupPower);
  values.noise = ReadSetting(setting::kNoise);
  values.jpeg = ReadSetting(setting::kStartupJpeg);
  if (values.jpeg < 20) values.jpeg = 90;
  values.alignPictures = ReadSetting(setting::kAlignPictures) != 0 ? 1 : 0;
  values.removeGhosts = ReadSetting(setting::kRemoveGhosts) != 0 ? 1 : 0;
  values.ghostStrength = ReadParameterSetting(setting::kGhostStrength, parameter::kDeghostStrength);
  return values;
}

void ExitWrite(const StartupSettings& values) {
  // "power" is one entry with the Daylight panel's "Power" (keys match without regard to case):
  // the entry holds the Power the user chose during the run, which the copy read at start-up
  // must not replace. A file without the entry gets the start-up value, as before.
  const int power = ReadSetting(setting::kStartupPower.key, std::to_string(values.power));
  std::vector<SettingText> exitValues = {
      {setting::kCrashedLastTime.key, "0"},
      {setting::kMethod.key, std::to_string(values.method)},
      {setting::kStartupPower.key, std::to_string(power)},
      {setting::kNoise.key, std::to_string(values.noise)},
      {setting::kUiPowerT[0].key, std::to_string(values.uiPowerT[0])},
      {setting::kUiPowerT[1].key, std::to_string(values.uiPowerT[1])},
      {setting::kUiPowerT[2].key, std::to_string(values.uiPowerT[2])},
      {setting::kUiPowerT[3].key, std::to_string(values.uiPowerT[3])},
      {setting::kUiUseColors.key, std::to_string(values.uiUseColors)},
  };
  // The file of a run that never checked "Align pictures" keeps its lines as they were.
  if (values.alignPictures != 0 || ReadSetting(setting::kAlignPictures.key, "-1") != -1)
    exitValues.push_back({setting::kAlignPictures.key, std::to_string(values.alignPictures)});
  // Likewise "Remove ghosts" and its strength: written once either was changed or stored.
  const bool ghostsUsed = values.removeGhosts != 0 ||
                          values.ghostStrength != parameter::kDeghostStrength.defaultValue ||
                          ReadSetting(setting::kRemoveGhosts.key, "-1") != -1 ||
                          ReadSetting(setting::kGhostStrength.key, "-1") != -1;
  if (ghostsUsed) {
    exitValues.push_back({setting::kRemoveGhosts.key, std::to_string(values.removeGhosts)});
    exitValues.push_back({setting::kGhostStrength.key, std::to_string(values.ghostStrength)});
  }
  WriteSettings(exitValues);
}
