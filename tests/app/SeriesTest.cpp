// Opening a series of files and browsing it with F5 and the arrow keys.
#include <QImage>

#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

class SeriesTest : public WindowTest {
 protected:
  // Small pictures of one size, each a different grey so they can be told apart.
  std::vector<std::filesystem::path> MakeFiles(int count, int width = 8) {
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
      QImage image(width, 6, QImage::Format_RGB32);
      image.fill(QColor(i % 256, i % 256, i % 256));
      files.push_back(TempPath(std::to_string(width) + "-" + std::to_string(1000 + i) + ".png"));
      EXPECT_TRUE(image.save(files.back().c_str()));
    }
    return files;
  }
  void OpenSeries(const std::vector<std::filesystem::path>& files) {
    dialogs_.openFiles = files;
    window_->ExecuteCommand(CommandId::kMultiImage);
  }
  int ShownGrey() const { return RowPtr(window_->State().document.source, 0)[0]; }
  std::string Status() const { return window_->StatusText().toStdString(); }
};

TEST_F(SeriesTest, UnusableSelectionsAreRefusedAndLeaveNothingOpen) {
  const auto eight = MakeFiles(2);
  const auto missing = TempPath("missing.png");
  const struct {
    std::vector<std::filesystem::path> files;
    std::vector<std::string> messages;
  } cases[] = {
      {{eight[0]}, {LangText(TextId::kMoreThanOneFile)}},
      {{eight[0], eight[1], MakeFiles(1, 9)[0]}, {LangText(TextId::kSameResolution)}},
      // The loader's message, then the file's name.
      {{eight[0], eight[1], missing},
       {LangText(TextId::kNotSupported),
        LangText(TextId::kCannotOpenFile) + " " + missing.string()}},
  };
  for (const auto& c : cases) {
    dialogs_.messages.clear();
    OpenSeries(c.files);
    EXPECT_EQ(dialogs_.messages, c.messages) << c.files.back();
    EXPECT_EQ(window_->State().document.source.pixels, nullptr);
    EXPECT_EQ(panelsOpened_, 0);
  }
}

TEST_F(SeriesTest, OnlyTheFirst99FilesAreKept) {
  OpenSeries(MakeFiles(120));
  EXPECT_EQ(window_->State().sourceList.count, 99);
  EXPECT_EQ(window_->State().sourceList.entries[98], dialogs_.openFiles[98]);
}

TEST_F(SeriesTest, MatchingFilesOpenOnTheFirstAndTheArrowsBrowseThemWithWrapAround) {
  OpenSeries(MakeFiles(5));
  const AppState& state = window_->State();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(state.sourceList.count, 5);
  EXPECT_EQ(state.showSources, 0);
  EXPECT_EQ(ShownGrey(), 0);
  EXPECT_EQ(Status(), LangText(TextId::kShowing) + " 1 " + LangText(TextId::kOf) + " 5. " +
                          LangText(TextId::kUseArrows));
  EXPECT_EQ(panelsOpened_, 1);
  window_->ExecuteCommand(CommandId::kNext);  // the result is shown: arrows do nothing
  EXPECT_EQ(state.sourceList.index, 0);

  window_->ExecuteCommand(CommandId::kToggleSources);
  window_->ExecuteCommand(CommandId::kPrevious);
  EXPECT_EQ(state.sourceList.index, 4);
  EXPECT_EQ(ShownGrey(), 4);
  EXPECT_EQ(Status(), LangText(TextId::kShowing) + " 5 " + LangText(TextId::kOf) + " 5. " +
                          LangText(TextId::kArrowsOrF5));
  window_->ExecuteCommand(CommandId::kNext);
  EXPECT_EQ(state.sourceList.index, 0);
  EXPECT_EQ(ShownGrey(), 0);

  window_->ClosePanel(window_->ActivePanel());  // as after OK: the VTX image exists
  window_->ExecuteCommand(CommandId::kToggleSources);
  EXPECT_EQ(state.showSources, 0);
  EXPECT_EQ(Status(), LangText(TextId::kPressF5));
}

// While the Multi Image panel is open no VTX image exists yet: F5 back from the pictures
// offers only what can happen, the arrows.
TEST_F(SeriesTest, F5BeforeAnyVtxImageDoesNotOfferToSwitchToIt) {
  OpenSeries(MakeFiles(3));
  ASSERT_EQ(panelsOpened_, 1);
  const std::string browsing = LangText(TextId::kShowing) + " 1 " + LangText(TextId::kOf) + " 3. " +
                               LangText(TextId::kUseArrows);
  window_->ViewWidget()->setFocus();
  QTest::keyClick(window_->ViewWidget(), Qt::Key_F5);
  EXPECT_EQ(window_->State().showSources, 1);
  EXPECT_EQ(Status(), browsing);
  QTest::keyClick(window_->ViewWidget(), Qt::Key_F5);
  EXPECT_EQ(window_->State().showSources, 0);
  EXPECT_EQ(Status(), browsing);

  window_->ClosePanel(window_->ActivePanel());  // as after OK: the VTX image exists
  QTest::keyClick(window_->ViewWidget(), Qt::Key_F5);
  QTest::keyClick(window_->ViewWidget(), Qt::Key_F5);
  EXPECT_EQ(Status(), LangText(TextId::kPressF5));
}

}  // namespace
