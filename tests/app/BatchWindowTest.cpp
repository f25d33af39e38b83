// The window's Batch command end to end on copies of the sample series: the dialog lists the
// series of a folder, Run fuses them in the background as melvaro-cli batch does, Abort stops
// between series with no partial file, and a failing series is reported while the others fuse.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "app/ProgressWindow.h"
#include "app/batch/BatchDialog.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/BatchCard.h"
#include "tests/cli/CliRunner.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class BatchWindowTest : public WindowTest {
 protected:
  // Runs the Batch command, `act` answering its dialog once it shows; false when none came.
  bool InBatchDialog(const std::function<void(BatchDialog&)>& act) {
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<BatchDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      poll.stop();
      shown = true;
      act(*dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    poll.start(5);
    window_->ExecuteCommand(CommandId::kBatch);
    return shown;
  }
  // Picks the card in the dialog and runs the batch.
  void RunCard() {
    dialogs_.folder = card_;
    ASSERT_TRUE(InBatchDialog([](BatchDialog& dialog) {
      dialog.AddFolderButton()->click();
      dialog.RunButton()->click();
    }));
    ASSERT_TRUE(window_->JobRunning());
  }
  bool WaitForTheEnd() {
    return QTest::qWaitFor([this] { return !window_->JobRunning() && !dialogs_.messages.empty(); },
                           60000);
  }

  TempFolder folder_;
  fs::path card_ = folder_ / "card";
};

}  // namespace

TEST_F(BatchWindowTest, TheSeriesOfAFolderAreListedThenFusedAsTheCommandLineFusesThem) {
  const auto series = batch_card::WriteCard(card_, 2);
  ASSERT_TRUE(Enabled(CommandId::kBatch));
  dialogs_.folder = card_;
  ASSERT_TRUE(InBatchDialog([&](BatchDialog& dialog) {
    EXPECT_FALSE(dialog.RunButton()->isEnabled());  // nothing chosen yet
    // Grouping and results each keep their own choice.
    EXPECT_TRUE(dialog.ByCapture()->isChecked());
    EXPECT_TRUE(dialog.Beside()->isChecked());
    dialog.AddFolderButton()->click();
    const QTreeWidget* list = dialog.SeriesList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    for (int s = 0; s < 2; ++s) {
      const QTreeWidgetItem* item = list->topLevelItem(s);
      EXPECT_EQ(item->text(2).toStdString(), batch_card::ResultBeside(series[s]).string());
      ASSERT_EQ(item->childCount(), 3);
      EXPECT_EQ(item->child(0)->text(0).toStdString(), series[s][0].filename().string());
    }
    EXPECT_EQ(list->topLevelItem(0)->text(3).toStdString(), "pause of 28 s");
    EXPECT_TRUE(dialog.RunButton()->isEnabled());
    dialog.RunButton()->click();
  }));
  // Running, the batch keeps another from starting and shows its progress.
  ASSERT_TRUE(window_->JobRunning());
  EXPECT_FALSE(Enabled(CommandId::kBatch));
  ASSERT_NE(window_->Progress(), nullptr);
  ASSERT_TRUE(WaitForTheEnd());
  EXPECT_EQ(dialogs_.messages, (std::vector<std::string>{"2 series fused"}));
  EXPECT_EQ(dialogs_.captions.back(), LangText(TextId::kBatchTitle));
  // With no picture open, the picture's commands stay off after the batch.
  EXPECT_TRUE(Enabled(CommandId::kBatch) && Enabled(CommandId::kOpen));
  EXPECT_FALSE(Enabled(CommandId::kSaveAs) || Enabled(CommandId::kToneMapping));

  // melvaro-cli batch over a copy of the card writes the very same files.
  const fs::path copy = folder_ / "copy";
  fs::create_directories(copy);
  for (const auto& files : series)
    for (const fs::path& file : files)
      fs::copy_file(file, copy / file.filename());
  TempFolder cli;
  const cli_test::CliRun run = cli_test::RunCli(cli, {"batch", copy.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  for (const auto& files : series) {
    const fs::path ours = batch_card::ResultBeside(files);
    EXPECT_EQ(ReadWholeFile(ours), ReadWholeFile(copy / ours.filename())) << ours;
  }
}

// Aligned and with ghosts removed at a chosen strength, a series comes out as melvaro-cli
// batch --align --deghost writes it.
TEST_F(BatchWindowTest, AlignedAndDeghostedAsTheCommandLineDoesIt) {
  const auto series = batch_card::WriteCard(card_, 1);
  dialogs_.folder = card_;
  ASSERT_TRUE(InBatchDialog([](BatchDialog& dialog) {
    EXPECT_FALSE(dialog.GhostStrength()->isEnabled());  // until ghosts are to be removed
    dialog.AddFolderButton()->click();
    dialog.Align()->setChecked(true);
    dialog.RemoveGhosts()->setChecked(true);
    ASSERT_TRUE(dialog.GhostStrength()->isEnabled());
    dialog.GhostStrength()->setValue(8);
    dialog.RunButton()->click();
  }));
  ASSERT_TRUE(WaitForTheEnd());
  EXPECT_EQ(dialogs_.messages, (std::vector<std::string>{"1 series fused"}));

  const fs::path copy = folder_ / "copy";
  fs::create_directories(copy);
  for (const fs::path& file : series[0])
    fs::copy_file(file, copy / file.filename());
  TempFolder cli;
  const cli_test::CliRun run =
      cli_test::RunCli(cli, {"batch", "--align", "--deghost", "8", copy.string()});
  ASSERT_EQ(run.status, 0) << run.errors;
  const fs::path ours = batch_card::ResultBeside(series[0]);
  EXPECT_EQ(ReadWholeFile(ours), ReadWholeFile(copy / ours.filename()));
}

TEST_F(BatchWindowTest, AbortStopsBetweenSeriesAndLeavesNoPartialFile) {
  const auto series = batch_card::WriteCard(card_, 3);
  const std::vector<std::string> pictures = FolderEntries(card_);
  RunCard();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return fs::exists(batch_card::ResultBeside(series[0])) || !window_->JobRunning(); },
      60000));
  ASSERT_NE(window_->Progress(), nullptr) << "the batch ended before it could be stopped";
  window_->Progress()->AbortButton()->click();
  ASSERT_TRUE(WaitForTheEnd());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_NE(dialogs_.messages[0].find("not run"), std::string::npos) << dialogs_.messages[0];

  // The pictures, the finished results and nothing else; the last series was not fused.
  EXPECT_FALSE(fs::exists(batch_card::ResultBeside(series[2])));
  for (const std::string& entry : FolderEntries(card_)) {
    if (std::find(pictures.begin(), pictures.end(), entry) != pictures.end()) continue;
    EXPECT_TRUE(entry == "IMG_0001-vtx.jpg" || entry == "IMG_0004-vtx.jpg") << entry;
    ScopedPicBuf result, mask;
    EXPECT_FALSE(LoadImageFile(result.get(), mask.get(), card_ / entry)) << entry;
  }
}

