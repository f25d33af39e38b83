// "Align pictures" in the Multi Image panel end to end: the motions estimated once in the
// background, what the status bar says, browsing the aligned pictures, the saved picture against
// melvaro-cli fuse --align of the same files, Abort, and the box's state kept across runs.

// Before Qt: its "emit" would break the TBB headers the scenes include.
#include "tests/align/AlignScenes.h"

#include <QCheckBox>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "align/Warp.h"
#include "app/ProgressWindow.h"
#include "app/panels/FusionPanel.h"
#include "jobs/PanelPreviews.h"
#include "picture/ImageSave.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/PanelTestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 360, kHeight = 270;

class AlignPanelTest : public PanelWindowTest {
 protected:
  FusionPanel* Panel() const { return dynamic_cast<FusionPanel*>(window_->ActivePanel()); }

  // A hand-held series from a bundled photograph: the central window at three exposures, the
  // first and last frames moved, written as PNG files.
  void WriteMovedSeries() {
    ScopedPicBuf photo, mask;
    ASSERT_FALSE(LoadImageFile(photo.get(), mask.get(), kPhotos / "picosdeeuropa.jpg"));
    // The camera turned about the photograph's centre.
    const Homography motions[] = {Turn(photo->width, photo->height, 0.5, 1.0, 7.0, -4.0),
                                  Turn(photo->width, photo->height, 0, 1.0, 0, 0),
                                  Turn(photo->width, photo->height, -0.3, 1.0, -5.0, 3.0)};
    const double gains[] = {0.6, 1.0, 1.6};
    const CBxPoint corner{(photo->width - kWidth) / 2, (photo->height - kHeight) / 2};
    for (int k = 0; k < 3; ++k) {
      ScopedPicBuf moved, frame(kWidth, kHeight, 3, 8);
      ASSERT_FALSE(WarpPicture(*photo, motions[k], moved.get()));
      CBxPicBufAPI::CopyRect(frame.get(), moved.get(), {0, 0}, corner, {kWidth, kHeight});
      for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = RowPtr(*frame, y);
        for (int i = 0; i < kWidth * 3; ++i)
          row[i] = static_cast<uint8_t>(std::min(255.0, std::floor(row[i] * gains[k] + 0.5)));
      }
      files_.push_back(TempPath("moved" + std::to_string(k) + ".png"));
      ASSERT_FALSE(WriteImageFile(frame.get(), nullptr, files_.back(), {}, 0, 0));
    }
  }
  FusionPanel* OpenSeries() {
    dialogs_.openFiles = files_;
    window_->ExecuteCommand(CommandId::kMultiImage);
    return Panel();
  }
  std::string StoredBox() const {
    return IniFile(SettingsFilePath()).Get("General", "Align Pictures").value_or("(missing)");
  }

  std::vector<fs::path> files_;
};

}  // namespace

