// Save As: the proposed name and filters, the format written, failures, the quality control.
#include <FreeImage.h>

#include <QFileDialog>
#include <QLabel>
#include <QSlider>

#include "app/FileCommands.h"
#include "app/JpegQualityControl.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/FullDisk.h"

namespace {

FREE_IMAGE_FORMAT FileFormat(const std::filesystem::path& path) {
  return FreeImage_GetFileType(path.c_str(), 0);
}

class SaveAsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    image_ = TempPath("image.JPG");  // a camera's upper-case name
    std::filesystem::copy_file(kSunset, image_);
    ASSERT_TRUE(OpenFile(image_));
    window_->SendMessage(AppMessage::kResultNotSaved);
  }
  void SaveAs(const std::filesystem::path& name, int filter, int quality = 85) {
    dialogs_.saveAnswer = SaveDialogAnswer{name, filter, quality};
    window_->ExecuteCommand(CommandId::kSaveAs);
  }

  std::filesystem::path image_;
};

TEST_F(SaveAsTest, ProposesTheVtxNameInTheOpenedFormat) {
  window_->ExecuteCommand(CommandId::kSaveAs);  // cancelled: no answer given
  ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
  const SaveDialogRequest& request = dialogs_.saveRequests[0];
  EXPECT_EQ(request.proposedName, "image-vtx");
  EXPECT_EQ(request.folder, image_.parent_path());
  EXPECT_EQ(request.initialFilter, 4);
  EXPECT_EQ(request.defaultExtension, "JPG");
  EXPECT_EQ(request.jpegFilter, 4);
  EXPECT_EQ(request.filters, (std::vector<std::string>{"*.bmp", "*.tif", "*.png", "*.jpg"}));
  EXPECT_EQ(window_->State().resultUnsaved, 1);  // cancelling saves nothing
}

TEST_F(SaveAsTest, WritesTheChosenFormatKeepsTheJpegQualityAndClearsTheMark) {
  WriteSetting("jpeg", 70);
  SaveAs(TempPath("out.jpg"), 4, 42);
  EXPECT_EQ(dialogs_.saveRequests.back().jpegQuality, 70);
  EXPECT_EQ(ReadSetting("jpeg", "85"), 42);  // offered next time
  EXPECT_EQ(FileFormat(TempPath("out.jpg")), FIF_JPEG);

  window_->SendMessage(AppMessage::kResultNotSaved);
  SaveAs(TempPath("out"), 3);  // typed without its extension
  const auto written = TempPath("out.png");
  EXPECT_EQ(FileFormat(written), FIF_PNG);
  EXPECT_EQ(window_->State().resultUnsaved, 0);
  EXPECT_EQ(window_->windowTitle().toStdString(), "Melvaro - " + written.string());
}

TEST_F(SaveAsTest, ASixteenBitResultOffersOnlyTiffAndPng) {
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(&window_->State().document.result, 16, 3));
  CBxPicBufAPI::DoneHeap(&window_->State().document.mask);
  SaveAs(TempPath("out"), 1);
  ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
  EXPECT_EQ(dialogs_.saveRequests[0].filters, (std::vector<std::string>{"*.tif", "*.png"}));
  EXPECT_EQ(dialogs_.saveRequests[0].jpegFilter, 0);
  EXPECT_EQ(dialogs_.saveRequests[0].initialFilter, 1);
  EXPECT_EQ(FileFormat(TempPath("out.tif")), FIF_TIFF);
}

// A writer that fails, or a metadata source that vanished, is reported, not thrown.
TEST_F(SaveAsTest, AFailedWriteIsReportedAndLeavesTheResultUnsaved) {
  const QString title = window_->windowTitle();
  SaveAs(TempPath("missing-folder") / "out.png", 3);
  EXPECT_EQ(dialogs_.captions, std::vector<std::string>{LangText(TextId::kWarning)});

  std::filesystem::remove(image_);
  SaveAs(TempPath("out.png"), 3);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_NE(dialogs_.messages[1].find(image_.string()), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(TempPath("out.png")));
  EXPECT_EQ(window_->State().resultUnsaved, 1);
  EXPECT_EQ(window_->windowTitle(), title);
}

// What failed is said, in the text table's words, naming the file the user chose.
TEST_F(SaveAsTest, AFailedSaveSaysWhatHappened) {
  const auto said = [](const std::filesystem::path& file, TextId why) {
    return FormatText(TextId::kSaveFailed, {file.string(), LangText(why)});
  };
  const auto missingFolder = TempPath("missing-folder") / "out.png";
  SaveAs(missingFolder, 3);
  EXPECT_EQ(dialogs_.messages.back(), said(missingFolder, TextId::kSaveNoFolder));

  std::filesystem::create_directory(TempPath("taken.png"));
  SaveAs(TempPath("taken.png"), 3);
  EXPECT_EQ(dialogs_.messages.back(), said(TempPath("taken.png"), TextId::kSaveFolderInTheWay));
  EXPECT_TRUE(std::filesystem::is_directory(TempPath("taken.png")));

  {
    const FileSizeLimit limit(4096);  // the picture needs far more
    SaveAs(TempPath("big.bmp"), 1);
  }
  EXPECT_EQ(dialogs_.messages.back(), said(TempPath("big.bmp"), TextId::kSaveTooLarge));
  EXPECT_FALSE(std::filesystem::exists(TempPath("big.bmp")));

  FullFileSystem disk(TempPath("small-disk"));
  if (disk.Mounted()) {
    disk.Fill();
    SaveAs(disk.path() / "out.bmp", 1);
    EXPECT_EQ(dialogs_.messages.back(), said(disk.path() / "out.bmp", TextId::kSaveDiskFull));
  }
  EXPECT_EQ(window_->State().resultUnsaved, 1);
}

TEST(JpegQualityControlTest, FollowsTheJpegFilterAndStepsTwicePerKey) {
  QFileDialog dialog;
  SaveDialogRequest request;
  request.filters = {"*.bmp", "*.tif", "*.png", "*.jpg"};
  request.initialFilter = 3;
  request.jpegFilter = 4;
  request.jpegQuality = 5;  // raised to the slider's minimum
  JpegQualityControl* control = ConfigureSaveDialog(&dialog, request);
  EXPECT_EQ(control->Quality(), 10);
  EXPECT_FALSE(control->Slider()->isEnabled());
  EXPECT_EQ(SelectedFilterPosition(dialog), 3);

  dialog.selectNameFilter(QStringLiteral("*.jpg"));
  emit dialog.filterSelected(QStringLiteral("*.jpg"));
  EXPECT_TRUE(control->Slider()->isEnabled());
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("jpg"));

  control->Slider()->setValue(50);
  control->Slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(control->Quality(), 52);
  EXPECT_EQ(control->ValueLabel()->text(), QStringLiteral("52"));
  control->Slider()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(control->Quality(), 51);
  control->Slider()->setValue(100);
  control->Slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(control->Quality(), 100);
}

}  // namespace
