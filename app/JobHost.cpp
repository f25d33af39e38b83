#include "app/JobHost.h"

#include "app/DockPanel.h"
#include "app/JobRunner.h"
#include "app/PanelHost.h"
#include "app/ProgressWindow.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "app/state/AppState.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "settings/TextTable.h"

JobHost::JobHost(PanelHost& host, DockPanel* dock, QObject* parent)
    : QObject(parent),
      host_(host),
      dock_(dock),
      progress_(new ProgressAdapter(this)),
      seriesJob_(new JobRunner(this)),
      panelJob_(new JobRunner(this)) {
  progress_->WatchCancelFlag(&host_.State().cancelRequested);
}

bool JobHost::Running() const {
  return seriesJob_->Running() || panelJob_->Running();
}

void JobHost::StopAndWait() {
  host_.State().cancelRequested = 1;
  seriesJob_->Wait();
  panelJob_->Wait();
}

void JobHost::OpenProgressWindow() {
  progressWindow_ = new ProgressWindow(&host_.State().cancelRequested, dock_);
  dock_->AddPanel(progressWindow_);
  host_.DisableCommandsForPanel();
  progress_->Attach(progressWindow_, [window = progressWindow_](const ProgressReport& report) {
    window->ShowReport(report);
  });
}

void JobHost::CloseProgressWindow() {
  if (progressWindow_ == nullptr) return;
  progress_->Detach();
  dock_->RemovePanel(progressWindow_);
  delete progressWindow_;
  progressWindow_ = nullptr;
  host_.RestoreCommands();
}

bool JobHost::StartProgressJob(JobBody body, Finished finished) {
  if (Running()) return false;
  OpenProgressWindow();
  AppState& state = host_.State();
  state.cancelRequested = 0;
  host_.SendMessage(AppMessage::kWaitCursor);
  seriesJob_->Start(std::move(body), progress_,
                    [this, &state, finished = std::move(finished)](const JobResult& result) {
                      CloseProgressWindow();
                      host_.SendMessage(AppMessage::kArrowCursor);
                      JobResult ended = result;
                      if (state.cancelRequested && ended.end == JobEnd::kFinished)
                        ended.end = JobEnd::kCancelled;
                      if (finished) finished(ended);
                    });
  return true;
}

bool JobHost::StartSeriesJob(JobBody body, CommandId doneCommand) {
  if (Running()) return false;
  host_.SetStatusText({});
  const bool started = StartProgressJob(
      std::move(body),
      [this, doneCommand](const JobResult& result) { SeriesJobEnded(result, doneCommand); });
  if (started) {
    progressWindow_->SetTitle(UiText(TextId::kPreparingImages));
    dock_->LayOut();
  }
  return started;
}

void JobHost::SeriesJobEnded(const JobResult& result, CommandId doneCommand) {
  if (result.end == JobEnd::kFinished) {
    host_.SendCommand(doneCommand);
    return;
  }
  ReloadJobSource();
  if (result.end == JobEnd::kFailed && !result.message.empty())
    host_.Dialogs().ShowMessage(host_.Window(), LangText(TextId::kWarning), result.message,
                                MessageIcon::kWarning);
}

// After an aborted or failed series the picture the user opened comes back, as it was on
// disk, and is what the view and Save As see.
void JobHost::ReloadJobSource() {
  AppState& state = host_.State();
  ImageDocument& document = state.document;
  if (!state.jobSourcePath.empty()) {
    std::filesystem::path loaded;
    if (!OpenSourceImage(&document, state.jobSourcePath, &loaded)) state.currentFilePath = loaded;
  }
  if (document.source.pixels != nullptr) {
    CBxPicBufAPI::ReinitHeap(&document.result, &document.source);
    CBxPicBufAPI::Copy(&document.result, &document.source);
  }
  host_.SendMessage(AppMessage::kRedraw);
}

bool JobHost::StartPanelJob(JobBody body, Finished finished, QObject* display,
                            ProgressAdapter::Show show) {
  if (Running()) return false;
  AppState& state = host_.State();
  CBxPicBufAPI::ReinitHeap(&state.workPicture, &state.document.source);
  CBxPicBufAPI::Copy(&state.workPicture, &state.document.source);
  state.cancelRequested = 0;
  state.busy = 1;
  progress_->Attach(display, std::move(show));
  panelJob_->Start(std::move(body), progress_,
                   [this, finished = std::move(finished)](const JobResult& result) {
                     progress_->Detach();
                     host_.SendMessage(AppMessage::kRedraw);
                     if (finished) finished(result);
                   });
  return true;
}