TEST_F(AlignPanelTest, CheckedBoxAlignsOnceReportsTheMotionAndOkSavesWhatFuseAlignWrites) {
  WriteMovedSeries();
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_NE(panel->AlignBox(), nullptr);
  EXPECT_FALSE(panel->AlignBox()->isChecked());  // off unless the user chose it
  ASSERT_TRUE(PreviewShown(panel));
  const CBxRect rect = panel->Model().IntegerRect();
  ScopedPicBuf unaligned;
  CutRect(State().document.result, rect, unaligned.get());

  panel->AlignBox()->click();
  ASSERT_NE(window_->Progress(), nullptr);  // estimated in the background
  EXPECT_FALSE(panel->OkButton()->isEnabled());
  ASSERT_TRUE(JobEnded());
  ASSERT_NE(panel->Alignment(), nullptr);
  EXPECT_TRUE(panel->Alignment()->Moved(0) && panel->Alignment()->Moved(2));
  EXPECT_EQ(Status().rfind("Aligned 2 pictures: largest shift ", 0), 0u) << Status();
  EXPECT_TRUE(panel->OkButton()->isEnabled());

  // The preview shows the aligned series.
  ASSERT_TRUE(PreviewShown(panel));
  ScopedPicBuf aligned;
  CutRect(State().document.result, rect, aligned.get());
  EXPECT_FALSE(SameSamples(*aligned, *unaligned));

  // Browsing shows each picture where the fusion puts it.
  std::set<int> shown;
  for (int step = 0; step < 3; ++step) {
    const int index = State().sourceList.index;
    shown.insert(index);
    ScopedPicBuf expected, coverage;
    ASSERT_FALSE(LoadAlignedPicture(files_[static_cast<size_t>(index)], *panel->Alignment(), index,
                                    expected.get(), coverage.get()));
    EXPECT_TRUE(SameSamples(State().document.source, *expected)) << index;
    QTest::keyClick(window_.get(), Qt::Key_Right);
  }
  EXPECT_EQ(shown.size(), 3u);

  // Unchecked, the picture is shown as it lies; checked again, the motions kept for the
  // series serve, no second estimation.
  ASSERT_TRUE(panel->Alignment()->Moved(State().sourceList.index));
  panel->AlignBox()->click();
  ScopedPicBuf asRead, mask;
  ASSERT_FALSE(LoadImageFile(asRead.get(), mask.get(),
                             files_[static_cast<size_t>(State().sourceList.index)]));
  EXPECT_TRUE(SameSamples(State().document.source, *asRead));
  ASSERT_TRUE(PreviewShown(panel));
  panel->AlignBox()->click();
  EXPECT_EQ(window_->Progress(), nullptr);
  EXPECT_FALSE(SameSamples(State().document.source, *asRead));
  ASSERT_TRUE(PreviewShown(panel));

  panel->Ok();
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(window_->ActivePanel(), nullptr);
  ExpectSavedAsCli("aligned.tif",
                   {"fuse", "--align", files_[0].string(), files_[1].string(), files_[2].string()});
  window_.reset();  // exit
  EXPECT_EQ(StoredBox(), "1");
}

TEST_F(AlignPanelTest, AbortUnchecksTheBoxAndLeavesTheSeriesAsItIs) {
  WriteMovedSeries();
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(PreviewShown(panel));
  panel->AlignBox()->click();
  ASSERT_NE(window_->Progress(), nullptr);
  window_->Progress()->AbortButton()->click();
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(Panel(), panel);
  EXPECT_FALSE(panel->AlignBox()->isChecked());
  EXPECT_EQ(panel->Alignment(), nullptr);
  EXPECT_TRUE(panel->OkButton()->isEnabled());
  ASSERT_TRUE(PreviewShown(panel));

  // OK fuses the pictures where they lie, as `fuse` does.
  panel->Ok();
  ASSERT_TRUE(JobEnded());
  ExpectSavedAsCli("unaligned.tif",
                   {"fuse", files_[0].string(), files_[1].string(), files_[2].string()});
  window_.reset();
  EXPECT_EQ(ReadSetting(setting::kAlignPictures), 0);  // the next run starts unchecked
}

TEST_F(AlignPanelTest, StoredStateAlignsAtOpeningAndOnlyTheUsersSeriesHasTheBox) {
  WriteMovedSeries();
  window_.reset();
  std::ofstream(SettingsFilePath()) << "[General]\nAlign Pictures=1\n";
  window_ = std::make_unique<MainWindow>(&dialogs_);
  window_->resize(1000, 760);
  window_->show();
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->AlignBox()->isChecked());
  ASSERT_TRUE(QTest::qWaitFor([panel] { return panel->Alignment() != nullptr; }, 120000));
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(Status().rfind("Aligned 2 pictures", 0), 0u) << Status();
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  ASSERT_EQ(window_->ActivePanel(), nullptr);

  // The Daylight series is made by the program from one picture: nothing to align.
  dialogs_.openFile = files_[1];
  window_->ExecuteCommand(CommandId::kOpen);
  window_->ExecuteCommand(CommandId::kDaylightUp);
  ASSERT_TRUE(JobEnded());
  ASSERT_NE(Panel(), nullptr);
  EXPECT_EQ(Panel()->AlignBox(), nullptr);
}
