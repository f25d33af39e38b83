// Opening a series of the user's files, and browsing it with F5 and the arrow keys.
#include "app/CommandTable.h"
#include "app/FileCommands.h"
#include "app/ImageView.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/RenderView.h"
#include "app/UserDialogs.h"
#include "app/ZoomBox.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/TextTable.h"

namespace {
constexpr const char* kSeriesFilter = "*.bmp;*.jpg;*.gif;*.tif;*.png";
}  // namespace

void MainWindow::ShowSeriesStatus(TextId hintText) {
  const SourceList& list = state_.sourceList;
  SetStatusText(LangText(TextId::kShowing) + " " + std::to_string(list.index + 1) + " " +
                LangText(TextId::kOf) + " " + std::to_string(list.count) + ". " +
                LangText(hintText));
}

// Loads every chosen file, checks it against the first and lists it. False after a refusal,
// which has been reported.
bool MainWindow::LoadSeries(const std::vector<std::filesystem::path>& files) {
  SourceList& list = state_.sourceList;
  list.Clear();
  SBxPicBuf first;  // the first file's geometry (its pixels are not kept)
  for (const std::filesystem::path& file : files) {
    if (list.count >= SourceList::kCapacity) break;  // the series holds 99 files
    std::filesystem::path path = file;
    if (OpenSourceImageAsking(*dialogs_, this, &state_, &path)) {
      ShowMessage(TextId::kWarning, LangText(TextId::kCannotOpenFile) + " " + path.string());
      return false;
    }
    const SBxPicBuf& source = state_.document.source;
    if (list.count == 0) {
      first = source;
      first.pixels = nullptr;
    }
    if (!SameGeometry(source, first)) {
      ShowMessage(TextId::kWarning, LangText(TextId::kSameResolution));
      return false;
    }
    list.Append(path);
  }
  return true;
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
  if (files.size() < 2) {
    ShowMessage(TextId::kWarning, LangText(TextId::kMoreThanOneFile));
    return;
  }
  SetWindowCursor(Qt::WaitCursor);
  const bool loaded = LoadSeries(files);
  SetWindowCursor(Qt::ArrowCursor);
  if (!loaded) {
    CommandClose();
    return;
  }

  SourceList& list = state_.sourceList;
  std::filesystem::path path = list.entries[0];
  if (OpenSourceImageAsking(*dialogs_, this, &state_, &path)) {
    CommandClose();
    return;
  }
  CBxPicBufAPI::DoneHeap(&state_.document.mask);
  state_.showSources = 0;
  CBxPicBufAPI::ReinitHeap(&state_.document.result, &state_.document.source);
  CBxPicBufAPI::Copy(&state_.document.result, &state_.document.source);
  RenderView(&view_, kRenderRefresh, &state_.document.source, kSlotSource, 0, nullptr);
  RenderView(&view_, kRenderRefresh, &state_.document.result, kSlotResult, 0, nullptr);
  FitToView();
  zoomBox_->setEnabled(true);
  ShowSeriesStatus(TextId::kUseArrows);
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

void MainWindow::CommandToggleSources() {
  if (!state_.multiImageMode) return;
  state_.showSources = state_.showSources ? 0 : 1;
  RenderShown(kRenderCached);
  if (state_.showSources)
    ShowSeriesStatus(TextId::kUseArrows);
  else
    SetStatusText(LangText(TextId::kPressF5));
}

void MainWindow::CommandBrowseSeries(CommandId command) {
  SourceList& list = state_.sourceList;
  if (!state_.multiImageMode || !state_.showSources || list.count <= 0) return;
  if (command == CommandId::kPrevious)
    list.index = list.index > 0 ? list.index - 1 : list.count - 1;
  else
    list.index = (list.index + 1) % list.count;
  std::filesystem::path path = list.entries[static_cast<size_t>(list.index)];
  if (OpenSourceImageAsking(*dialogs_, this, &state_, &path)) return;
  RenderAndRepaint(kRenderRefresh, &state_.document.source, kSlotSource);
  ShowSeriesStatus(TextId::kArrowsOrF5);
}
