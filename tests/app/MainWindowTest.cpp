// Start-up, Open, Close, the unsaved question, the crash marker, the menu and the toolbar.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QMenu>
#include <QUrl>

#include "app/CommandTable.h"
#include "app/ImageView.h"
#include "app/ToolbarIcons.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "picture/CBxPicBufAPI.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

constexpr int kProcessingCommands[] = {kCmdSingleImage, kCmdToneMapping, kCmdDaylightUp,
                                       kCmdDaylightDown, kCmdSmartContrast};

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, StartsWithOnlyOpeningPossible) {
  CommandTable& commands = window_->Commands();
  EXPECT_TRUE(commands.IsEnabled(kCmdOpen));
  EXPECT_TRUE(commands.IsEnabled(kCmdMultiImage));
  EXPECT_FALSE(commands.IsEnabled(kCmdSaveAs));
  for (int command : kProcessingCommands)
    EXPECT_FALSE(commands.IsEnabled(command)) << command;
  EXPECT_TRUE(commands.IsEnabled(kCmdZoomIn));
  EXPECT_FALSE(window_->ZoomBoxWidget()->isEnabled());
  EXPECT_EQ(window_->ZoomBoxWidget()->currentText(), QStringLiteral("100.0 %"));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Melvaro"));
  EXPECT_DOUBLE_EQ(window_->View().zoom, 1.0);
  EXPECT_EQ(window_->State().showSources, 1);
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MainWindowTest, OpeningASampleEnablesItsCommandsAndFitsIt) {
  const auto path = SamplePath("photos/sunset.jpg");
  ASSERT_TRUE(OpenFile(path));
  EXPECT_EQ(dialogs_.openTitles.back(), LangText(49));
  EXPECT_EQ(window_->windowTitle().toStdString(), "Melvaro - " + path.string());
  for (int command : kProcessingCommands)
    EXPECT_TRUE(window_->Commands().IsEnabled(command));
  EXPECT_TRUE(window_->Commands().IsEnabled(kCmdSaveAs));
  EXPECT_TRUE(window_->ZoomBoxWidget()->isEnabled());

  const AppState& state = window_->State();
  EXPECT_EQ(state.metadataSourcePath, path);
  EXPECT_EQ(state.currentFilePath, path);
  EXPECT_TRUE(SameGeometry(state.document.result, state.document.source));
  const QSize area = window_->ViewWidget()->size();
  const double fit = std::min(area.width() / 1200.0, area.height() / 800.0);
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit);
  EXPECT_EQ(window_->ZoomBoxWidget()->currentText().toStdString(), ZoomText(fit));
  // The picture is drawn: the centre of the view is not background.
  const auto centre = SurfacePixel(area.width() / 2, area.height() / 2);
  EXPECT_FALSE(centre[0] == kViewBackgroundDark && centre[1] == kViewBackgroundDark &&
               centre[2] == kViewBackgroundDark);
}

TEST_F(MainWindowTest, AFileThatIsNoPictureIsRefusedAndChangesNothing) {
  ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
  const auto notAPicture = TempPath("notes.png");
  FILE* file = std::fopen(notAPicture.c_str(), "w");
  std::fputs("not a picture", file);
  std::fclose(file);
  EXPECT_FALSE(OpenFile(notAPicture));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, LangText(41));
  EXPECT_EQ(window_->State().currentFilePath, SamplePath("photos/sunset.jpg"));
  EXPECT_EQ(window_->State().document.source.width, 1200);
}

