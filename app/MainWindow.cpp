// The main window: start-up, shutdown, layout, keys, dropped files and messages.
#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include "app/CommandTable.h"
#include "app/DockPanel.h"
#include "app/FileCommands.h"
#include "app/ImageView.h"
#include "app/JobHost.h"
#include "app/KeyRouter.h"
#include "app/Messages.h"
#include "app/ProgressWindow.h"
#include "app/RenderView.h"
#include "app/SeriesBrowser.h"
#include "app/ToolPanel.h"
#include "app/UserDialogs.h"
#include "app/ZoomBox.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

MainWindow::MainWindow(UserDialogs* dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Melvaro"));
  setAcceptDrops(true);
  InitAppState(&state_);

  // The marker reads 1 while the program runs; finding it set means the last run ended
  // without its orderly exit.
  languageFile_ = LanguageFilePath();
  const LanguageList languages = LoadLanguageList(languageFile_);
  languageIndex_ = languages.current;
  startup_ = StartupRead();
  LoadTextTable(languageFile_, languageIndex_);
  ShowCrashWarningIfNeeded(startup_.crashedLastTime);

  state_.metadataSourcePath.clear();
  view_.interpolation = kInterpolationBilinear;
  view_.background = kViewBackgroundDark;
  view_.previewRect = nullptr;
  view_.overlay = nullptr;
  BuildWindow();
  jobs_ = new JobHost(*this, dock_, this);
  InstallProcessingHooks(&hooks_);

  commands_->Apply(EnablingEvent::kNoPicture);
  view_.zoom = 1.0;
  imageView_->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  // The child widgets outlive this destructor's body: they must no longer call back.
  for (QObject* sender : {static_cast<QObject*>(zoomBox_), static_cast<QObject*>(commands_)})
    QObject::disconnect(sender, nullptr, this, nullptr);
  imageView_->SetPanelSource(nullptr);
  delete keys_;  // no key reaches the window while it is taken apart
  // A job works on the state released below: stop it and wait for it first.
  jobs_->StopAndWait();
  ExitWrite(startup_);
  ReleaseViewCaches(&view_);
  ReleaseAppState(&state_);
}

void MainWindow::ShowCrashWarningIfNeeded(bool crashedLastTime) {
  if (crashedLastTime)
    dialogs_->ShowMessage(this, LangText(TextId::kWarning), LangText(TextId::kCrashedLastTime),
                          MessageIcon::kInformation);
}

void MainWindow::BuildWindow() {
  status_ = new QLabel(this);
  status_->setContentsMargins(2, 1, 2, 1);
  statusBar()->addWidget(status_, 1);
  statusBar()->setSizeGripEnabled(true);

  auto* toolbar = new QToolBar(this);
  toolbar->setObjectName(QStringLiteral("MainToolbar"));
  toolbar->setMovable(false);
  toolbar->setFloatable(false);
  toolbar->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, toolbar);
  setContextMenuPolicy(Qt::NoContextMenu);
  commands_ = new CommandTable(this);
  zoomBox_ = new ZoomBox(toolbar);
  commands_->BuildToolbar(toolbar, zoomBox_);
  connect(commands_, &CommandTable::Triggered, this, &MainWindow::ExecuteCommand);
  connect(zoomBox_, &ZoomBox::TextConfirmed, this, [this] { SendMessage(AppMessage::kParseZoom); });
  keys_ = new KeyRouter(
      this, commands_, [this] { return activePanel_; },
      [this](CommandId command) { ExecuteCommand(command); });

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  imageView_ = new ImageView(&state_, &view_, central);
  imageView_->SetPanelSource([this] { return activePanel_; });
  imageView_->AttachZoomBox(zoomBox_);
  dock_ = new DockPanel(central);
  layout->addWidget(imageView_, 1);
  layout->addWidget(dock_);
  setCentralWidget(central);
  series_ = std::make_unique<SeriesBrowser>(
      &state_, dialogs_, this, imageView_, [this](const std::string& text) { SetStatusText(text); },
      [this](bool busy) { SetWindowCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor); });

  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize available = screen != nullptr ? screen->availableGeometry().size() : QSize(1280, 800);
  resize(available.width() * 4 / 5, available.height() * 4 / 5);
}

bool MainWindow::MayDiscardResult() {
  if (!state_.resultUnsaved) return true;
  return dialogs_->AskYesNo(this, LangText(TextId::kWarning), LangText(TextId::kNotSavedQuestion));
}

void MainWindow::ShowMessage(TextId captionText, const std::string& text) {
  dialogs_->ShowMessage(this, LangText(captionText), text, MessageIcon::kInformation);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A panel job writes the result until it ends; leaving now would lose it half-written.
  if (state_.busy || !MayDiscardResult()) {
    event->ignore();
    return;
  }
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
      event->mimeData()->urls().first().isLocalFile())
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  OpenDroppedFiles(event->mimeData()->urls());
}

