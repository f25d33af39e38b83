// Background jobs: progress, Abort, their end, and messages posted from worker threads.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/CommandTable.h"
#include "app/DockPanel.h"
#include "app/ImageView.h"
#include "app/ProgressWindow.h"
#include "app/ToolPanel.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

// A job of 100 steps that waits for the test before each step, so that what the window
// shows can be checked between steps.
struct SteppedJob {
  std::atomic<int> allowed{0};
  std::atomic<int> done{0};
  std::atomic<bool> sawCancel{false};

  JobBody Body() {
    return [this](JobProgress& progress) {
      progress.SetRange(0, 100);
      for (int step = 1; step <= 100; ++step) {
        while (allowed.load() < step && !progress.CancelRequested())
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (progress.CancelRequested()) {
          sawCancel = true;
          return JobResult{JobEnd::kCancelled, {}};
        }
        progress.SetPosition(step);
        done = step;
      }
      return JobResult{};
    };
  }
};

class JobTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
    window_->Hooks().multiImagePanel = [this](PanelHost&) {
      ++panelsOpened_;
      return new ToolPanel();
    };
  }
  QString Label() const { return window_->Progress()->Label()->text(); }

  int panelsOpened_ = 0;
};

constexpr int kJobCommands[] = {kCmdOpen,         kCmdSaveAs,       kCmdMultiImage,
                                kCmdSingleImage,  kCmdToneMapping,  kCmdDaylightUp,
                                kCmdDaylightDown, kCmdSmartContrast};

TEST_F(JobTest, ProgressIsShownAndAbortStopsTheJob) {
  SteppedJob job;
  ASSERT_TRUE(window_->StartSeriesJob(job.Body(), kCmdSeriesReady));
  ProgressWindow* progress = window_->Progress();
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->parentWidget(), reinterpret_cast<QWidget*>(window_->Dock()));
  EXPECT_EQ(progress->AbortButton()->text().toStdString(), LangText(68));
  for (int command : kJobCommands)
    EXPECT_FALSE(window_->Commands().IsEnabled(command));
  EXPECT_FALSE(window_->Commands().Button(kCmdOpen)->shortcut().isEmpty());

  job.allowed = 10;
  ASSERT_TRUE(WaitFor([&] { return progress->Bar()->value() == 10; }));
  EXPECT_EQ(Label().toStdString(), LangText(14) + "10%");

  QTest::mouseClick(progress->AbortButton(), Qt::LeftButton);
  EXPECT_EQ(window_->State().cancelRequested, 1);
  EXPECT_EQ(Label().toStdString(), LangText(57));
  ASSERT_TRUE(WaitFor([&] { return window_->Progress() == nullptr; }));
  EXPECT_TRUE(job.sawCancel);
  EXPECT_EQ(job.done, 10);
  EXPECT_EQ(panelsOpened_, 0);  // no panel after an abort
  for (int command : kJobCommands)
    EXPECT_TRUE(window_->Commands().IsEnabled(command));
  // The opened picture is back, as source and as result.
  EXPECT_EQ(window_->State().document.source.width, 1200);
  EXPECT_TRUE(SameGeometry(window_->State().document.result, window_->State().document.source));
}

TEST_F(JobTest, AFinishedJobRunsItsDoneCommand) {
  SteppedJob job;
  job.allowed = 100;
  ASSERT_TRUE(window_->StartSeriesJob(job.Body(), kCmdSeriesReady));
  EXPECT_FALSE(window_->StartSeriesJob(job.Body(), kCmdSeriesReady));  // one at a time
  ASSERT_TRUE(WaitFor([&] { return window_->Progress() == nullptr; }));
  EXPECT_EQ(panelsOpened_, 1);
  EXPECT_NE(window_->ActivePanel(), nullptr);
  EXPECT_EQ(window_->State().showSources, 0);
}

TEST_F(JobTest, EndingAJobInASeriesKeepsTheSinglePictureCommandsOff) {
  window_->State().multiImageMode = 1;
  SteppedJob job;
  job.allowed = 100;
  window_->Hooks().multiImagePanel = nullptr;
  ASSERT_TRUE(window_->StartSeriesJob(job.Body(), kCmdSeriesReady));
  ASSERT_TRUE(WaitFor([&] { return window_->Progress() == nullptr; }));
  EXPECT_TRUE(window_->Commands().IsEnabled(kCmdOpen));
  EXPECT_TRUE(window_->Commands().IsEnabled(kCmdMultiImage));
  EXPECT_FALSE(window_->Commands().IsEnabled(kCmdSingleImage));
  EXPECT_FALSE(window_->Commands().IsEnabled(kCmdToneMapping));
}

