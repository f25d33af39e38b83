#include "app/SeriesBrowser.h"

#include "app/FileCommands.h"
#include "app/ImageView.h"
#include "app/RenderView.h"
#include "app/UserDialogs.h"
#include "app/state/AppState.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/TextTable.h"

SeriesBrowser::SeriesBrowser(AppState* state, UserDialogs* dialogs, QWidget* window,
                             ImageView* view, std::function<void(const std::string&)> setStatus,
                             std::function<void(bool)> setBusyCursor)
    : state_(state),
      dialogs_(dialogs),
      window_(window),
      view_(view),
      setStatus_(std::move(setStatus)),
      setBusyCursor_(std::move(setBusyCursor)) {}

void SeriesBrowser::ShowStatus(TextId hint) {
  const SourceList& list = state_->sourceList;
  setStatus_(LangText(TextId::kShowing) + " " + std::to_string(list.index + 1) + " " +
             LangText(TextId::kOf) + " " + std::to_string(list.count) + ". " + LangText(hint));
}

// Loads every file, checks it against the first and lists it. False after a refusal, which
// has been reported.
bool SeriesBrowser::LoadFiles(const std::vector<std::filesystem::path>& files) {
  SourceList& list = state_->sourceList;
  list.Clear();
  SBxPicBuf first;  // the first file's geometry (its pixels are not kept)
  for (const std::filesystem::path& file : files) {
    if (list.count >= SourceList::kCapacity) break;  // the series holds 99 files
    std::filesystem::path path = file;
    if (OpenSourceImageAsking(*dialogs_, window_, state_, &path)) {
      dialogs_->ShowMessage(window_, LangText(TextId::kWarning),
                            LangText(TextId::kCannotOpenFile) + " " + path.string(),
                            MessageIcon::kInformation);
      return false;
    }
    const SBxPicBuf& source = state_->document.source;
    if (list.count == 0) {
      first = source;
      first.pixels = nullptr;
    }
    if (!SameGeometry(source, first)) {
      dialogs_->ShowMessage(window_, LangText(TextId::kWarning), LangText(TextId::kSameResolution),
                            MessageIcon::kInformation);
      return false;
    }
    list.Append(path);
  }
  return true;
}

SeriesBrowser::OpenResult SeriesBrowser::Open(const std::vector<std::filesystem::path>& files) {
  if (files.size() < 2) {
    dialogs_->ShowMessage(window_, LangText(TextId::kWarning), LangText(TextId::kMoreThanOneFile),
                          MessageIcon::kInformation);
    return OpenResult::kTooFew;
  }
  setBusyCursor_(true);
  const bool loaded = LoadFiles(files);
  setBusyCursor_(false);
  if (!loaded) return OpenResult::kRefused;

  std::filesystem::path path = state_->sourceList.entries[0];
  if (OpenSourceImageAsking(*dialogs_, window_, state_, &path)) return OpenResult::kRefused;
  ImageDocument& document = state_->document;
  CBxPicBufAPI::DoneHeap(&document.mask);
  state_->showSources = 0;
  CBxPicBufAPI::ReinitHeap(&document.result, &document.source);
  CBxPicBufAPI::Copy(&document.result, &document.source);
  view_->ShowOpenedPicture(nullptr);
  return OpenResult::kOpened;
}

void SeriesBrowser::ToggleSources(bool vtxImageExists) {
  if (!state_->multiImageMode) return;
  state_->showSources = state_->showSources ? 0 : 1;
  view_->RenderShown(kRenderCached);
  if (state_->showSources || !vtxImageExists)
    ShowStatus(TextId::kUseArrows);
  else
    setStatus_(LangText(TextId::kPressF5));
}

void SeriesBrowser::Step(int direction) {
  SourceList& list = state_->sourceList;
  if (!state_->multiImageMode || !state_->showSources || list.count <= 0) return;
  if (direction < 0)
    list.index = list.index > 0 ? list.index - 1 : list.count - 1;
  else
    list.index = (list.index + 1) % list.count;
  std::filesystem::path path = list.entries[static_cast<size_t>(list.index)];
  if (OpenSourceImageAsking(*dialogs_, window_, state_, &path)) return;
  view_->RenderAndRepaint(kRenderRefresh, &state_->document.source, kSlotSource);
  ShowStatus(TextId::kArrowsOrF5);
}
