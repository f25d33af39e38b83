#pragma once

#include <QObject>
#include <functional>

#include "app/Jobs.h"
#include "app/Messages.h"
#include "app/ProgressAdapter.h"

class DockPanel;
class JobRunner;
class PanelHost;
class ProgressWindow;

// The window's background jobs: one at a time on a worker thread, their progress in the
// progress window docked at the right (or in a panel's own bar), "Abort", and what happens
// when a series job ends. The main window owns it; panels reach it through
// PanelHost::Jobs(). Every call is made on the user-interface thread.
class JobHost : public QObject {
  Q_OBJECT

 public:
  using Finished = std::function<void(const JobResult&)>;

  // `host` is the window the jobs work for; the progress window docks in `dock`.
  JobHost(PanelHost& host, DockPanel* dock, QObject* parent);

  // A panel's job (the tone job), its progress shown with `show` while `display` exists: the
  // work picture is first made a copy of the source and `busy` is set; "Abort" is the
  // panel's, through AppState::cancelRequested. When the body returns the view is refreshed
  // and `finished` runs; the panel then sends AppMessage::kToneJobDone or
  // AppMessage::kToneJobAbandoned. False when a job runs already.
  bool StartPanelJob(JobBody body, Finished finished, QObject* display = nullptr,
                     ProgressAdapter::Show show = {});

  // A series job with the progress window ("Abort" sets AppState::cancelRequested). When it
  // finishes without being cancelled, `doneCommand` (CommandId::kSeriesReady or
  // CommandId::kDaylightReady) runs; otherwise the source is reloaded from
  // AppState::jobSourcePath and a failure is reported.
  bool StartSeriesJob(JobBody body, CommandId doneCommand);

  // A panel's long work (the full-size fusion of OK) with the progress window and "Abort".
  // `finished` runs once the progress window is gone; the result's end is kCancelled when
  // the user aborted. False when a job runs already.
  bool StartProgressJob(JobBody body, Finished finished);

  bool Running() const;
  ProgressWindow* Progress() const { return progressWindow_; }

  // Asks a running job to stop and waits until it has; its `finished` is then not called.
  // The window calls it before it releases the state the jobs work on (destroying the host
  // later only waits).
  void StopAndWait();

 private:
  void OpenProgressWindow();
  void CloseProgressWindow();
  void SeriesJobEnded(const JobResult& result, CommandId doneCommand);
  void ReloadJobSource();

  PanelHost& host_;
  DockPanel* dock_;
  ProgressAdapter* progress_;
  JobRunner* seriesJob_;
  JobRunner* panelJob_;
  ProgressWindow* progressWindow_ = nullptr;
};
