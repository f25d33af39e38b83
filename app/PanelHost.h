#pragma once

#include <functional>
#include <string>

#include "app/Messages.h"
#include "app/ViewContext.h"
#include "settings/TextIds.h"

class JobHost;
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

  // The background jobs: the tone job, the series jobs and a panel's long work (OK).
  virtual JobHost& Jobs() = 0;

  // While a panel is open: Open, Save As and every processing command off (ClosePanel
  // enables them again by the usual rule).
  virtual void DisableCommandsForPanel() = 0;
  // The commands back by the usual rule when processing ends (the series commands stay off in
  // multi-image mode).
  virtual void RestoreCommands() = 0;
  // Greys the menu's three submenus (the Daylight panel), or brings them back.
  virtual void GreyMenus(bool grey) = 0;
  virtual void SetZoomBoxEnabled(bool enabled) = 0;
};
