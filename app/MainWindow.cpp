// The main window: start-up, shutdown, layout, keys, dropped files and messages.
#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <optional>

#include "app/CommandTable.h"
#include "app/DockPanel.h"
#include "app/FileCommands.h"
#include "app/ImageView.h"
#include "app/JobHost.h"
#include "app/Messages.h"
#include "app/ProgressWindow.h"
#include "app/RenderView.h"
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
  BuildWindow();
  jobs_ = new JobHost(*this, dock_, this);
  InstallProcessingHooks(&hooks_);

  commands_->EnterNoPicture();
  view_.zoom = 1.0;
  FocusView();
}

MainWindow::~MainWindow() {
  // The child widgets outlive this destructor's body: they must no longer call back.
  for (QObject* sender : {static_cast<QObject*>(imageView_), static_cast<QObject*>(zoomBox_),
                          static_cast<QObject*>(commands_)})
    QObject::disconnect(sender, nullptr, this, nullptr);
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
  connect(zoomBox_, &ZoomBox::PresetChosen, this, &MainWindow::OnPresetChosen);
  connect(zoomBox_, &ZoomBox::TextConfirmed, this, [this] { SendMessage(AppMessage::kParseZoom); });
  connect(zoomBox_, &ZoomBox::FocusBack, this, &MainWindow::FocusView);

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  imageView_ = new ImageView(&view_, central);
  dock_ = new DockPanel(central);
  layout->addWidget(imageView_, 1);
  layout->addWidget(dock_);
  setCentralWidget(central);
  ConnectView();

  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize available = screen != nullptr ? screen->availableGeometry().size() : QSize(1280, 800);
  resize(available.width() * 4 / 5, available.height() * 4 / 5);
}

void MainWindow::ConnectView() {
  connect(imageView_, &ImageView::Resized, this, &MainWindow::OnViewResized);
  connect(imageView_, &ImageView::LeftPressed, this, &MainWindow::OnLeftPressed);
  connect(imageView_, &ImageView::MouseMoved, this, &MainWindow::OnMouseMoved);
  connect(imageView_, &ImageView::LeftReleased, this, &MainWindow::OnLeftReleased);
  connect(imageView_, &ImageView::RightPressed, this, &MainWindow::OnRightPressed);
  connect(imageView_, &ImageView::RightReleased, this, &MainWindow::OnRightReleased);
  connect(imageView_, &ImageView::DoubleClicked, this, &MainWindow::OnDoubleClicked);
  connect(imageView_, &ImageView::WheelTurned, this, &MainWindow::OnWheel);
  connect(imageView_, &ImageView::MouseLeft, this, [this] { dragging_ = false; });
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Keys reach the window only when the focused control did not use them, so the zoom
  // box's edit field and a panel's sliders keep their own keys.
  const QString text = event->text();
  // Enter and Escape answer the open panel (OK and Cancel) wherever the focus is.
  const int key = event->key();
  if (activePanel_ != nullptr &&
      (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) {
    QCoreApplication::sendEvent(activePanel_, event);
    return;
  }
  std::optional<CommandId> command;
  if (event->key() == Qt::Key_F5)
    command = CommandId::kToggleSources;
  else if (event->key() == Qt::Key_Left)
    command = CommandId::kPrevious;
  else if (event->key() == Qt::Key_Right)
    command = CommandId::kNext;
  else if (text == QLatin1String("+"))
    command = CommandId::kZoomIn;
  else if (text == QLatin1String("-"))
    command = CommandId::kZoomOut;
  else if (event->key() == Qt::Key_Question && (event->modifiers() & Qt::AltModifier))
    command = CommandId::kAbout;
  if (!command) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  event->accept();
  ExecuteCommand(*command);
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
      RefreshBothCaches();
      break;
    case AppMessage::kRedrawResult:
      RenderAndRepaint(kRenderCached, &state_.document.result, kSlotResult);
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
    case AppMessage::kCopyScratch:
      RenderView(&view_, kRenderScratch, nullptr, kSlotResult, 1, nullptr);
      imageView_->update();
      break;
    case AppMessage::kToneJobDone:
      state_.busy = 0;
      state_.toolDialogOpen = 0;
      state_.resultUnsaved = 1;
      RenderAndRepaint(kRenderRefresh, &state_.document.result, kSlotResult);
      commands_->EnableAfterProcessing(state_.multiImageMode != 0);
      break;
    case AppMessage::kToneJobAbandoned:
      state_.busy = 0;
      state_.toolDialogOpen = 0;
      state_.resultUnsaved = 0;
      CBxPicBufAPI::ReinitHeap(&state_.document.result, &state_.workPicture);
      CBxPicBufAPI::Copy(&state_.document.result, &state_.workPicture);
      RenderAndRepaint(kRenderRefresh, &state_.document.result, kSlotResult);
      break;
    case AppMessage::kParseZoom:
      OnTypedZoom();
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
  state_.toolDialogOpen = 0;
  commands_->EnableAfterProcessing(state_.multiImageMode != 0);
  RenderShown(kRenderCached);
}

void MainWindow::DisableCommandsForPanel() {
  commands_->DisableForProcessing();
}

void MainWindow::RestoreCommands() {
  commands_->EnableAfterProcessing(state_.multiImageMode != 0);
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
