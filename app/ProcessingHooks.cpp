#include "app/ProcessingHooks.h"

#include "app/PanelHost.h"
#include "app/panels/FusionPanel.h"
#include "app/panels/NoiseLevelDialog.h"
#include "app/panels/SeriesJob.h"

void InstallProcessingHooks(ProcessingHooks* hooks) {
  hooks->multiImagePanel = [](PanelHost& host) -> ToolPanel* {
    return new FusionPanel(host, kMultiImagePanel);
  };
  hooks->askNoiseLevel = [](PanelHost& host) { return NoiseLevelDialog::Ask(host); };
  hooks->seriesJob = RunSeriesJob;
}
