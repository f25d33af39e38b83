#pragma once
// Shared by the processing panels' end-to-end tests: a shown main window with its real panels,
// waiting for background jobs, screenshots into the build folder, and the saved result
// compared with what melvaro-cli writes for the same inputs and values.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/panels/PanelBase.h"
#include "tests/app/AppTestSupport.h"
#include "tests/cli/CliRunner.h"

// The bundled St. Louis exposures, 1408 x 1056, darkest first.
inline const std::filesystem::path kStLouis =
    std::filesystem::path(MELVARO_SAMPLES_DIR) / "bracketed" / "stlouis";
inline const std::vector<std::filesystem::path> kSeries = {
    kStLouis / "stlouis0.jpg", kStLouis / "stlouis1.jpg", kStLouis / "stlouis2.jpg",
    kStLouis / "stlouis3.jpg"};

class PanelWindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    window_ = std::make_unique<MainWindow>(&dialogs_);
    window_->resize(1000, 760);
    window_->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->ViewWidget()->width() > 100; }));
  }
  void TearDown() override { window_.reset(); }

  AppState& State() const { return window_->State(); }
  std::string Status() const { return window_->StatusText().toStdString(); }
  bool Enabled(CommandId command) const { return window_->Commands().IsEnabled(command); }
  bool JobEnded() const {
    return QTest::qWaitFor([this] { return !window_->JobRunning(); }, 120000);
  }
  // Previews are computed off the interface thread: true once the panel shows the newest.
  static bool PreviewShown(const PanelBase* panel) {
    return QTest::qWaitFor([panel] { return !panel->PreviewPending(); }, 120000);
  }
  void Screenshot(const char* name) {
    QApplication::processEvents();
    EXPECT_TRUE(window_->grab().save(QString(MELVARO_TEST_OUTPUT_DIR "/") + name));
  }
  // Saves the result as TIFF through Save As; melvaro-cli run with `arguments` (its output
  // option added) must write the same samples.
  void ExpectSavedAsCli(const std::string& name, std::vector<std::string> arguments) {
    const std::filesystem::path saved = TempPath(name);
    dialogs_.saveAnswer = SaveDialogAnswer{saved, 2, 85};
    window_->ExecuteCommand(CommandId::kSaveAs);
    ASSERT_EQ(State().resultUnsaved, 0);
    const std::filesystem::path out = cli_.path() / ("cli-" + name);
    arguments.insert(arguments.begin() + 1, {"-o", out.string()});
    cli_test::CliProcess run(cli_, arguments);
    ASSERT_EQ(run.Wait(), 0) << run.errorText;
    ScopedPicBuf ours, theirs, mask;
    ASSERT_FALSE(LoadImageFile(ours.get(), mask.get(), saved));
    ASSERT_FALSE(LoadImageFile(theirs.get(), mask.get(), out));
    EXPECT_TRUE(SameSamples(*ours, *theirs)) << name;
  }

  FakeDialogs dialogs_;
  std::unique_ptr<MainWindow> window_;
  TempFolder cli_;
};
