#include "app/ProcessingHooks.h"

#include "app/PanelHost.h"
#include "app/panels/FusionPanel.h"
#include "app/panels/NoiseLevelDialog.h"
#include "app/panels/SeriesJob.h"
#include "app/panels/SmartContrastPanel.h"
#include "app/panels/ToneMappingPanel.h"

void InstallProcessingHooks(ProcessingHooks* hooks) {
  hooks->multiImagePanel = [](PanelHost& host) -> ToolPanel* {
    return new FusionPanel(host, kMultiImagePanel);
  };
  hooks->daylightPanel = [](PanelHost& host) -> ToolPanel* {
    return new FusionPanel(host, kDaylightPanel);
  };
  hooks->toneMappingPanel = [](PanelHost& host) -> ToolPanel* {
    return new ToneMappingPanel(host);
  };
  hooks->smartContrastPanel = [](PanelHost& host) -> ToolPanel* {
    return new SmartContrastPanel(host);
  };
  hooks->askNoiseLevel = [](PanelHost& host) { return NoiseLevelDialog::Ask(host); };
  hooks->seriesJob = RunSeriesJob;
}
