// "Remove ghosts" in the Multi Image panel end to end: the box and its strength over a series
// of the user's, the series compared once in the background (again for a new strength), the
// preview and the overlay, Abort, OK saving what melvaro-cli fuse --deghost writes for the same
// files (aligned too), and the states kept in the settings file only once used.

// Before Qt: its "emit" would break the TBB headers the fusion includes.
#include "jobs/GhostSeries.h"

#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QSlider>
#include <fstream>
#include <string>
#include <vector>

#include "app/ImageView.h"
#include "app/ProgressWindow.h"
#include "app/panels/FusionPanel.h"
#include "jobs/PanelPreviews.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "tests/app/PanelTestSupport.h"
#include "tests/jobs/MovingSeries.h"

namespace {

namespace fs = std::filesystem;

class GhostPanelTest : public PanelWindowTest {
 protected:
  FusionPanel* Panel() const { return dynamic_cast<FusionPanel*>(window_->ActivePanel()); }
  FusionPanel* OpenSeries() {
    files_ = moving_series::WriteMovingSeries(TempPath(""), "frame", {true, false, false});
    EXPECT_EQ(files_.size(), 3u);
    dialogs_.openFiles = files_;
    window_->ExecuteCommand(CommandId::kMultiImage);
    return Panel();
  }
  // The strength slider moved up a step, as the arrow key moves it.
  static void RaiseStrength(FusionPanel* panel) {
    panel->StrengthSlider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  }
  std::string Stored(const char* key) const {
    return IniFile(SettingsFilePath()).Get("General", key).value_or("(missing)");
  }
  std::vector<std::string> Cli(std::vector<std::string> options) const {
    options.insert(options.begin(), "fuse");
    for (const fs::path& file : files_)
      options.push_back(file.string());
    return options;
  }

  std::vector<fs::path> files_;
};

}  // namespace

TEST_F(GhostPanelTest, CheckedBoxSavesWhatFuseDeghostWritesAndTheStatesAreKept) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_NE(panel->GhostBox(), nullptr);
  EXPECT_FALSE(panel->GhostBox()->isChecked());  // off unless the user chose it
  EXPECT_EQ(panel->Strength(), parameter::kDeghostStrength.defaultValue);
  EXPECT_FALSE(panel->StrengthSlider()->isEnabled());  // only with the box
  ASSERT_TRUE(PreviewShown(panel));

  panel->GhostBox()->click();
  ASSERT_NE(window_->Progress(), nullptr);  // compared in the background
  EXPECT_FALSE(panel->OkButton()->isEnabled());
  ASSERT_TRUE(JobEnded());
  ASSERT_NE(panel->Ghosts(), nullptr);
  EXPECT_EQ(Status().rfind("Ghosts: 1 of 3 pictures kept out over ", 0), 0u) << Status();
  EXPECT_TRUE(panel->StrengthSlider()->isEnabled());

  // The weights depend on the strength: a new one compares the series again.
  RaiseStrength(panel);
  ASSERT_NE(window_->Progress(), nullptr);
  ASSERT_TRUE(JobEnded());
  EXPECT_TRUE(panel->GhostBox()->isChecked());
  const int strength = panel->Strength();
  EXPECT_GT(strength, parameter::kDeghostStrength.defaultValue);
  ASSERT_NE(panel->Ghosts(), nullptr);
  EXPECT_EQ(panel->Ghosts()->strength, strength);
  ASSERT_TRUE(PreviewShown(panel));

  panel->Ok();
  ASSERT_NE(window_->Progress(), nullptr);  // in the background
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(window_->ActivePanel(), nullptr);
  ExpectSavedAsCli("deghosted.tif", Cli({"--deghost", std::to_string(strength)}));
  window_.reset();  // exit
  EXPECT_EQ(Stored("Remove Ghosts"), "1");
  EXPECT_EQ(Stored("Ghost Strength"), std::to_string(strength));
}

TEST_F(GhostPanelTest, AlignedAndDeghostedOkSavesWhatFuseAlignDeghostWrites) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(PreviewShown(panel));
  panel->AlignBox()->click();
  ASSERT_TRUE(JobEnded());
  panel->GhostBox()->click();
  ASSERT_TRUE(JobEnded());
  ASSERT_NE(panel->Ghosts(), nullptr);
  EXPECT_TRUE(panel->Ghosts()->aligned);
  // Both findings in the status line.
  EXPECT_NE(Status().find("; Ghosts: "), std::string::npos) << Status();
  ASSERT_TRUE(PreviewShown(panel));
  panel->Ok();
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(window_->ActivePanel(), nullptr);
  ExpectSavedAsCli("aligned-deghosted.tif", Cli({"--align", "--deghost"}));
}

