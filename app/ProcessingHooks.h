#pragma once

#include <functional>

#include "app/Jobs.h"
#include "jobs/SeriesPipeline.h"

class PanelHost;
class ToolPanel;
struct AppState;

// What the processing commands take from outside the window, so that tests can put their
// own in: the Multi Image panel (an opened series, a command-line series and a finished
// synthetic series all end in it), the noise question and the series job. The other panels
// are made in their commands' declarations (CommandRegistry.cpp). A hook left empty makes
// its command do nothing visible.
struct ProcessingHooks {
  // Creates a panel; the main window docks it with PanelHost::OpenPanel.
  using PanelFactory = std::function<ToolPanel*(PanelHost& host)>;

  PanelFactory multiImagePanel;  // CommandId::kSeriesReady and an opened series

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
