// Background jobs: progress, Abort, their end, and messages posted from worker threads.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/DockPanel.h"
#include "app/JobHost.h"
#include "app/ProgressAdapter.h"
#include "app/ProgressWindow.h"
#include "app/panels/NoiseLevelDialog.h"
#include "settings/TextTable.h"
#include "single/SeriesJobSupport.h"
#include "tests/app/AppTestSupport.h"

namespace {

// A job that reports 10 % and then waits until `release` is set or Abort is pressed.
JobBody WaitingJob(const std::atomic<bool>& release) {
  return [&release](JobProgress& progress) {
    progress.SetRange(0, 100);
    progress.SetPosition(10);
    while (!release && !progress.CancelRequested())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return JobResult{progress.CancelRequested() ? JobEnd::kCancelled : JobEnd::kFinished, {}};
  };
}

class JobTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(OpenFile(kSunset));
  }
  bool Ended() const { return window_->Progress() == nullptr; }
};

constexpr CommandId kJobCommands[] = {CommandId::kOpen,         CommandId::kSaveAs,
                                      CommandId::kMultiImage,   CommandId::kSingleImage,
                                      CommandId::kToneMapping,  CommandId::kDaylightUp,
                                      CommandId::kDaylightDown, CommandId::kSmartContrast};

TEST_F(JobTest, ProgressIsShownAndAbortStopsTheJob) {
  std::atomic<bool> release{false};
  ASSERT_TRUE(window_->Jobs().StartSeriesJob(WaitingJob(release), CommandId::kSeriesReady));
  ProgressWindow* progress = window_->Progress();
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->parentWidget(), reinterpret_cast<QWidget*>(window_->Dock()));
  for (CommandId command : kJobCommands)
    EXPECT_FALSE(Enabled(command)) << static_cast<int>(command);
  ASSERT_TRUE(QTest::qWaitFor([&] { return progress->Bar()->value() == 10; }));
  EXPECT_EQ(progress->Label()->text().toStdString(), LangText(TextId::kProgress) + "10%");

  QTest::mouseClick(progress->AbortButton(), Qt::LeftButton);
  EXPECT_EQ(window_->State().cancelRequested, 1);
  EXPECT_EQ(progress->Label()->text().toStdString(), LangText(TextId::kCanceling));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
  EXPECT_EQ(panelsOpened_, 0);  // no panel after an abort
  for (CommandId command : kJobCommands)
    EXPECT_TRUE(Enabled(command)) << static_cast<int>(command);
  // The opened picture is back, as source and as result.
  EXPECT_EQ(window_->State().document.source.width, 1200);
  EXPECT_TRUE(SameGeometry(window_->State().document.result, window_->State().document.source));
}

// The series jobs prepare their window with its title; a panel's own job has none.
TEST_F(JobTest, TheProgressWindowOfASeriesSaysItIsPreparingImages) {
  const auto titled = [this] {
    for (const QLabel* label : window_->Progress()->findChildren<QLabel*>())
      if (label->isVisibleTo(window_->Progress()) &&
          label->text().toStdString() == LangText(TextId::kPreparingImages))
        return true;
    return false;
  };
  std::atomic<bool> release{false};
  ASSERT_TRUE(window_->Jobs().StartSeriesJob(WaitingJob(release), CommandId::kSeriesReady));
  EXPECT_TRUE(titled());
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
  window_->ClosePanel(window_->ActivePanel());
  release = false;
  ASSERT_TRUE(window_->Jobs().StartProgressJob(WaitingJob(release), nullptr));
  EXPECT_FALSE(titled());
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
}

TEST_F(JobTest, AFailedJobIsReportedAndAFinishedOneRunsItsDoneCommand) {
  // A job that throws is a failure told in the text table's words, not the exception's.
  ASSERT_TRUE(window_->Jobs().StartSeriesJob(
      [](JobProgress&) -> JobResult { throw std::runtime_error("disk full"); },
      CommandId::kSeriesReady));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
  ASSERT_TRUE(window_->Jobs().StartSeriesJob(
      [](JobProgress&) -> JobResult { throw std::bad_alloc(); }, CommandId::kSeriesReady));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
  EXPECT_EQ(dialogs_.messages, (std::vector<std::string>{LangText(TextId::kJobFailed),
                                                         LangText(TextId::kJobOutOfMemory)}));
  EXPECT_EQ(panelsOpened_, 0);

  std::atomic<bool> release{false};
  ASSERT_TRUE(window_->Jobs().StartSeriesJob(WaitingJob(release), CommandId::kSeriesReady));
  EXPECT_FALSE(window_->Jobs().StartSeriesJob(WaitingJob(release),
                                              CommandId::kSeriesReady));  // one at a time
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
  EXPECT_EQ(panelsOpened_, 1);
  EXPECT_NE(window_->ActivePanel(), nullptr);
  EXPECT_EQ(window_->State().showSources, 0);
}

