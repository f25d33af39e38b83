#pragma once

#include <QList>
#include <QMainWindow>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/CommandRegistry.h"
#include "app/Messages.h"
#include "app/PanelHost.h"
#include "app/ProcessingHooks.h"
#include "app/ViewContext.h"
#include "app/state/AppState.h"
#include "settings/Settings.h"

class CommandTable;
class DockPanel;
class ImageView;
class JobHost;
class KeyRouter;
class ProgressWindow;
class QLabel;
class SeriesBrowser;
class ToolPanel;
class UserDialogs;
class ZoomBox;

// The program's one window. It owns the application state for the whole run, the view
// (ImageView), the series browsing (SeriesBrowser), the commands (CommandRegistry.cpp says
// what each one does) and their keys (KeyRouter), and hosts the processing panels and jobs.
class MainWindow : public QMainWindow, public PanelHost {
  Q_OBJECT

 public:
  // Reads the settings (and warns once when the last run did not end normally), builds the
  // toolbar, zoom box, dock panel and status bar. `dialogs` must outlive the window.
  explicit MainWindow(UserDialogs* dialogs, QWidget* parent = nullptr);
  // Stops a running job, stores the settings of an orderly exit and frees the pictures.
  ~MainWindow() override;

  // Runs a command; ignored while a panel job runs (AppState::busy).
  void ExecuteCommand(CommandId command);
  // Handles a message now.
  void HandleMessage(AppMessage message);
  // Files dropped on the window: the first one is opened like Open, without the dialog.
  void OpenDroppedFiles(const QList<QUrl>& urls);
  // Files named on the command line: one is opened like Open, several as a series like the
  // Multi Image command, without the dialogs.
  void OpenFromCommandLine(const std::vector<std::filesystem::path>& files);

  // PanelHost.
  AppState& State() override { return state_; }
  ViewContext& View() override { return view_; }
  UserDialogs& Dialogs() override { return *dialogs_; }
  QWidget* Window() override { return this; }
  StartupSettings& Startup() override { return startup_; }
  void SendMessage(AppMessage message) override;
  void PostMessage(AppMessage message) override;
  void SendCommand(CommandId command) override;
  void SetStatusText(const std::string& text) override;
  void ShowSeriesStatus(TextId hintText) override;
  void OpenPanel(ToolPanel* panel) override;
  void ClosePanel(ToolPanel* panel) override;
  JobHost& Jobs() override { return *jobs_; }
  void DisableCommandsForPanel() override;
  void RestoreCommands() override;
  void GreyMenus(bool grey) override;
  void SetZoomBoxEnabled(bool enabled) override;

  ProcessingHooks& Hooks() { return hooks_; }
  CommandTable& Commands() { return *commands_; }
  ZoomBox* ZoomBoxWidget() const { return zoomBox_; }
  ImageView* ViewWidget() const { return imageView_; }
  DockPanel* Dock() const { return dock_; }
  ProgressWindow* Progress() const;
  ToolPanel* ActivePanel() const { return activePanel_; }
  QString StatusText() const;
  bool JobRunning() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The command declarations run the commands below.
  friend std::span<const CommandEntry> CommandEntries();

  void BuildWindow();
  void ShowCrashWarningIfNeeded(bool crashedLastTime);

  // The "ask" rule: true when nothing unsaved would be lost or the user agrees.
  bool MayDiscardResult();
  void ShowMessage(TextId captionText, const std::string& text);
  void SetWindowCursor(Qt::CursorShape shape);

  // Commands (MainCommands.cpp).
  void CommandOpen();
  void CommandSaveAs();
  void CommandClose();
  void CommandOptions();
  void CommandAbout();
  void CommandMultiImage();
  void CommandSingleImage();
  void CommandDaylight(SeriesKind direction);
  // A panel over the opened picture (Smart Contrast, Tone Mapping), after the unsaved
  // question; some take only 8 or 16 bits per component.
  enum class Depths { kAny, k8Or16Bits };
  void CommandPicturePanel(const ProcessingHooks::PanelFactory& panel, Depths depths);
  void CommandSeriesReady(const ProcessingHooks::PanelFactory& panel);
  void OpenSeriesFiles(const std::vector<std::filesystem::path>& files);
  void AfterSourceLoaded(const std::filesystem::path& path);
  bool PrepareSeriesWork();
  bool SourceDepthSupported();
  void OpenHookPanel(const ProcessingHooks::PanelFactory& factory);

  AppState state_;
  ViewContext view_;
  ProcessingHooks hooks_;
  UserDialogs* dialogs_;

  CommandTable* commands_ = nullptr;
  KeyRouter* keys_ = nullptr;
  ZoomBox* zoomBox_ = nullptr;
  ImageView* imageView_ = nullptr;
  std::unique_ptr<SeriesBrowser> series_;
  DockPanel* dock_ = nullptr;
  QLabel* status_ = nullptr;
  ToolPanel* activePanel_ = nullptr;
  JobHost* jobs_ = nullptr;

  StartupSettings startup_;  // read at start-up (and by Options), written at exit
  std::filesystem::path languageFile_;
  int languageIndex_ = 0;
};
