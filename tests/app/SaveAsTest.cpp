// Save As: the proposed name and filters, the format written, failures, the quality control.
#include <FreeImage.h>

#include <QFileDialog>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include "app/JpegQualityControl.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

FREE_IMAGE_FORMAT FileFormat(const std::filesystem::path& path) {
  return FreeImage_GetFileType(path.c_str(), 0);
}

class SaveAsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    // A camera's upper-case name.
    image_ = TempPath("image.JPG");
    std::filesystem::copy_file(SamplePath("photos/sunset.jpg"), image_);
    ASSERT_TRUE(OpenFile(image_));
    window_->SendMessage(kMsgResultNotSaved);
  }
  void Answer(const std::filesystem::path& name, int filter) {
    dialogs_.saveAnswer = SaveDialogAnswer{name, filter, 85};
  }

  std::filesystem::path image_;
};

TEST_F(SaveAsTest, ProposesTheVtxNameInTheOpenedFormat) {
  window_->ExecuteCommand(kCmdSaveAs);  // cancelled: no answer given
  ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
  const SaveDialogRequest& request = dialogs_.saveRequests[0];
  EXPECT_EQ(request.proposedName, "image-vtx");
  EXPECT_EQ(request.folder, image_.parent_path());
  EXPECT_EQ(request.initialFilter, 4);
  EXPECT_EQ(request.defaultExtension, "JPG");
  EXPECT_EQ(request.jpegFilter, 4);
  EXPECT_EQ(request.filters, (std::vector<std::string>{"*.bmp", "*.tif", "*.png", "*.jpg"}));
  EXPECT_EQ(request.title, LangText(8));
  EXPECT_EQ(window_->State().resultUnsaved, 1);  // cancelling saves nothing
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(SaveAsTest, TypedNameWithPngFilterWritesAPngAndClearsTheMark) {
  const auto typed = TempPath("out");
  Answer(typed, 3);
  window_->ExecuteCommand(kCmdSaveAs);
  const auto written = TempPath("out.png");
  ASSERT_TRUE(std::filesystem::exists(written));
  EXPECT_EQ(FileFormat(written), FIF_PNG);
  EXPECT_EQ(window_->State().resultUnsaved, 0);
  EXPECT_EQ(window_->windowTitle().toStdString(), "Melvaro - " + written.string());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(SaveAsTest, ASixteenBitResultOffersOnlyTiffAndPng) {
  SBxPicBuf& result = window_->State().document.result;
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(&result, 16, 3));
  CBxPicBufAPI::DoneHeap(&window_->State().document.mask);
  Answer(TempPath("out"), 1);
  window_->ExecuteCommand(kCmdSaveAs);
  ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
  EXPECT_EQ(dialogs_.saveRequests[0].filters, (std::vector<std::string>{"*.tif", "*.png"}));
  EXPECT_EQ(dialogs_.saveRequests[0].jpegFilter, 0);
  EXPECT_EQ(dialogs_.saveRequests[0].initialFilter, 1);
  EXPECT_EQ(FileFormat(TempPath("out.tif")), FIF_TIFF);
}

TEST_F(SaveAsTest, AFailedWriteIsReportedAndLeavesTheResultUnsaved) {
  const QString title = window_->windowTitle();
  Answer(TempPath("missing-folder") / "out.png", 3);
  window_->ExecuteCommand(kCmdSaveAs);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].caption, LangText(3));
  EXPECT_EQ(window_->State().resultUnsaved, 1);
  EXPECT_EQ(window_->windowTitle(), title);
}

TEST_F(SaveAsTest, AVanishedMetadataSourceIsReportedNotThrown) {
  std::filesystem::remove(image_);
  Answer(TempPath("out.png"), 3);
  window_->ExecuteCommand(kCmdSaveAs);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_NE(dialogs_.messages[0].text.find(image_.string()), std::string::npos);
  EXPECT_EQ(window_->State().resultUnsaved, 1);
  EXPECT_FALSE(std::filesystem::exists(TempPath("out.png")));
}

TEST_F(SaveAsTest, TheChosenJpegQualityIsKeptForTheNextSave) {
  WriteSetting("jpeg", 70);
  dialogs_.saveAnswer = SaveDialogAnswer{TempPath("out.jpg"), 4, 42};
  window_->ExecuteCommand(kCmdSaveAs);
  EXPECT_EQ(dialogs_.saveRequests.back().jpegQuality, 70);
  EXPECT_EQ(ReadSetting("jpeg", "85"), 42);
  EXPECT_EQ(FileFormat(TempPath("out.jpg")), FIF_JPEG);
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
