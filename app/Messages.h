#pragma once

// Command numbers: every user action reaches the main window as one of these, from the
// toolbar, the "Menu" popup, the keyboard, dropped files, or a tool panel or job.
enum CommandId : int {
  kCmdProgressClose = 1,  // from a job to the progress window: the job is over
  kCmdAbout = 104,
  kCmdExit = 105,
  kCmdOpen = 32771,
  kCmdSaveAs = 32773,
  kCmdClose = 32790,
  kCmdZoomIn = 32793,
  kCmdZoomOut = 32794,
  kCmdZoomFit = 32795,
  kCmdPrevious = 32797,
  kCmdNext = 32798,
  kCmdMultiImage = 32805,
  kCmdZoom100 = 32809,
  kCmdZoomBox = 32810,
  kCmdMenu = 32811,
  kCmdSpacer = 32812,
  kCmdOptions = 32813,
  kCmdToggleSources = 32816,
  kCmdSingleImage = 32824,
  kCmdDaylightUp = 32826,
  kCmdDaylightDown = 32827,
  kCmdSmartContrast = 32829,
  kCmdToneMapping = 32832,
  kCmdSeriesReady = 4261,    // the synthetic series is written: open the Multi Image panel
  kCmdDaylightReady = 4277,  // the daylight family is written: open the Daylight panel
};

// Requests from tool panels and jobs to the main window. A worker thread posts them (they
// run later on the user-interface thread); a panel may also send them directly.
enum AppMessage : int {
  kMsgRedraw = 4247,          // refresh both caches from source and result, draw, repaint
  kMsgRedrawResult = 4252,    // draw the result from its cache, repaint
  kMsgResultNotSaved = 4255,  // a new result exists
  kMsgWaitCursor = 4257,
  kMsgArrowCursor = 4258,
  kMsgMoveCursor = 4259,
  kMsgCopyScratch = 4260,       // show the last scratch again if it still fits the view
  kMsgToneJobDone = 4266,       // the tone job finished: its result is kept
  kMsgToneJobAbandoned = 4267,  // the tone job was abandoned: the result is the work picture
  kMsgStartToneJob = 4270,      // kept for its number: panels call PanelHost::StartPanelJob
  kMsgParseZoom = 4271,         // the zoom box's text was confirmed with Enter
};
