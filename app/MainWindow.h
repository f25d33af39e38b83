#pragma once

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

#include "app/PanelHost.h"
#include "app/ProcessingHooks.h"
#include "app/ViewContext.h"
#include "app/state/AppState.h"
#include "settings/Settings.h"

class CommandTable;
class DockPanel;
class ImageView;
class JobHost;
class ProgressWindow;
class QLabel;
class ToolPanel;
class UserDialogs;
class ZoomBox;

// The program's one window. It owns the application state for the whole run, runs every
// command (Messages.h), keeps the view, and hosts the processing panels and jobs.
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
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Start-up and shutdown.
  void BuildWindow();
  void ConnectView();
  void ShowCrashWarningIfNeeded(bool crashedLastTime);

  // The "ask" rule: true when nothing unsaved would be lost or the user agrees.
  bool MayDiscardResult();
  void ShowMessage(TextId captionText, const std::string& text);

  // Commands (MainCommands.cpp).
  void CommandOpen();
  void CommandSaveAs();
  void CommandClose();
  void CommandToggleSources();
  void CommandBrowseSeries(CommandId command);
  void CommandAbout();
  void CommandSingleImage();
  void CommandDaylight(CommandId command);
  void CommandSmartContrast();
  void CommandToneMapping();
  void CommandMultiImage();
  void OpenSeriesFiles(const std::vector<std::filesystem::path>& files);
  bool LoadSeries(const std::vector<std::filesystem::path>& files);
  void CommandSeriesReady(CommandId command);
  void AfterSourceLoaded(const std::filesystem::path& path);
  bool PrepareSeriesWork();
  bool SourceDepthSupported();
  void OpenHookPanel(const ProcessingHooks::PanelFactory& factory);

  // The view (MainView.cpp).
  const SBxPicBuf* ShownPicture() const;
  int ShownSlot() const;
  void RenderShown(int mode);
  void RenderAndRepaint(int mode, const SBxPicBuf* picture, int slot);
  void RefreshBothCaches();
  void FitToView();
  void ZoomTo100();
  void ZoomBy(double factor);
  void ShowZoom();
  void OnPresetChosen(int index);
  void OnTypedZoom();
  void OnViewResized();
  void OnLeftPressed(QPoint position);
  void OnMouseMoved(QPoint position, bool leftButtonDown);
  void OnLeftReleased(QPoint position);
  void OnRightPressed();
  void OnRightReleased();
  void OnDoubleClicked();
  void OnWheel(QPoint position, int delta);
  void FocusView();

  void SetWindowCursor(Qt::CursorShape shape);

  AppState state_;
  ViewContext view_;
  ProcessingHooks hooks_;
  UserDialogs* dialogs_;

  CommandTable* commands_ = nullptr;
  ZoomBox* zoomBox_ = nullptr;
  ImageView* imageView_ = nullptr;
  DockPanel* dock_ = nullptr;
  QLabel* status_ = nullptr;
  ToolPanel* activePanel_ = nullptr;
  JobHost* jobs_ = nullptr;

  QPoint lastMouse_;
  bool dragging_ = false;
  StartupSettings startup_;  // read at start-up (and by Options), written at exit
  std::filesystem::path languageFile_;
  int languageIndex_ = 0;
};
