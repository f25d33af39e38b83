#pragma once

#include <functional>
#include <string>

#include "app/Jobs.h"
#include "app/Messages.h"
#include "app/ViewContext.h"
#include "settings/TextIds.h"

class QWidget;
class ToolPanel;
class UserDialogs;
struct AppState;
struct StartupSettings;

// What the main window offers a processing panel: the application state, the view, the
// messages of Messages.h, docking, the status bar and background jobs. Every call is made
// on the user-interface thread, except PostMessage, which any thread may call.
class PanelHost {
 public:
  virtual ~PanelHost() = default;

  virtual AppState& State() = 0;
  virtual ViewContext& View() = 0;
  virtual UserDialogs& Dialogs() = 0;
  virtual QWidget* Window() = 0;
  // The values read at start-up and stored at exit ("uiPowerT1".. of the tone panel).
  virtual StartupSettings& Startup() = 0;

  // A message handled now / later on the user-interface thread.
  virtual void SendMessage(AppMessage message) = 0;
  virtual void PostMessage(AppMessage message) = 0;
  // A command run now, as if the user had chosen it.
  virtual void SendCommand(CommandId command) = 0;

  virtual void SetStatusText(const std::string& text) = 0;
  // "Showing N of M. " and the hint text: where the series browsing stands.
  virtual void ShowSeriesStatus(TextId hintText) = 0;

  // Docks `panel` at the right of the view as the open panel (the view forwards the mouse
  // to it). ClosePanel undocks it, forgets the preview rectangle, redraws and deletes it
  // later.
  virtual void OpenPanel(ToolPanel* panel) = 0;
  virtual void ClosePanel(ToolPanel* panel) = 0;

  // Runs a panel's job on a worker thread (the tone job): the work picture is first made a
  // copy of `source` and `busy` is set. When the body returns, the view is refreshed
  // (AppMessage::kRedraw) and `finished` runs on the user-interface thread; the panel then sends
  // AppMessage::kToneJobDone or AppMessage::kToneJobAbandoned. False when a job runs already.
  virtual bool StartPanelJob(JobBody body, std::function<void(const JobResult&)> finished) = 0;

  // Runs a series job with the progress window ("Abort" sets AppState::cancelRequested).
  // When it finishes without being cancelled, `doneCommand` (CommandId::kSeriesReady or
  // CommandId::kDaylightReady) runs; otherwise `source` is reloaded from AppState::jobSourcePath.
  virtual bool StartSeriesJob(JobBody body, CommandId doneCommand) = 0;

  // Runs a panel's long work (the full-size fusion of OK) with the progress window and
  // "Abort". `finished` runs on the user-interface thread once the progress window is gone;
  // the result's end is kCancelled when the user aborted. False when a job runs already.
  virtual bool StartProgressJob(JobBody body, std::function<void(const JobResult&)> finished) = 0;

  // While a panel is open: Open, Save As and every processing command off (ClosePanel
  // enables them again by the usual rule).
  virtual void DisableCommandsForPanel() = 0;
  // Greys the menu's three submenus (the Daylight panel), or brings them back.
  virtual void GreyMenus(bool grey) = 0;
  virtual void SetZoomBoxEnabled(bool enabled) = 0;
};
