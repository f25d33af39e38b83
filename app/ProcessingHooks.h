#pragma once

#include <functional>

#include "app/Jobs.h"

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

  PanelFactory smartContrastPanel;  // kCmdSmartContrast
  PanelFactory toneMappingPanel;    // kCmdToneMapping
  PanelFactory multiImagePanel;     // kCmdSeriesReady and an opened series
  PanelFactory daylightPanel;       // kCmdDaylightReady

  // Asked before the synthetic series is made: the noise level 0..3, or -1 when cancelled.
  std::function<int(PanelHost& host)> askNoiseLevel;

  // Series jobs, run on a worker thread with the progress window. They read the work
  // picture, write the series files, fill AppState::sourceList and poll cancellation
  // between steps.
  std::function<JobResult(AppState& state, int noiseLevel, JobProgress& progress)> bracketingJob;
  std::function<JobResult(AppState& state, JobProgress& progress)> daylightJob;
};

// Fills the hooks with the program's panels and jobs (called once at start-up).
void InstallProcessingHooks(ProcessingHooks* hooks);