TEST_F(JobTest, TheSeriesCommandAsksTheNoiseLevelThenRunsItsJob) {
  std::vector<int> answers{2, -1};  // cancelled first, then "Medium"
  std::atomic<int> level{-1};
  window_->Hooks().askNoiseLevel = [&](PanelHost&) {
    const int answer = answers.back();
    answers.pop_back();
    return answer;
  };
  window_->Hooks().seriesJob = [&](AppState&, const SeriesRequest& request, JobProgress&) {
    level = static_cast<int>(request.denoiseLevel);
    return JobResult{};
  };
  window_->ExecuteCommand(CommandId::kSingleImage);
  EXPECT_TRUE(Ended() && Enabled(CommandId::kSingleImage));  // back after the cancel
  window_->ExecuteCommand(CommandId::kSingleImage);
  ASSERT_TRUE(QTest::qWaitFor([&] { return panelsOpened_ == 1; }));
  EXPECT_EQ(level, 2);
  EXPECT_EQ(window_->State().jobSourcePath, kSunset);
}

TEST_F(JobTest, MessagesPostedFromAWorkerRunOnTheInterfaceThread) {
  std::thread worker([this] { window_->PostMessage(AppMessage::kResultNotSaved); });
  worker.join();
  EXPECT_EQ(window_->State().resultUnsaved, 0);  // not yet: it was queued
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->State().resultUnsaved == 1; }));
}

TEST_F(JobTest, APanelJobKeepsTheWindowBusyUntilThePanelReportsItsEnd) {
  AppState& state = window_->State();
  // Abandoned: the work picture is shown again.
  ASSERT_TRUE(window_->Jobs().StartPanelJob(
      [&](JobProgress&) {
        CBxPicBufAPI::SetConst(&state.document.result, 0);
        return JobResult{JobEnd::kCancelled, {}};
      },
      [&](const JobResult&) { window_->SendMessage(AppMessage::kToneJobAbandoned); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.busy == 0; }));
  EXPECT_EQ(state.resultUnsaved, 0);
  EXPECT_EQ(
      std::memcmp(RowPtr(state.document.result, 400), RowPtr(state.document.source, 400), 3 * 1200),
      0);

  // Done: the new result is shown and unsaved.
  std::atomic<bool> release{false};
  ASSERT_TRUE(window_->Jobs().StartPanelJob(
      [&](JobProgress&) {
        while (!release)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CBxPicBufAPI::SetConst(&state.document.result, 0);
        return JobResult{};
      },
      [&](const JobResult&) { window_->SendMessage(AppMessage::kToneJobDone); }));
  EXPECT_EQ(state.busy, 1);
  window_->ExecuteCommand(CommandId::kClose);  // ignored while busy
  EXPECT_NE(state.document.source.pixels, nullptr);
  release = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return state.busy == 0; }));
  EXPECT_EQ(state.resultUnsaved, 1);
  EXPECT_EQ(CentrePixel()[0], 0);
}

