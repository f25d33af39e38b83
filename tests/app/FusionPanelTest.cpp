// The fusion panels end to end on the bundled pictures: open, command, rectangle, slider,
// OK, Save As; Cancel and Abort; series files that cannot be fused. What the window saves
// is compared with what melvaro-cli writes for the same files and values.
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <memory>

#include "app/ProgressWindow.h"
#include "app/panels/FusionPanel.h"
#include "app/panels/NoiseLevelDialog.h"
#include "jobs/ProgramFolders.h"
#include "jobs/SeriesPipeline.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/PanelTestSupport.h"

namespace {

namespace fs = std::filesystem;

class FusionPanelTest : public PanelWindowTest {
 protected:
  FusionPanel* Panel() const { return dynamic_cast<FusionPanel*>(window_->ActivePanel()); }
  bool Open(const fs::path& path) {
    dialogs_.openFile = path;
    window_->ExecuteCommand(CommandId::kOpen);
    return State().document.source.pixels != nullptr;
  }
  // Answers the noise question with `level` once it is asked.
  void AnswerNoiseLevel(int level) {
    QTimer::singleShot(0, [this, level] {
      auto* dialog = dynamic_cast<NoiseLevelDialog*>(window_->ActivePanel());
      ASSERT_NE(dialog, nullptr);
      dialog->Levels()->setCurrentIndex(level);
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text().toStdString() == LangText(TextId::kOk)) button->click();
    });
  }
  // Whether the result holds the source's samples at a picture point.
  bool ResultShowsSourceAt(int x, int y) const {
    const ImageDocument& d = State().document;
    const size_t bytes = d.source.components * d.source.bitsPerComponent / 8;
    return std::memcmp(RowPtr(d.result, y) + x * bytes, RowPtr(d.source, y) + x * bytes, bytes) ==
           0;
  }
  QPoint ViewPointOf(int x, int y) const {
    int vx = 0, vy = 0;
    ViewMap(window_->View()).MapPointSrcToDst(&vx, &vy, x, y);
    return {vx, vy};
  }
};

TEST_F(FusionPanelTest, MultiImagePreviewFollowsTheRectangleAndTheSliderAndOkMatchesFuse) {
  dialogs_.openFiles = kSeries;
  window_->ExecuteCommand(CommandId::kMultiImage);
  FusionPanel* panel = Panel();
  ASSERT_NE(panel, nullptr);
  const CBxRect rect = panel->Model().IntegerRect();
  EXPECT_EQ(window_->View().previewRect, &panel->Model().IntegerRect());
  EXPECT_EQ(std::make_pair(rect.Width(), rect.Height()), std::make_pair(500, 500));
  EXPECT_EQ(panel->PreviewRuns(), 1);
  EXPECT_EQ(panel->Value(), 100);
  EXPECT_FALSE(Enabled(CommandId::kOpen) || Enabled(CommandId::kMultiImage) ||
               Enabled(CommandId::kSaveAs));
  // The fused preview inside the rectangle, the source around it.
  ASSERT_TRUE(PreviewShown(panel));
  EXPECT_FALSE(ResultShowsSourceAt(rect.left + 250, rect.top + 250));
  EXPECT_TRUE(ResultShowsSourceAt(rect.left > 0 ? rect.left - 1 : rect.right, rect.top));

  // Dragging the rectangle re-fuses on release; a click without a move does not.
  const QPoint inside = ViewPointOf(rect.left + 100, rect.top + 100);
  ASSERT_TRUE(panel->ViewMousePress(inside));
  EXPECT_TRUE(panel->ViewMouseMove(inside + QPoint(-30, -20), true));
  panel->ViewMouseRelease(inside);
  EXPECT_EQ(panel->PreviewRuns(), 2);
  EXPECT_NE(panel->Model().IntegerRect().left, rect.left);
  ASSERT_TRUE(panel->ViewMousePress(inside));
  panel->ViewMouseRelease(inside);
  EXPECT_EQ(panel->PreviewRuns(), 2);
  EXPECT_FALSE(panel->ViewMousePress(ViewPointOf(5, 5)));  // outside: the view pans

  // Keys on the slider: a line steps 2, a page 1; Set Default goes back to 100.
  QTest::keyClick(panel->Slider(), Qt::Key_Up);
  EXPECT_EQ(panel->Value(), 102);
  QTest::keyClick(panel->Slider(), Qt::Key_PageUp);
  EXPECT_EQ(panel->Value(), 103);
  EXPECT_EQ(panel->ValueLabel()->text(), QStringLiteral("103"));
  EXPECT_EQ(panel->PreviewRuns(), 4);
  panel->SetDefault();
  EXPECT_EQ(panel->Value(), 100);

  // The arrow keys browse the series while the panel is open.
  QTest::keyClick(window_.get(), Qt::Key_Left);
  EXPECT_EQ(State().sourceList.index, 3);
  EXPECT_EQ(Status(), LangText(TextId::kShowing) + " 4 " + LangText(TextId::kOf) + " 4. " +
                          LangText(TextId::kUseArrows));
  QTest::keyClick(window_.get(), Qt::Key_Right);
  EXPECT_EQ(State().sourceList.index, 0);
  // F5 shows the pictures and back; no VTX image exists yet to be offered.
  QTest::keyClick(window_.get(), Qt::Key_F5);
  EXPECT_EQ(State().showSources, 1);
  QTest::keyClick(window_.get(), Qt::Key_F5);
  EXPECT_EQ(State().showSources, 0);
  EXPECT_EQ(Status(), LangText(TextId::kShowing) + " 1 " + LangText(TextId::kOf) + " 4. " +
                          LangText(TextId::kUseArrows));
  for (int i = 0; i < 5; ++i)
    QTest::keyClick(panel->Slider(), Qt::Key_Up);
  EXPECT_EQ(panel->Value(), 110);
  ASSERT_TRUE(PreviewShown(dynamic_cast<PanelBase*>(window_->ActivePanel())));
  Screenshot("multi-image-panel.png");

  QTest::keyClick(window_.get(), Qt::Key_Return);  // OK is the default
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(window_->View().previewRect, nullptr);
  EXPECT_EQ(State().resultUnsaved, 1);
  EXPECT_EQ(Status(), LangText(TextId::kPressF5));
  EXPECT_EQ(ReadSetting(setting::kMultiImageExposure), 110);
  EXPECT_TRUE(Enabled(CommandId::kOpen) && Enabled(CommandId::kSaveAs) &&
              !Enabled(CommandId::kSingleImage));
  ExpectSavedAsCli("multi.tif",
                   {"fuse", "--exposure", "110", kSeries[0], kSeries[1], kSeries[2], kSeries[3]});
}

