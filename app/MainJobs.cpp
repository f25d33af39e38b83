// The main window's side of background jobs: the progress window and the job's end.
#include "app/CommandTable.h"
#include "app/DockPanel.h"
#include "app/ImageView.h"
#include "app/JobRunner.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/ProgressWindow.h"
#include "app/RenderView.h"
#include "app/UiText.h"
#include "app/UserDialogs.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "settings/TextTable.h"

bool MainWindow::JobRunning() const {
  return seriesJob_->Running() || panelJob_->Running();
}

void MainWindow::OpenProgressWindow() {
  progress_ = new ProgressWindow(&state_.cancelRequested, dock_);
  dock_->AddPanel(progress_);
  commands_->Apply(EnablingEvent::kProcessing);
  reporter_->Attach(progress_);
}

void MainWindow::CloseProgressWindow() {
  if (progress_ == nullptr) return;
  reporter_->Attach(nullptr);
  dock_->RemovePanel(progress_);
  delete progress_;
  progress_ = nullptr;
  commands_->Apply(EnablingEvent::kProcessingEnded, state_.multiImageMode != 0);
}

bool MainWindow::StartProgressJob(JobBody body, std::function<void(const JobResult&)> finished) {
  if (JobRunning()) return false;
  OpenProgressWindow();
  state_.cancelRequested = 0;
  reporter_->WatchCancelFlag(&state_.cancelRequested);
  SetWindowCursor(Qt::WaitCursor);
  seriesJob_->Start(std::move(body), reporter_,
                    [this, finished = std::move(finished)](const JobResult& result) {
                      CloseProgressWindow();
                      SetWindowCursor(Qt::ArrowCursor);
                      JobResult ended = result;
                      if (state_.cancelRequested && ended.end == JobEnd::kFinished)
                        ended.end = JobEnd::kCancelled;
                      if (finished) finished(ended);
                    });
  return true;
}

bool MainWindow::StartSeriesJob(JobBody body, CommandId doneCommand) {
  if (JobRunning()) return false;
  SetStatusText({});
  const bool started = StartProgressJob(
      std::move(body),
      [this, doneCommand](const JobResult& result) { SeriesJobEnded(result, doneCommand); });
  if (started) {
    progress_->SetTitle(UiText(TextId::kPreparingImages));
    dock_->LayOut();
  }
  return started;
}

void MainWindow::SeriesJobEnded(const JobResult& result, CommandId doneCommand) {
  if (result.end == JobEnd::kFinished) {
    ExecuteCommand(doneCommand);
    return;
  }
  ReloadJobSource();
  if (result.end == JobEnd::kFailed && !result.message.empty())
    dialogs_->ShowMessage(this, LangText(TextId::kWarning), result.message, MessageIcon::kWarning);
}

// After an aborted or failed series the picture the user opened comes back, as it was on
// disk, and is what the view and Save As see.
void MainWindow::ReloadJobSource() {
  ImageDocument& document = state_.document;
  if (!state_.jobSourcePath.empty()) {
    std::filesystem::path loaded;
    if (!OpenSourceImage(&document, state_.jobSourcePath, &loaded)) state_.currentFilePath = loaded;
  }
  if (document.source.pixels != nullptr) {
    CBxPicBufAPI::ReinitHeap(&document.result, &document.source);
    CBxPicBufAPI::Copy(&document.result, &document.source);
  }
  imageView_->RefreshBothCaches();
}

bool MainWindow::StartPanelJob(JobBody body, std::function<void(const JobResult&)> finished) {
  if (JobRunning()) return false;
  CBxPicBufAPI::ReinitHeap(&state_.workPicture, &state_.document.source);
  CBxPicBufAPI::Copy(&state_.workPicture, &state_.document.source);
  state_.busy = 1;
  panelJob_->Start(std::move(body), reporter_,
                   [this, finished = std::move(finished)](const JobResult& result) {
                     HandleMessage(AppMessage::kRedraw);
                     if (finished) finished(result);
                   });
  return true;
}
