// Opening a series of files and browsing it with F5 and the arrow keys.
#include <QImage>

#include "app/ToolPanel.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

class SeriesTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window_->Hooks().multiImagePanel = [this](PanelHost&) {
      ++panelsOpened_;
      return new ToolPanel();
    };
  }
  // Small pictures of one size, each a different grey so they can be told apart.
  std::vector<std::filesystem::path> MakeFiles(int count, int width = 8) {
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
      QImage image(width, 6, QImage::Format_RGB32);
      image.fill(QColor(i % 256, i % 256, i % 256));
      files.push_back(TempPath("frame" + std::to_string(1000 + i) + ".png"));
      EXPECT_TRUE(image.save(QString::fromStdString(files.back().string())));
    }
    return files;
  }
  int ShownGrey() {
    const SBxPicBuf& source = window_->State().document.source;
    return RowPtr(source, 0)[0];
  }

  int panelsOpened_ = 0;
};

TEST_F(SeriesTest, MatchingFilesOpenTheSeriesOnItsFirstFile) {
  dialogs_.openFiles = MakeFiles(3);
  window_->ExecuteCommand(kCmdMultiImage);
  const AppState& state = window_->State();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(state.sourceList.count, 3);
  EXPECT_EQ(state.sourceList.index, 0);
  EXPECT_EQ(state.multiImageMode, 1);
  EXPECT_EQ(state.showSources, 0);
  EXPECT_EQ(ShownGrey(), 0);
  EXPECT_EQ(window_->StatusText().toStdString(),
            LangText(22) + " 1 " + LangText(23) + " 3. " + LangText(31));
  EXPECT_EQ(panelsOpened_, 1);
}

TEST_F(SeriesTest, OneFileIsRefused) {
  dialogs_.openFiles = MakeFiles(1);
  window_->ExecuteCommand(kCmdMultiImage);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, LangText(77));
  EXPECT_EQ(panelsOpened_, 0);
}

TEST_F(SeriesTest, FilesOfDifferentSizesLeaveNothingOpen) {
  dialogs_.openFiles = MakeFiles(2);
  dialogs_.openFiles.push_back(MakeFiles(1, 9)[0]);
  window_->ExecuteCommand(kCmdMultiImage);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, LangText(54));
  EXPECT_EQ(window_->State().document.source.pixels, nullptr);
  EXPECT_EQ(panelsOpened_, 0);
}

TEST_F(SeriesTest, AnUnreadableFileIsNamed) {
  dialogs_.openFiles = MakeFiles(2);
  dialogs_.openFiles.push_back(TempPath("missing.png"));
  window_->ExecuteCommand(kCmdMultiImage);
  ASSERT_EQ(dialogs_.messages.size(), 2u);  // the loader's message, then the file's name
  EXPECT_EQ(dialogs_.messages[0].text, LangText(41));
  EXPECT_EQ(dialogs_.messages[1].text, LangText(33) + " " + TempPath("missing.png").string());
  EXPECT_EQ(window_->State().document.source.pixels, nullptr);
}

TEST_F(SeriesTest, OnlyTheFirst99FilesAreKept) {
  dialogs_.openFiles = MakeFiles(120);
  window_->ExecuteCommand(kCmdMultiImage);
  EXPECT_EQ(window_->State().sourceList.count, 99);
  EXPECT_EQ(window_->State().sourceList.entries[98], dialogs_.openFiles[98]);
}

TEST_F(SeriesTest, AnUnsavedResultIsAskedAboutOnce) {
  ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
  window_->SendMessage(kMsgResultNotSaved);
  dialogs_.answerYes = true;
  dialogs_.openFiles = MakeFiles(2);
  window_->ExecuteCommand(kCmdMultiImage);
  EXPECT_EQ(dialogs_.questions.size(), 1u);
  EXPECT_EQ(window_->State().sourceList.count, 2);
}

TEST_F(SeriesTest, ArrowsBrowseTheSourcesWithWrapAround) {
  dialogs_.openFiles = MakeFiles(5);
  window_->ExecuteCommand(kCmdMultiImage);
  window_->ExecuteCommand(kCmdNext);  // the result is shown: arrows do nothing
  EXPECT_EQ(window_->State().sourceList.index, 0);

  window_->ExecuteCommand(kCmdToggleSources);
  EXPECT_EQ(window_->State().showSources, 1);
  window_->ExecuteCommand(kCmdPrevious);
  EXPECT_EQ(window_->State().sourceList.index, 4);
  EXPECT_EQ(ShownGrey(), 4);
  EXPECT_EQ(window_->StatusText().toStdString(),
            LangText(22) + " 5 " + LangText(23) + " 5. " + LangText(55));
  window_->ExecuteCommand(kCmdNext);
  EXPECT_EQ(window_->State().sourceList.index, 0);
  EXPECT_EQ(ShownGrey(), 0);

  window_->ExecuteCommand(kCmdToggleSources);
  EXPECT_EQ(window_->State().showSources, 0);
  EXPECT_EQ(window_->StatusText().toStdString(), LangText(56));
}

}  // namespace