// A family's job as the daylight series reports it: 39 steps on a 0..40 range, each with its
// own text (5 % at the first file, 100 % at the last), blanked once the job sees the cancel.
// Step n waits until `release` exceeds n; a cancelled job ends once `release` reaches 100.
JobBody FamilyJob(const std::atomic<int>& release) {
  return [&release](JobProgress& progress) {
    const SeriesTexts texts{LangText(TextId::kProgressStart), LangText(TextId::kProgress)};
    progress.SetRange(0, 40);
    progress.SetText(texts.preparing);
    for (int count = 0; count < 39; ++count) {
      while (release <= count && !progress.CancelRequested())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ReportSeriesProgress(&progress, texts, 5 * count / 2 + 5, count + 1);
      if (!progress.CancelRequested()) continue;
      while (release < 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return JobResult{JobEnd::kCancelled, {}};
    }
    return JobResult{};
  };
}

TEST_F(JobTest, TheLabelShowsTheJobsOwnStepsAndAbortIsBlankedAtTheJobsNextStep) {
  std::atomic<int> release{0};
  ASSERT_TRUE(window_->Jobs().StartSeriesJob(FamilyJob(release), CommandId::kDaylightReady));
  ProgressWindow* progress = window_->Progress();
  ASSERT_NE(progress, nullptr);
  const auto label = [&] { return progress->Label()->text().toStdString(); };
  const auto shows = [&](int percent, int bar) {
    return QTest::qWaitFor([&] {
      return label() == LangText(TextId::kProgress) + std::to_string(percent) + "%" &&
             progress->Bar()->value() == bar;
    });
  };
  release = 1;  // the first file: the job says 5 %, the bar stands at 1 of 40
  EXPECT_TRUE(shows(5, 2)) << label();
  release = 4;  // the fourth: 12 %, where the bar's own percentage would read 10
  EXPECT_TRUE(shows(12, 10)) << label();

  QTest::mouseClick(progress->AbortButton(), Qt::LeftButton);
  EXPECT_EQ(label(), LangText(TextId::kCanceling));
  // The job's next step sees the cancel and blanks the label.
  EXPECT_TRUE(QTest::qWaitFor([&] { return label().empty(); })) << label();
  release = 100;
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(); }));
  EXPECT_EQ(panelsOpened_, 0);
}

TEST_F(JobTest, ProgressFromAWorkerIsShownLatestFirstWithoutFloodingTheWindow) {
  ProgressAdapter adapter;
  QObject display;
  std::vector<ProgressReport> shown;
  adapter.Attach(&display, [&](const ProgressReport& report) { shown.push_back(report); });
  std::thread worker([&] {
    adapter.SetRange(0, 200000);
    for (int i = 0; i < 200000; ++i)
      adapter.Advance(1);
    adapter.SetText("done");
  });
  worker.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(shown.size(), 1u);  // every report waited behind one queued call
  EXPECT_EQ(shown.back().position, 200000);
  EXPECT_EQ(shown.back().Percent(), 100);
  EXPECT_EQ(shown.back().text, "done");

  // A display that is gone is shown nothing.
  auto* gone = new QObject;
  adapter.Attach(gone, [&](const ProgressReport& report) { shown.push_back(report); });
  adapter.SetPosition(5);
  delete gone;
  QCoreApplication::processEvents();
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(JobTest, TheNoiseQuestionIsDockedWhileTheWindowKeepsAnswering) {
  std::atomic<int> level{-1};
  window_->Hooks().seriesJob = [&](AppState&, const SeriesRequest& request, JobProgress&) {
    level = static_cast<int>(request.denoiseLevel);
    return JobResult{};
  };
  bool asked = false;
  QTimer::singleShot(0, [&] {
    auto* question = dynamic_cast<NoiseLevelDialog*>(window_->ActivePanel());
    ASSERT_NE(question, nullptr);
    asked = true;
    EXPECT_EQ(question->parentWidget(), reinterpret_cast<QWidget*>(window_->Dock()));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (CommandId command : kJobCommands)
      EXPECT_FALSE(Enabled(command)) << static_cast<int>(command);
    // The window runs: its view zooms and a message from a worker is handled.
    const double zoom = window_->View().zoom;
    window_->ExecuteCommand(CommandId::kZoomIn);
    EXPECT_DOUBLE_EQ(window_->View().zoom, zoom * 1.2);
    std::thread([this] { window_->PostMessage(AppMessage::kResultNotSaved); }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_->State().resultUnsaved == 1; }));
    question->Levels()->setCurrentIndex(3);
    QTest::keyClick(window_->ViewWidget(), Qt::Key_Return);  // Enter is OK, from the view too
  });
  window_->State().resultUnsaved = 0;
  window_->ExecuteCommand(CommandId::kSingleImage);
  EXPECT_TRUE(asked);
  ASSERT_TRUE(QTest::qWaitFor([&] { return panelsOpened_ == 1; }));
  EXPECT_EQ(level, 3);
  EXPECT_EQ(window_->Dock()->Panels().size(), 1u);  // the question is gone, the panel docked
}

}  // namespace