TEST_F(GhostPanelTest, StoredStatesComeBackAndAnUnusedBoxWritesNothing) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  window_.reset();
  EXPECT_EQ(Stored("Remove Ghosts"), "(missing)");  // never used: the file keeps its lines
  EXPECT_EQ(Stored("Ghost Strength"), "(missing)");

  // Checked in an earlier run: the series is compared as soon as the panel is up.
  std::ofstream(SettingsFilePath()) << "[General]\nGhost Strength=3\nRemove Ghosts=1\n";
  window_ = std::make_unique<MainWindow>(&dialogs_);
  window_->resize(1000, 760);
  window_->show();
  panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->GhostBox()->isChecked());
  EXPECT_EQ(panel->Strength(), 3);
  ASSERT_TRUE(QTest::qWaitFor([panel] { return panel->Ghosts() != nullptr; }, 120000));
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(panel->Ghosts()->strength, 3);
  panel->GhostBox()->click();
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  window_.reset();
  EXPECT_EQ(Stored("Ghost Strength"), "3");
  EXPECT_EQ(Stored("Remove Ghosts"), "0");
}

TEST_F(GhostPanelTest, PreviewKeepsTheMovedThingOutAndTheOverlayTintsWhereOnly) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(PreviewShown(panel));
  const CBxRect rect = panel->Model().IntegerRect();
  ScopedPicBuf plain;
  CutRect(State().document.result, rect, plain.get());
  panel->GhostBox()->click();
  ASSERT_TRUE(JobEnded());
  ASSERT_TRUE(PreviewShown(panel));
  ScopedPicBuf deghosted;
  CutRect(State().document.result, rect, deghosted.get());
  EXPECT_FALSE(SameSamples(*plain, *deghosted));

  // The overlay is drawn over the view where a picture was kept out; toggling it compares
  // nothing again.
  const int runs = panel->PreviewRuns();
  const QImage before = window_->ViewWidget()->SurfaceImage().copy();
  panel->OverlayBox()->click();
  EXPECT_EQ(window_->Progress(), nullptr);
  ASSERT_NE(window_->View().overlay, nullptr);
  EXPECT_EQ(window_->View().overlay->width, moving_series::kWidth);
  const QImage tinted = window_->ViewWidget()->SurfaceImage().copy();
  const CBxPicMap map = ViewMap(window_->View());
  const auto at = [&map](const QImage& image, int x, int y) {
    int sx = 0, sy = 0;
    map.MapPointSrcToDst(&sx, &sy, x, y);
    return image.pixelColor(sx, sy);
  };
  const CBxRect moved = moving_series::kPatchMoved;
  const int mx = (moved.left + moved.right) / 2, my = (moved.top + moved.bottom) / 2;
  EXPECT_GT(at(tinted, mx, my).red() - at(tinted, mx, my).green(),
            at(before, mx, my).red() - at(before, mx, my).green() + 40);
  EXPECT_EQ(at(tinted, 20, 230), at(before, 20, 230));  // far from the patch
  panel->OverlayBox()->click();
  EXPECT_EQ(window_->View().overlay, nullptr);
  EXPECT_EQ(window_->ViewWidget()->SurfaceImage(), before);
  EXPECT_EQ(panel->PreviewRuns(), runs);

  // Unchecked, the box shows the plain preview again and the overlay goes with it.
  panel->OverlayBox()->click();
  panel->GhostBox()->click();
  EXPECT_EQ(window_->View().overlay, nullptr);
  ASSERT_TRUE(PreviewShown(panel));
  ScopedPicBuf again;
  CutRect(State().document.result, rect, again.get());
  EXPECT_TRUE(SameSamples(*plain, *again));
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_EQ(window_->View().overlay, nullptr);
}

TEST_F(GhostPanelTest, AbortUnchecksTheBoxAndOkFusesAsFuseDoes) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(PreviewShown(panel));
  panel->GhostBox()->click();
  ASSERT_NE(window_->Progress(), nullptr);
  window_->Progress()->AbortButton()->click();
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(Panel(), panel);
  EXPECT_FALSE(panel->GhostBox()->isChecked());
  EXPECT_EQ(panel->Ghosts(), nullptr);
  EXPECT_TRUE(panel->OkButton()->isEnabled());
  EXPECT_FALSE(panel->StrengthSlider()->isEnabled());
  ASSERT_TRUE(PreviewShown(panel));
  panel->Ok();
  ASSERT_TRUE(JobEnded());
  ExpectSavedAsCli("plain.tif", Cli({}));
}
