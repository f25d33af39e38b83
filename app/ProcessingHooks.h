#pragma once

#include <functional>

#include "app/Jobs.h"
#include "jobs/SeriesPipeline.h"

class PanelHost;
class ToolPanel;
struct AppState;

// Where the processing commands meet their panels and jobs. The main window does the
// common part of each command (the unsaved question, the flags, the bit-depth check, the
// work picture) and then calls these; a hook left empty makes its command do nothing
// visible.
struct ProcessingHooks {
  // Creates a panel; the main window docks it with PanelHost::OpenPanel.
  using PanelFactory = std::function<ToolPanel*(PanelHost& host)>;

  PanelFactory smartContrastPanel;  // CommandId::kSmartContrast
  PanelFactory toneMappingPanel;    // CommandId::kToneMapping
  PanelFactory multiImagePanel;     // CommandId::kSeriesReady and an opened series
  PanelFactory daylightPanel;       // CommandId::kDaylightReady

  // Asked before the synthetic series is made: the noise level 0..3, or -1 when cancelled.
  std::function<int(PanelHost& host)> askNoiseLevel;

  // The series job (the bracketing or a daylight family), run on a worker thread with the
  // progress window. It reads the work picture, writes the series files, fills
  // AppState::sourceList and polls cancellation between files.
  std::function<JobResult(AppState& state, const SeriesRequest& request, JobProgress& progress)>
      seriesJob;
};

// Fills the hooks with the program's panels and jobs (called once at start-up).
void InstallProcessingHooks(ProcessingHooks* hooks);
