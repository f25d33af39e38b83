// The main window's commands: the file commands and the start of the processing commands.
// CommandRegistry.cpp says which command runs which of these.

#include "app/CommandTable.h"
#include "app/FileCommands.h"
#include "app/ImageView.h"
#include "app/JobHost.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/RenderView.h"
#include "app/SeriesBrowser.h"
#include "app/ToolPanel.h"
#include "app/UserDialogs.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "settings/TextTable.h"

namespace {
// result becomes a copy of source.
void CopySourceToResult(ImageDocument* document) {
  CBxPicBufAPI::ReinitHeap(&document->result, &document->source);
  CBxPicBufAPI::Copy(&document->result, &document->source);
}
}  // namespace

void MainWindow::ExecuteCommand(CommandId command) {
  if (state_.busy) return;
  if (isVisible()) activateWindow();
  const CommandEntry* entry = FindCommand(command);
  if (entry != nullptr && entry->run != nullptr) entry->run(*this);
}

void MainWindow::AfterSourceLoaded(const std::filesystem::path& path) {
  state_.metadataSourcePath = path;
  setWindowTitle(QStringLiteral("Melvaro - ") + QString::fromStdString(path.string()));
  SetStatusText({});
  CopySourceToResult(&state_.document);
  imageView_->ShowOpenedPicture(&state_.document.mask);
  commands_->Apply(EnablingEvent::kPictureOpened);
  state_.resultUnsaved = 0;
  state_.multiImageMode = 0;
}

void MainWindow::CommandOpen() {
  if (!MayDiscardResult()) return;
  std::filesystem::path path;
  if (OpenSourceImageAsking(*dialogs_, this, &state_, &path)) return;
  AfterSourceLoaded(path);
}

void MainWindow::CommandSaveAs() {
  std::filesystem::path name;
  if (!SaveImageAs(*dialogs_, this, &state_, &name)) {
    setWindowTitle(QStringLiteral("Melvaro - ") + QString::fromStdString(name.string()));
    state_.resultUnsaved = 0;
  }
  imageView_->update();
}

void MainWindow::CommandClose() {
  if (!state_.multiImageMode && !MayDiscardResult()) return;
  state_.metadataSourcePath.clear();
  SetStatusText({});
  commands_->Apply(EnablingEvent::kNoPicture);
  ReleaseDocument(&state_.document);
  imageView_->Clear();
  state_.resultUnsaved = 0;
  state_.showSources = 0;
}

void MainWindow::CommandOptions() {
  RunOptions(*dialogs_, this, languageFile_, &startup_, &languageIndex_);
}

void MainWindow::CommandAbout() {
  const std::string text = FormatText(TextId::kAboutProduct, {MELVARO_VERSION}) + "\n\n" +
                           LangText(TextId::kAboutDescription);
  dialogs_->ShowMessage(this, LangText(TextId::kAboutCaption), text, MessageIcon::kInformation);
}

bool MainWindow::SourceDepthSupported() {
  const uint32_t bits = state_.document.source.bitsPerComponent;
  if (bits == 8 || bits == 16) return true;
  dialogs_->ShowMessage(this, LangText(TextId::kWarning), LangText(TextId::kNotSupported),
                        MessageIcon::kNone);
  return false;
}

// The common start of the series commands; false when the command stops.
bool MainWindow::PrepareSeriesWork() {
  if (state_.document.source.pixels == nullptr || !MayDiscardResult()) return false;
  state_.resultUnsaved = 0;
  state_.jobSourcePath = state_.currentFilePath;
  state_.multiImageMode = 0;
  // The result starts as the source, never as uninitialised pixels that could be saved.
  CopySourceToResult(&state_.document);
  CBxPicBufAPI::ReinitHeap(&state_.workPicture, &state_.document.source);
  CBxPicBufAPI::Copy(&state_.workPicture, &state_.document.source);
  imageView_->RefreshBothCaches();
  return SourceDepthSupported();
}

void MainWindow::CommandSingleImage() {
  if (!hooks_.askNoiseLevel || !hooks_.seriesJob || !PrepareSeriesWork()) return;
  commands_->Apply(EnablingEvent::kProcessing);
  const int noise = hooks_.askNoiseLevel(*this);
  if (noise < 0) {
    commands_->Apply(EnablingEvent::kProcessingEnded, state_.multiImageMode != 0);
    return;
  }
  SeriesRequest request;
  request.kind = SeriesKind::kSingle;
  request.denoiseLevel = static_cast<uint32_t>(noise);
  jobs_->StartSeriesJob([this, job = hooks_.seriesJob,
                         request](JobProgress& progress) { return job(state_, request, progress); },
                        CommandId::kSeriesReady);
}

void MainWindow::CommandDaylight(SeriesKind direction) {
  if (!hooks_.seriesJob) return;
  SeriesRequest request;
  request.kind = direction;
  if (!PrepareSeriesWork()) return;
  jobs_->StartSeriesJob([this, job = hooks_.seriesJob,
                         request](JobProgress& progress) { return job(state_, request, progress); },
                        CommandId::kDaylightReady);
}

void MainWindow::OpenHookPanel(const ProcessingHooks::PanelFactory& factory) {
  if (!factory) return;
  if (activePanel_ != nullptr) ClosePanel(activePanel_);
  OpenPanel(factory(*this));
}

void MainWindow::CommandPicturePanel(const ProcessingHooks::PanelFactory& panel, Depths depths) {
  if (state_.document.source.pixels == nullptr) return;
  state_.showSources = 0;
  if (!MayDiscardResult()) return;
  state_.resultUnsaved = 0;
  if (depths == Depths::k8Or16Bits && !SourceDepthSupported()) return;
  OpenHookPanel(panel);
}

void MainWindow::CommandSeriesReady(const ProcessingHooks::PanelFactory& panel) {
  state_.resultUnsaved = 0;
  state_.showSources = 0;
  CBxPicBufAPI::ReinitHeap(&state_.document.source, &state_.workPicture);
  CBxPicBufAPI::Copy(&state_.document.source, &state_.workPicture);
  CopySourceToResult(&state_.document);
  OpenHookPanel(panel);
}

void MainWindow::CommandMultiImage() {
  if (!MayDiscardResult()) return;
  state_.resultUnsaved = 0;  // the user agreed once: Close does not ask again
  CommandClose();
  state_.multiImageMode = 1;
  OpenSeriesFiles(dialogs_->ChooseOpenFiles(this, LangText(TextId::kSelectSource), kSeriesFilter));
}

void MainWindow::OpenSeriesFiles(const std::vector<std::filesystem::path>& files) {
  if (files.empty()) return;
  switch (series_->Open(files)) {
    case SeriesBrowser::OpenResult::kTooFew:
      return;
    case SeriesBrowser::OpenResult::kRefused:
      CommandClose();
      return;
    case SeriesBrowser::OpenResult::kOpened:
      break;
  }
  zoomBox_->setEnabled(true);
  series_->ShowStatus(TextId::kUseArrows);
  OpenHookPanel(hooks_.multiImagePanel);
}

void MainWindow::OpenFromCommandLine(const std::vector<std::filesystem::path>& files) {
  if (files.empty()) return;
  if (files.size() == 1) {
    std::filesystem::path path = files.front();
    if (!OpenSourceImageAsking(*dialogs_, this, &state_, &path)) AfterSourceLoaded(path);
    return;
  }
  CommandClose();
  state_.multiImageMode = 1;
  OpenSeriesFiles(files);
}
