// The main window's commands.
#include <QApplication>
#include <QMenu>
#include <QToolButton>

#include "app/CommandTable.h"
#include "app/FileCommands.h"
#include "app/ImageView.h"
#include "app/JobHost.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/RenderView.h"
#include "app/ToolPanel.h"
#include "app/UserDialogs.h"
#include "app/ViewGeometry.h"
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
  switch (command) {
    case CommandId::kOpen:
      CommandOpen();
      break;
    case CommandId::kSaveAs:
      CommandSaveAs();
      break;
    case CommandId::kClose:
      CommandClose();
      break;
    case CommandId::kMultiImage:
      CommandMultiImage();
      break;
    case CommandId::kSingleImage:
      CommandSingleImage();
      break;
    case CommandId::kDaylightUp:
    case CommandId::kDaylightDown:
      CommandDaylight(command);
      break;
    case CommandId::kSmartContrast:
      CommandSmartContrast();
      break;
    case CommandId::kToneMapping:
      CommandToneMapping();
      break;
    case CommandId::kZoomIn:
      ZoomBy(kZoomInFactor);
      break;
    case CommandId::kZoomOut:
      ZoomBy(kZoomOutFactor);
      break;
    case CommandId::kZoomFit:
      if (state_.document.source.pixels) FitToView();
      break;
    case CommandId::kZoom100:
      if (state_.document.source.pixels) ZoomTo100();
      break;
    case CommandId::kMenu: {
      commands_->UpdateMenu();
      QWidget* button = commands_->MenuButton();
      const QPoint at = button != nullptr ? button->mapToGlobal(QPoint(0, button->height()))
                                          : mapToGlobal(QPoint(0, 0));
      commands_->PopupMenu()->popup(at);
      break;
    }
    case CommandId::kOptions:
      RunOptions(*dialogs_, this, languageFile_, &startup_, &languageIndex_);
      break;
    case CommandId::kToggleSources:
      CommandToggleSources();
      break;
    case CommandId::kPrevious:
    case CommandId::kNext:
      CommandBrowseSeries(command);
      break;
    case CommandId::kAbout:
      CommandAbout();
      break;
    case CommandId::kExit:  // through the unsaved question, like the close button
      close();
      break;
    case CommandId::kSeriesReady:
    case CommandId::kDaylightReady:
      CommandSeriesReady(command);
      break;
    default:
      break;
  }
}

void MainWindow::AfterSourceLoaded(const std::filesystem::path& path) {
  state_.metadataSourcePath = path;
  setWindowTitle(QStringLiteral("Melvaro - ") + QString::fromStdString(path.string()));
  SetStatusText({});
  CopySourceToResult(&state_.document);
  RenderView(&view_, kRenderRefresh, &state_.document.result, kSlotResult, 0,
             &state_.document.mask);
  RenderView(&view_, kRenderRefresh, &state_.document.source, kSlotSource, 0,
             &state_.document.mask);
  FitToView();  // draws from the fresh caches
  commands_->EnterPictureOpened();
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
  commands_->EnterNoPicture();
  view_.interpolation = kInterpolationBilinear;
  ReleaseDocument(&state_.document);
  ReleaseViewCaches(&view_);
  RenderView(&view_, kRenderRefresh, nullptr, kSlotClear, 1, nullptr);
  imageView_->update();
  state_.resultUnsaved = 0;
  state_.showSources = 0;
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
  RefreshBothCaches();
  return SourceDepthSupported();
}

void MainWindow::CommandSingleImage() {
  if (!hooks_.askNoiseLevel || !hooks_.seriesJob || !PrepareSeriesWork()) return;
  commands_->DisableForProcessing();
  const int noise = hooks_.askNoiseLevel(*this);
  if (noise < 0) {
    commands_->EnableAfterProcessing(state_.multiImageMode != 0);
    return;
  }
  SeriesRequest request;
  request.kind = SeriesKind::kSingle;
  request.denoiseLevel = static_cast<uint32_t>(noise);
  jobs_->StartSeriesJob([this, job = hooks_.seriesJob,
                         request](JobProgress& progress) { return job(state_, request, progress); },
                        CommandId::kSeriesReady);
}

void MainWindow::CommandDaylight(CommandId command) {
  if (!hooks_.seriesJob) return;
  SeriesRequest request;
  request.kind =
      command == CommandId::kDaylightUp ? SeriesKind::kDaylightUp : SeriesKind::kDaylightDown;
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

void MainWindow::CommandSmartContrast() {
  if (state_.document.source.pixels == nullptr || !hooks_.smartContrastPanel) return;
  state_.showSources = 0;
  if (!MayDiscardResult()) return;
  state_.resultUnsaved = 0;
  OpenHookPanel(hooks_.smartContrastPanel);
}

void MainWindow::CommandToneMapping() {
  if (state_.document.source.pixels == nullptr || !hooks_.toneMappingPanel) return;
  if (!MayDiscardResult()) return;
  state_.toolDialogOpen = 1;
  state_.resultUnsaved = 0;
  state_.showSources = 0;
  if (!SourceDepthSupported()) {
    state_.toolDialogOpen = 0;
    return;
  }
  OpenHookPanel(hooks_.toneMappingPanel);
}

void MainWindow::CommandSeriesReady(CommandId command) {
  state_.resultUnsaved = 0;
  state_.showSources = 0;
  CBxPicBufAPI::ReinitHeap(&state_.document.source, &state_.workPicture);
  CBxPicBufAPI::Copy(&state_.document.source, &state_.workPicture);
  CopySourceToResult(&state_.document);
  OpenHookPanel(command == CommandId::kSeriesReady ? hooks_.multiImagePanel : hooks_.daylightPanel);
}