TEST_F(MainWindowTest, CloseEmptiesTheDocumentAndTheView) {
  ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
  window_->ExecuteCommand(kCmdClose);
  const AppState& state = window_->State();
  EXPECT_EQ(state.document.source.pixels, nullptr);
  EXPECT_EQ(state.document.result.pixels, nullptr);
  EXPECT_TRUE(state.metadataSourcePath.empty());
  EXPECT_EQ(state.showSources, 0);
  EXPECT_FALSE(window_->Commands().IsEnabled(kCmdSaveAs));
  EXPECT_FALSE(window_->Commands().IsEnabled(kCmdSmartContrast));
  EXPECT_FALSE(window_->ZoomBoxWidget()->isEnabled());
  const QSize area = window_->ViewWidget()->size();
  EXPECT_EQ(SurfacePixel(area.width() / 2, area.height() / 2)[1], kViewBackgroundDark);
  EXPECT_TRUE(dialogs_.questions.empty());  // nothing was unsaved
}

class UnsavedResultTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
    window_->SendMessage(kMsgResultNotSaved);
    ASSERT_EQ(window_->State().resultUnsaved, 1);
    title_ = window_->windowTitle();
    dialogs_.answerYes = false;
  }
  void ExpectUnchanged() {
    ASSERT_FALSE(dialogs_.questions.empty());
    EXPECT_EQ(dialogs_.questions.back(), LangText(21));
    EXPECT_EQ(window_->State().resultUnsaved, 1);
    EXPECT_EQ(window_->windowTitle(), title_);
    EXPECT_EQ(window_->State().document.source.width, 1200);
  }
  QString title_;
};

TEST_F(UnsavedResultTest, AnsweringNoToOpenKeepsEverything) {
  dialogs_.openFile = SamplePath("photos/seeding.jpg");
  window_->ExecuteCommand(kCmdOpen);
  EXPECT_TRUE(dialogs_.openTitles.size() == 1);  // only the first Open asked for a file
  ExpectUnchanged();
}

TEST_F(UnsavedResultTest, AnsweringNoToCloseKeepsEverything) {
  window_->ExecuteCommand(kCmdClose);
  ExpectUnchanged();
}

TEST_F(UnsavedResultTest, AnsweringNoToExitKeepsTheWindowOpen) {
  window_->ExecuteCommand(kCmdExit);  // the menu's Exit asks too
  ExpectUnchanged();
  EXPECT_TRUE(window_->isVisible());
  QCloseEvent event;
  QApplication::sendEvent(window_.get(), &event);
  EXPECT_FALSE(event.isAccepted());
  EXPECT_EQ(dialogs_.questions.size(), 2u);
}

TEST_F(UnsavedResultTest, AnsweringNoToADroppedFileKeepsEverything) {
  window_->OpenDroppedFiles(
      {QUrl::fromLocalFile(QString::fromStdString(SamplePath("photos/seeding.jpg")))});
  ExpectUnchanged();
}

TEST_F(MainWindowTest, ADroppedFileOpensLikeOpen) {
  const auto path = SamplePath("photos/seeding.jpg");
  window_->OpenDroppedFiles(
      {QUrl::fromLocalFile(QString::fromStdString(path)),
       QUrl::fromLocalFile(QString::fromStdString(SamplePath("photos/sunset.jpg")))});
  EXPECT_EQ(window_->State().currentFilePath, path);  // the first file only
  EXPECT_EQ(window_->windowTitle().toStdString(), "Melvaro - " + path.string());
  EXPECT_TRUE(window_->Commands().IsEnabled(kCmdSaveAs));
  EXPECT_TRUE(dialogs_.openTitles.empty());  // no dialog
}

TEST_F(MainWindowTest, SeriesKeysDoNothingOutsideASeries) {
  ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
  const int showSources = window_->State().showSources;
  window_->ExecuteCommand(kCmdToggleSources);
  window_->ExecuteCommand(kCmdNext);
  EXPECT_EQ(window_->State().showSources, showSources);
  EXPECT_TRUE(window_->StatusText().isEmpty());
}

