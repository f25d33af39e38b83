#pragma once

// Command numbers: every user action reaches the main window as one of these, from the
// toolbar, the "Menu" popup, the keyboard, dropped files, or a tool panel or job.
enum class CommandId : int {
  kProgressClose = 1,  // from a job to the progress window: the job is over
  kAbout = 104,
  kExit = 105,
  kOpen = 32771,
  kSaveAs = 32773,
  kClose = 32790,
  kZoomIn = 32793,
  kZoomOut = 32794,
  kZoomFit = 32795,
  kPrevious = 32797,
  kNext = 32798,
  kMultiImage = 32805,
  kZoom100 = 32809,
  kZoomBox = 32810,
  kMenu = 32811,
  kSpacer = 32812,
  kOptions = 32813,
  kToggleSources = 32816,
  kSingleImage = 32824,
  kDaylightUp = 32826,
  kDaylightDown = 32827,
  kSmartContrast = 32829,
  kToneMapping = 32832,
  kBatch = 32840,
  kSeriesReady = 4261,    // the synthetic series is written: open the Multi Image panel
  kDaylightReady = 4277,  // the daylight family is written: open the Daylight panel
};

// Requests from tool panels and jobs to the main window. A worker thread posts them (they
// run later on the user-interface thread); a panel may also send them directly.
enum class AppMessage : int {
  kRedraw = 4247,          // refresh both caches from source and result, draw, repaint
  kRedrawResult = 4252,    // draw the result from its cache, repaint
  kResultNotSaved = 4255,  // a new result exists
  kWaitCursor = 4257,
  kArrowCursor = 4258,
  kMoveCursor = 4259,
  kCopyScratch = 4260,       // show the last scratch again if it still fits the view
  kToneJobDone = 4266,       // the tone job finished: its result is kept
  kToneJobAbandoned = 4267,  // the tone job was abandoned: the result is the work picture
  kStartToneJob = 4270,      // kept for its number: panels call JobHost::StartPanelJob
  kParseZoom = 4271,         // the zoom box's text was confirmed with Enter
  kRedrawShown = 4272,       // draw the picture shown from its cache (the overlay changed)
};