void MainWindow::OpenDroppedFiles(const QList<QUrl>& urls) {
  // An open panel works on the picture shown: a dropped file must not replace it.
  if (state_.toolDialogOpen || state_.busy || JobRunning() || activePanel_ != nullptr) return;
  if (urls.isEmpty() || !urls.first().isLocalFile() || !MayDiscardResult()) return;
  std::filesystem::path path(urls.first().toLocalFile().toStdString());
  if (OpenSourceImageAsking(*dialogs_, this, &state_, &path)) return;
  AfterSourceLoaded(path);
}

void MainWindow::SendMessage(AppMessage message) {
  HandleMessage(message);
}

void MainWindow::PostMessage(AppMessage message) {
  QMetaObject::invokeMethod(
      this, [this, message] { HandleMessage(message); }, Qt::QueuedConnection);
}

void MainWindow::SendCommand(CommandId command) {
  ExecuteCommand(command);
}

void MainWindow::HandleMessage(AppMessage message) {
  switch (message) {
    case AppMessage::kRedraw:
      imageView_->RefreshBothCaches();
      break;
    case AppMessage::kRedrawResult:
      imageView_->RenderAndRepaint(kRenderCached, &state_.document.result, kSlotResult);
      break;
    case AppMessage::kResultNotSaved:
      state_.resultUnsaved = 1;
      break;
    case AppMessage::kWaitCursor:
      SetWindowCursor(Qt::WaitCursor);
      break;
    case AppMessage::kArrowCursor:
      SetWindowCursor(Qt::ArrowCursor);
      break;
    case AppMessage::kMoveCursor:
      SetWindowCursor(Qt::SizeAllCursor);
      break;
    case AppMessage::kRedrawShown:
      imageView_->RenderShown(kRenderCached);
      break;
    case AppMessage::kCopyScratch:
      imageView_->CopyScratch();
      break;
    case AppMessage::kToneJobDone:
      state_.busy = 0;
      state_.toolDialogOpen = 0;
      state_.resultUnsaved = 1;
      imageView_->RenderAndRepaint(kRenderRefresh, &state_.document.result, kSlotResult);
      RestoreCommands();
      break;
    case AppMessage::kToneJobAbandoned:
      state_.busy = 0;
      state_.toolDialogOpen = 0;
      state_.resultUnsaved = 0;
      CBxPicBufAPI::ReinitHeap(&state_.document.result, &state_.workPicture);
      CBxPicBufAPI::Copy(&state_.document.result, &state_.workPicture);
      imageView_->RenderAndRepaint(kRenderRefresh, &state_.document.result, kSlotResult);
      break;
    case AppMessage::kParseZoom:
      imageView_->TakeTypedZoom();
      break;
    case AppMessage::kStartToneJob:  // a panel hands its job over with StartPanelJob
      break;
  }
}

void MainWindow::SetStatusText(const std::string& text) {
  status_->setText(QString::fromStdString(text));
}

QString MainWindow::StatusText() const {
  return status_->text();
}

void MainWindow::OpenPanel(ToolPanel* panel) {
  if (panel == nullptr) return;
  dock_->AddPanel(panel);
  activePanel_ = panel;
}

void MainWindow::ClosePanel(ToolPanel* panel) {
  if (panel == nullptr) return;
  dock_->RemovePanel(panel);
  panel->hide();
  panel->deleteLater();
  if (activePanel_ == panel) activePanel_ = nullptr;
  view_.previewRect = nullptr;
  view_.overlay = nullptr;
  state_.toolDialogOpen = 0;
  RestoreCommands();
  imageView_->RenderShown(kRenderCached);
}

void MainWindow::DisableCommandsForPanel() {
  commands_->Apply(EnablingEvent::kProcessing);
}

void MainWindow::ShowSeriesStatus(TextId hintText) {
  series_->ShowStatus(hintText);
}

void MainWindow::RestoreCommands() {
  commands_->Apply(EnablingEvent::kProcessingEnded, state_.multiImageMode != 0);
  // Work that needs no picture (a batch) may end with none open: the picture's commands stay
  // off.
  if (state_.document.source.pixels == nullptr) commands_->Apply(EnablingEvent::kNoPicture);
}

bool MainWindow::JobRunning() const {
  return jobs_->Running();
}

ProgressWindow* MainWindow::Progress() const {
  return jobs_->Progress();
}

void MainWindow::GreyMenus(bool grey) {
  commands_->GreyMenus(grey);
}

void MainWindow::SetZoomBoxEnabled(bool enabled) {
  zoomBox_->setEnabled(enabled);
}

void MainWindow::SetWindowCursor(Qt::CursorShape shape) {
  setCursor(shape);
  imageView_->setCursor(shape);
}