TEST_F(MainWindowTest, MenuGreysItsItemsWithTheButtons) {
  CommandTable& commands = window_->Commands();
  auto item = [&](const QString& text) -> QAction* {
    for (QAction* submenu : commands.PopupMenu()->actions())
      for (QAction* action : submenu->menu()->actions())
        if (action->text().startsWith(text)) return action;
    return nullptr;
  };
  commands.UpdateMenu();
  const QString saveAs = QString::fromStdString(LangText(8));
  ASSERT_NE(item(saveAs), nullptr);
  EXPECT_EQ(item(saveAs)->text(), saveAs + QStringLiteral("\tCtrl+S"));
  EXPECT_FALSE(item(saveAs)->isEnabled());
  EXPECT_FALSE(item(QString::fromStdString(LangText(9)))->isEnabled());   // Close
  EXPECT_FALSE(item(QString::fromStdString(LangText(98)))->isEnabled());  // Tone Mapping
  EXPECT_TRUE(item(QString::fromStdString(LangText(10)))->isEnabled());   // Options
  ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
  commands.UpdateMenu();
  EXPECT_TRUE(item(saveAs)->isEnabled());
  EXPECT_TRUE(item(QString::fromStdString(LangText(9)))->isEnabled());
  EXPECT_TRUE(item(QString::fromStdString(LangText(101)))->isEnabled());  // Smart Contrast
}

TEST(ToolbarIconTest, DisabledImageIsTheWeightedGreyAndFainterEdges) {
  QImage image(2, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(200, 100, 50, 255));
  image.setPixel(1, 0, qRgba(255, 255, 255, 80));
  const QImage disabled = MakeDisabledImage(image);
  const int grey = static_cast<int>((200 * 0.3 + 100 * 0.5 + 50 * 0.2) * 0.43 + 120.0) - 70;
  EXPECT_EQ(qRed(disabled.pixel(0, 0)), grey);
  EXPECT_EQ(qBlue(disabled.pixel(0, 0)), grey);
  EXPECT_EQ(qAlpha(disabled.pixel(0, 0)), 255);
  EXPECT_EQ(qAlpha(disabled.pixel(1, 0)), 40);
  EXPECT_EQ(qGreen(disabled.pixel(1, 0)), static_cast<int>(255 * 0.43 + 120.0) - 70);
  for (const char* name :
       {"IDP_FOLDER", "IDP_SAVE", "CONTRAST", "LIGHT", "MULTI", "LIGHT_UP", "LIGHT_DOWN",
        "COLORMAP", "IDP_ZOOMIN", "IDP_ZOOMOUT", "IDP_ZOOM100", "IDP_ZOOMFIT", "IDP_PICKER"})
    EXPECT_FALSE(ToolbarIcon(QString::fromLatin1(name)).isNull()) << name;
}

class CrashMarkerTest : public AppTest {};

TEST_F(CrashMarkerTest, AStartAfterACrashWarnsOnceAndACleanExitClearsTheMarker) {
  FakeDialogs dialogs;
  {
    MainWindow first(&dialogs);  // first run: no settings file yet
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(ReadSetting("Crashed Last Time", "0"), 1);  // set while running
  }
  EXPECT_EQ(ReadSetting("Crashed Last Time", "1"), 0);

  WriteSetting("Crashed Last Time", "1");  // as a killed run leaves it
  {
    MainWindow second(&dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, LangText(2));
    EXPECT_EQ(dialogs.messages[0].caption, LangText(3));
  }
  EXPECT_EQ(ReadSetting("Crashed Last Time", "1"), 0);
  { MainWindow third(&dialogs); }
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(MainWindowTest, RendersTheWindowEmptyAndWithASampleIntoPngFiles) {
  const QString folder = QStringLiteral(MELVARO_TEST_OUTPUT_DIR);
  QApplication::processEvents();
  EXPECT_TRUE(window_->grab().save(folder + QStringLiteral("/mainwindow-empty.png")));
  ASSERT_TRUE(OpenFile(SamplePath("photos/sunset.jpg")));
  QApplication::processEvents();
  EXPECT_TRUE(window_->grab().save(folder + QStringLiteral("/mainwindow-sample.png")));
}

}  // namespace