TEST_F(BatchWindowTest, AFailingSeriesIsReportedAndTheOthersAreFused) {
  const auto series = batch_card::WriteCard(card_, 2);
  // The middle picture of the first series lost its second half (its header is whole).
  const std::string bytes = ReadWholeFile(series[0][1]);
  WriteTextFile(series[0][1], bytes.substr(0, bytes.size() / 2));
  // The picture open in the window stays as it is, its commands with it.
  ASSERT_TRUE(OpenFile(kSunset));
  RunCard();
  ASSERT_TRUE(WaitForTheEnd());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  const std::string& summary = dialogs_.messages[0];
  EXPECT_TRUE(
      summary.starts_with("1 series fused, 1 failed: series 1: \"" + series[0][1].string() + "\""))
      << summary;
  EXPECT_FALSE(fs::exists(batch_card::ResultBeside(series[0])));
  EXPECT_TRUE(fs::exists(batch_card::ResultBeside(series[1])));
  EXPECT_EQ(window_->State().document.source.width, 1200);
  EXPECT_TRUE(Enabled(CommandId::kSaveAs) && Enabled(CommandId::kToneMapping));
}

// Pictures without capture data are counted off: the dialog asks how many make a series.
TEST_F(BatchWindowTest, PicturesWithoutCaptureDataAskForTheSeriesSize) {
  fs::create_directories(card_);
  for (int i = 0; i < 4; ++i)
    fs::copy_file(batch_card::SampleSeries(0)[i % 3], card_ / ("P" + std::to_string(i) + ".jpg"));
  dialogs_.openFiles = {card_ / "P0.jpg", card_ / "P1.jpg", card_ / "P2.jpg", card_ / "P3.jpg"};
  ASSERT_TRUE(InBatchDialog([](BatchDialog& dialog) {
    dialog.AddFilesButton()->click();
    EXPECT_TRUE(dialog.ByCount()->isChecked());
    EXPECT_TRUE(dialog.GroupSize()->isEnabled());
    EXPECT_FALSE(dialog.Notes()->text().isEmpty());
    EXPECT_EQ(dialog.SeriesList()->topLevelItemCount(), 2);  // three and one
    dialog.GroupSize()->setValue(2);
    EXPECT_EQ(dialog.SeriesList()->topLevelItemCount(), 2);
    EXPECT_EQ(dialog.SeriesList()->topLevelItem(1)->childCount(), 2);
    // Cleared, the choice is free again and shows what the dialog will do.
    dialog.ClearButton()->click();
    EXPECT_TRUE(dialog.ByCapture()->isEnabled() && dialog.ByCapture()->isChecked());
    // Cancel runs nothing.
  }));
  EXPECT_FALSE(window_->JobRunning());
  EXPECT_EQ(FolderEntries(card_).size(), 4u);
}