TEST_F(FusionPanelTest, AbortKeepsThePanelAndItsPreviewCancelClosesTheSeries) {
  WriteSetting(setting::kMultiImageExposure.key, "200");  // limited to 160
  dialogs_.openFiles = kSeries;
  window_->ExecuteCommand(CommandId::kMultiImage);
  FusionPanel* panel = Panel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Value(), 160);
  panel->Ok();
  ASSERT_NE(window_->Progress(), nullptr);
  EXPECT_FALSE(panel->CancelButton()->isEnabled());
  window_->Progress()->AbortButton()->click();
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(Panel(), panel);  // still open, ready for another try
  EXPECT_TRUE(panel->OkButton()->isEnabled());
  EXPECT_EQ(State().resultUnsaved, 0);
  EXPECT_FALSE(Enabled(CommandId::kOpen));

  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(State().document.source.pixels, nullptr);  // the series is closed
  EXPECT_EQ(State().resultUnsaved, 0);
}

TEST_F(FusionPanelTest, SingleImageAsksTheLevelMakesTheSeriesAndRestoresTheSourceAfterOk) {
  ASSERT_TRUE(Open(kSunset));
  ScopedPicBuf original;
  CBxPicBufAPI::ReinitHeap(original.get(), &State().document.source);
  CBxPicBufAPI::Copy(original.get(), &State().document.source);
  AnswerNoiseLevel(2);
  window_->ExecuteCommand(CommandId::kSingleImage);
  EXPECT_EQ(ReadSetting(setting::kDenoiseStrength), 2);
  ASSERT_TRUE(JobEnded());
  FusionPanel* panel = Panel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(State().sourceList.count, 11);
  EXPECT_EQ(Status(), LangText(TextId::kDragHint));
  ASSERT_TRUE(PreviewShown(dynamic_cast<PanelBase*>(window_->ActivePanel())));
  Screenshot("single-image-panel.png");
  QTest::keyClick(window_->ViewWidget(), Qt::Key_Enter);  // the panel's OK, from the view too
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(Status(), LangText(TextId::kRightClickHint));
  EXPECT_EQ(State().currentFilePath, kSunset);
  EXPECT_TRUE(SameSamples(State().document.source, *original));
  EXPECT_TRUE(Enabled(CommandId::kSingleImage));
  ExpectSavedAsCli("single.tif", {"single", "--denoise", "medium", kSunset});
}

