// Start-up, Open, Close, the unsaved question, the crash marker, the menu and the toolbar.
#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QUrl>
#include <fstream>
#include <functional>

#include "app/ToolbarIcons.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

constexpr CommandId kProcessingCommands[] = {CommandId::kSingleImage, CommandId::kToneMapping,
                                             CommandId::kDaylightUp, CommandId::kDaylightDown,
                                             CommandId::kSmartContrast};

using MainWindowTest = WindowTest;

// Also renders the window in its theme, empty and with the sample, into PNG files in the
// build folder for anyone to look at.
TEST_F(MainWindowTest, StartsEmptyAndOpeningASampleEnablesItsCommandsAndFitsIt) {
  const QString folder = QStringLiteral(MELVARO_TEST_OUTPUT_DIR);
  QApplication::processEvents();
  EXPECT_TRUE(window_->grab().save(folder + QStringLiteral("/mainwindow-empty.png")));
  EXPECT_TRUE(Enabled(CommandId::kOpen) && Enabled(CommandId::kMultiImage) &&
              Enabled(CommandId::kZoomIn));
  EXPECT_FALSE(Enabled(CommandId::kSaveAs));
  for (CommandId command : kProcessingCommands)
    EXPECT_FALSE(Enabled(command)) << static_cast<int>(command);
  EXPECT_FALSE(window_->ZoomBoxWidget()->isEnabled());
  EXPECT_EQ(window_->ZoomBoxWidget()->currentText(), QStringLiteral("100.0 %"));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Melvaro"));

  ASSERT_TRUE(OpenFile(kSunset));
  EXPECT_EQ(window_->windowTitle().toStdString(), "Melvaro - " + kSunset.string());
  for (CommandId command : kProcessingCommands)
    EXPECT_TRUE(Enabled(command)) << static_cast<int>(command);
  EXPECT_TRUE(Enabled(CommandId::kSaveAs));
  EXPECT_TRUE(window_->ZoomBoxWidget()->isEnabled());
  const AppState& state = window_->State();
  EXPECT_TRUE(SameGeometry(state.document.result, state.document.source));
  const QSize area = window_->ViewWidget()->size();
  const double fit = std::min(area.width() / 1200.0, area.height() / 800.0);
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit);
  EXPECT_EQ(window_->ZoomBoxWidget()->currentText().toStdString(), ZoomText(fit));
  EXPECT_NE(CentrePixel(), kBackgroundPixel);  // the picture is drawn
  QApplication::processEvents();
  EXPECT_TRUE(window_->grab().save(folder + QStringLiteral("/mainwindow-sample.png")));

  // F5 and the arrows belong to a series.
  window_->ExecuteCommand(CommandId::kToggleSources);
  window_->ExecuteCommand(CommandId::kNext);
  EXPECT_EQ(state.showSources, 1);
  EXPECT_TRUE(window_->StatusText().isEmpty());
}

TEST_F(MainWindowTest, CloseEmptiesTheDocumentAndTheView) {
  ASSERT_TRUE(OpenFile(kSunset));
  window_->ExecuteCommand(CommandId::kClose);
  const AppState& state = window_->State();
  EXPECT_EQ(state.document.source.pixels, nullptr);
  EXPECT_FALSE(Enabled(CommandId::kSaveAs) || Enabled(CommandId::kSmartContrast));
  EXPECT_FALSE(window_->ZoomBoxWidget()->isEnabled());
  EXPECT_EQ(CentrePixel(), kBackgroundPixel);
  EXPECT_TRUE(dialogs_.questions.empty());  // nothing was unsaved
}

// Every way of discarding an unsaved result asks once; "no" changes nothing.
TEST_F(MainWindowTest, AnsweringNoToTheUnsavedQuestionKeepsEverything) {
  const auto other = kPhotos / "seeding.jpg";
  const std::pair<const char*, std::function<void()>> actions[] = {
      {"Open", [&] { OpenFile(other); }},
      {"Close", [&] { window_->ExecuteCommand(CommandId::kClose); }},
      {"Exit", [&] { window_->ExecuteCommand(CommandId::kExit); }},
      {"closing the window",
       [&] {
         QCloseEvent event;
         QApplication::sendEvent(window_.get(), &event);
         EXPECT_FALSE(event.isAccepted());
       }},
      {"drop", [&] { window_->OpenDroppedFiles({QUrl::fromLocalFile(other.c_str())}); }},
      {"Multi Image", [&] { window_->ExecuteCommand(CommandId::kMultiImage); }},
  };
  ASSERT_TRUE(OpenFile(kSunset));
  window_->SendMessage(AppMessage::kResultNotSaved);
  const QString title = window_->windowTitle();
  for (const auto& [name, action] : actions) {
    dialogs_.questions.clear();
    action();
    EXPECT_EQ(dialogs_.questions, std::vector<std::string>{LangText(TextId::kNotSavedQuestion)})
        << name;
    EXPECT_EQ(window_->State().resultUnsaved, 1) << name;
    EXPECT_EQ(window_->windowTitle(), title) << name;
    EXPECT_TRUE(window_->isVisible()) << name;
  }
  EXPECT_EQ(dialogs_.openTitles.size(), 1u);  // the refused commands asked for no file
}