TEST_F(JobTest, AFailedJobIsReportedAndTheSourceComesBack) {
  ASSERT_TRUE(window_->StartSeriesJob(
      [](JobProgress&) -> JobResult { throw std::runtime_error("disk full"); }, kCmdSeriesReady));
  ASSERT_TRUE(WaitFor([&] { return window_->Progress() == nullptr; }));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "disk full");
  EXPECT_EQ(panelsOpened_, 0);
}

TEST_F(JobTest, TheSeriesCommandGoesThroughTheNoiseQuestionToTheJob) {
  std::atomic<int> level{-1};
  int asked = 0;
  window_->Hooks().askNoiseLevel = [&](PanelHost&) {
    ++asked;
    EXPECT_FALSE(window_->Commands().IsEnabled(kCmdSingleImage));
    return asked == 1 ? -1 : 2;  // cancelled first, then "Medium"
  };
  window_->Hooks().bracketingJob = [&](AppState& state, int noise, JobProgress&) {
    level = noise;
    EXPECT_EQ(state.workPicture.width, 1200);
    return JobResult{};
  };
  window_->ExecuteCommand(kCmdSingleImage);
  EXPECT_EQ(window_->Progress(), nullptr);
  EXPECT_TRUE(window_->Commands().IsEnabled(kCmdSingleImage));  // back after the cancel
  window_->ExecuteCommand(kCmdSingleImage);
  ASSERT_TRUE(WaitFor([&] { return panelsOpened_ == 1; }));
  EXPECT_EQ(level, 2);
  EXPECT_EQ(window_->State().jobSourcePath, SamplePath("photos/sunset.jpg"));
}

TEST_F(JobTest, MessagesPostedFromAWorkerRunOnTheInterfaceThread) {
  std::thread worker([this] { window_->PostMessage(kMsgResultNotSaved); });
  worker.join();
  EXPECT_EQ(window_->State().resultUnsaved, 0);  // not yet: it was queued
  ASSERT_TRUE(WaitFor([&] { return window_->State().resultUnsaved == 1; }));
}

TEST_F(JobTest, APanelJobKeepsTheWindowBusyUntilThePanelReportsItsEnd) {
  std::atomic<bool> release{false};
  bool finished = false;
  AppState& state = window_->State();
  ASSERT_TRUE(window_->StartPanelJob(
      [&](JobProgress&) {
        while (!release)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CBxPicBufAPI::SetConst(&state.document.result, 0);
        return JobResult{};
      },
      [&](const JobResult&) {
        finished = true;
        window_->SendMessage(kMsgToneJobDone);
      }));
  EXPECT_EQ(state.busy, 1);
  EXPECT_TRUE(SameGeometry(state.workPicture, state.document.source));
  window_->ExecuteCommand(kCmdClose);  // ignored while busy
  EXPECT_NE(state.document.source.pixels, nullptr);
  release = true;
  ASSERT_TRUE(WaitFor([&] { return finished; }));
  EXPECT_EQ(state.busy, 0);
  EXPECT_EQ(state.resultUnsaved, 1);
  const QSize area = window_->ViewWidget()->size();
  EXPECT_EQ(SurfacePixel(area.width() / 2, area.height() / 2)[0], 0);  // the new result
}

TEST_F(JobTest, AnAbandonedPanelJobShowsTheWorkPictureAgain) {
  AppState& state = window_->State();
  ASSERT_TRUE(window_->StartPanelJob(
      [&](JobProgress&) {
        CBxPicBufAPI::SetConst(&state.document.result, 0);
        return JobResult{JobEnd::kCancelled, {}};
      },
      [&](const JobResult&) { window_->SendMessage(kMsgToneJobAbandoned); }));
  ASSERT_TRUE(WaitFor([&] { return state.busy == 0; }));
  EXPECT_EQ(state.resultUnsaved, 0);
  EXPECT_EQ(
      std::memcmp(RowPtr(state.document.result, 400), RowPtr(state.document.source, 400), 3 * 1200),
      0);
}

}  // namespace