TEST_F(FusionPanelTest, AbortDuringTheSeriesLeavesTheSourceAndNoSeriesFiles) {
  ASSERT_TRUE(Open(kSunset));
  AnswerNoiseLevel(3);
  window_->ExecuteCommand(CommandId::kSingleImage);
  ASSERT_NE(window_->Progress(), nullptr);
  window_->Progress()->AbortButton()->click();
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_NE(State().document.source.pixels, nullptr);
  EXPECT_EQ(State().resultUnsaved, 0);
  EXPECT_TRUE(Enabled(CommandId::kSingleImage) && Enabled(CommandId::kOpen));
  std::error_code error;
  EXPECT_TRUE(fs::is_empty(TemporaryFolder(), error) || !fs::exists(TemporaryFolder()));
  // Cancelling the question starts nothing.
  QTimer::singleShot(0, [this] { QTest::keyClick(window_->ActivePanel(), Qt::Key_Escape); });
  window_->ExecuteCommand(CommandId::kSingleImage);
  EXPECT_FALSE(window_->JobRunning());
  EXPECT_TRUE(Enabled(CommandId::kSingleImage));
}

TEST_F(FusionPanelTest, DaylightLimitsPowerGreysTheMenusAndOkMatchesDaylight) {
  WriteSetting(setting::kDaylightPower.key, "2");  // below the range: 3
  ASSERT_TRUE(Open(kSunset));
  window_->ExecuteCommand(CommandId::kDaylightDown);
  ASSERT_TRUE(JobEnded());
  FusionPanel* panel = Panel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(State().sourceList.count, 39);
  EXPECT_EQ(panel->Value(), 3);
  const CBxRect rect = panel->Model().IntegerRect();
  EXPECT_EQ(std::make_pair(rect.Width(), rect.Height()), std::make_pair(400, 400));
  EXPECT_FALSE(window_->Commands().PopupMenu()->actions()[0]->isEnabled());
  ASSERT_TRUE(PreviewShown(dynamic_cast<PanelBase*>(window_->ActivePanel())));
  Screenshot("daylight-panel.png");
  QTest::keyClick(panel->Slider(), Qt::Key_PageUp);  // Power 4
  EXPECT_EQ(panel->Value(), 4);
  panel->Ok();
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_TRUE(window_->Commands().PopupMenu()->actions()[0]->isEnabled());
  EXPECT_EQ(ReadSetting(setting::kDaylightPower), 4);
  EXPECT_EQ(State().resultUnsaved, 1);
  ExpectSavedAsCli("daylight.tif", {"daylight", "down", "--power", "4", kSunset});
}

TEST_F(FusionPanelTest, UnreadableAndMismatchedFilesAreSkippedAndNamed) {
  std::vector<fs::path> files;
  for (int i = 0; i < 3; ++i) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(60 * i + 40, 50 * i + 30, 40 * i + 20));
    files.push_back(TempPath("good" + std::to_string(i) + ".png"));
    ASSERT_TRUE(image.save(files.back().c_str()));
  }
  const fs::path broken = TempPath("broken.png");
  WriteTextFile(broken, "not a picture");
  const fs::path small = TempPath("small.png");
  ASSERT_TRUE(QImage(32, 48, QImage::Format_RGB32).save(small.c_str()));

  ASSERT_TRUE(Open(files[0]));
  AppState& state = State();
  CBxPicBufAPI::ReinitHeap(&state.workPicture, &state.document.source);
  CBxPicBufAPI::Copy(&state.workPicture, &state.document.source);
  state.jobSourcePath = files[0];
  const std::vector<fs::path> series{files[0], broken, files[1], small, files[2]};
  state.sourceList.Assign(series);
  window_->ExecuteCommand(CommandId::kSeriesReady);
  FusionPanel* panel = Panel();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(PreviewShown(panel));
  EXPECT_EQ(Status(), "Skipped broken.png: " + LangText(TextId::kSkipUnreadable) + " (and 1 more)");
  panel->Ok();
  ASSERT_TRUE(JobEnded());
  ScopedPicBuf want;
  const std::vector<fs::path> good{files[0], files[1], files[2]};
  ASSERT_EQ(FuseFiles(good, 100, true, nullptr, want.get()).status, SeriesFusionStatus::kFused);
  EXPECT_TRUE(SameSamples(state.document.result, *want));
  EXPECT_NE(Status().find("broken.png"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(FusionPanelTest, PicturesNamedOnTheCommandLineOpenAsAPictureOrASeries) {
  window_->OpenFromCommandLine({kSunset});
  EXPECT_EQ(State().currentFilePath, kSunset);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(State().multiImageMode, 0);

  window_->OpenFromCommandLine(kSeries);
  ASSERT_NE(Panel(), nullptr);
  EXPECT_EQ(State().multiImageMode, 1);
  EXPECT_EQ(State().sourceList.count, 4);
  // A file dropped while the panel is open does not replace the picture it works on.
  const uint8_t* before = State().document.source.pixels;
  window_->OpenDroppedFiles({QUrl::fromLocalFile(QString::fromStdString(kSunset.string()))});
  EXPECT_EQ(State().document.source.pixels, before);
  EXPECT_EQ(State().document.source.width, 1408);
}

}  // namespace