TEST_F(MainWindowTest, ADropOpensTheFirstFileAndAFileThatIsNoPictureChangesNothing) {
  window_->OpenDroppedFiles({QUrl::fromLocalFile(kSunset.c_str()),
                             QUrl::fromLocalFile((kPhotos / "seeding.jpg").c_str())});
  EXPECT_EQ(window_->windowTitle().toStdString(), "Melvaro - " + kSunset.string());
  EXPECT_TRUE(Enabled(CommandId::kSaveAs));
  EXPECT_TRUE(dialogs_.openTitles.empty());  // no dialog
  std::ofstream(TempPath("notes.png")) << "not a picture";
  EXPECT_FALSE(OpenFile(TempPath("notes.png")));
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{LangText(TextId::kNotSupported)});
  EXPECT_EQ(window_->State().currentFilePath, kSunset);
}

TEST_F(MainWindowTest, MenuGreysItsItemsWithTheButtons) {
  // The item starting with the text: its whole text and whether it is enabled.
  auto item = [&](TextId text) {
    window_->Commands().UpdateMenu();
    for (QAction* submenu : window_->Commands().PopupMenu()->actions())
      for (QAction* action : submenu->menu()->actions())
        if (action->text().startsWith(QString::fromStdString(LangText(text))))
          return std::make_pair(action->text().toStdString(), action->isEnabled());
    ADD_FAILURE() << "no menu item " << LangText(text);
    return std::make_pair(std::string(), false);
  };
  const std::string saveAs = LangText(TextId::kSaveAs) + "\tCtrl+S";
  EXPECT_EQ(item(TextId::kSaveAs), std::make_pair(saveAs, false));
  EXPECT_FALSE(item(TextId::kClose).second);
  EXPECT_FALSE(item(TextId::kToneMappingItem).second);
  EXPECT_TRUE(item(TextId::kOptionsItem).second);
  ASSERT_TRUE(OpenFile(kSunset));
  EXPECT_EQ(item(TextId::kSaveAs), std::make_pair(saveAs, true));
  EXPECT_TRUE(item(TextId::kClose).second);
}

TEST(ToolbarIconTest, DisabledImageIsTheWeightedGreyAndFainterEdges) {
  QImage image(2, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(200, 100, 50, 255));
  image.setPixel(1, 0, qRgba(255, 255, 255, 80));
  const QImage disabled = MakeDisabledImage(image);
  // (0.3 red + 0.5 green + 0.2 blue) * 0.43 + 120 - 70, and half the alpha at the edges.
  EXPECT_EQ(disabled.pixel(0, 0), qRgba(101, 101, 101, 255));
  EXPECT_EQ(qAlpha(disabled.pixel(1, 0)), 40);
  EXPECT_EQ(qGreen(disabled.pixel(1, 0)), 159);
  for (const char* name :
       {"IDP_FOLDER", "IDP_SAVE", "CONTRAST", "LIGHT", "MULTI", "LIGHT_UP", "LIGHT_DOWN",
        "COLORMAP", "IDP_ZOOMIN", "IDP_ZOOMOUT", "IDP_ZOOM100", "IDP_ZOOMFIT", "IDP_PICKER"})
    EXPECT_FALSE(ToolbarIcon(QString::fromLatin1(name)).isNull()) << name;
}

class CrashMarkerTest : public AppTest {};

TEST_F(CrashMarkerTest, AStartAfterACrashWarnsOnceAndACleanExitClearsTheMarker) {
  FakeDialogs dialogs;
  {
    MainWindow first(&dialogs);                           // first run: no settings file yet
    EXPECT_EQ(ReadSetting("Crashed Last Time", "0"), 1);  // set while running
  }
  EXPECT_EQ(ReadSetting("Crashed Last Time", "1"), 0);
  EXPECT_TRUE(dialogs.messages.empty());

  WriteSetting("Crashed Last Time", "1");  // as a killed run leaves it
  { MainWindow second(&dialogs); }
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{LangText(TextId::kCrashedLastTime)});
  EXPECT_EQ(dialogs.captions, std::vector<std::string>{LangText(TextId::kWarning)});
  EXPECT_EQ(ReadSetting("Crashed Last Time", "1"), 0);
  { MainWindow third(&dialogs); }
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

}  // namespace
