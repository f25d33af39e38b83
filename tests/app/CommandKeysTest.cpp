// The command declarations and the keys: every command declared once and shown where it
// belongs, the enabling of the toolbar and the menu, and who gets a key.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <set>

#include "app/CommandRegistry.h"
#include "app/ViewGeometry.h"
#include "app/ZoomBox.h"
#include "settings/TextTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

TEST(CommandRegistryTest, EveryCommandIsDeclaredOnceAndShownWhereItIsLaidOut) {
  std::set<CommandId> ids;
  for (const CommandEntry& entry : CommandEntries()) {
    EXPECT_TRUE(ids.insert(entry.id).second) << static_cast<int>(entry.id);
    EXPECT_NE(entry.run, nullptr) << static_cast<int>(entry.id);
    EXPECT_EQ(FindCommand(entry.id), &entry);
  }
  EXPECT_EQ(FindCommand(CommandId::kSpacer), nullptr);
  for (const ToolbarItem& item : ToolbarLayout()) {
    if (item.kind != ToolbarItem::Kind::kButton) continue;
    const CommandEntry* entry = FindCommand(item.command);
    ASSERT_NE(entry, nullptr);
    EXPECT_NE(entry->icon, nullptr) << static_cast<int>(item.command);
    EXPECT_TRUE(entry->tooltip || item.command == CommandId::kMenu);
  }
  for (const MenuItem& item : MenuLayout()) {
    if (item.kind != MenuItem::Kind::kCommand) continue;
    const CommandEntry* entry = FindCommand(item.command);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->menuText.has_value()) << static_cast<int>(item.command);
  }
}

class CommandKeysTest : public WindowTest {
 protected:
  QStringList ToolbarTooltips() const {
    QStringList tips;
    for (QAction* action : window_->findChild<QToolBar*>()->actions())
      if (!action->toolTip().isEmpty() && !action->icon().isNull()) tips << action->toolTip();
    return tips;
  }
  QStringList MenuTexts() {
    window_->Commands().UpdateMenu();
    QStringList texts;
    for (QAction* submenu : window_->Commands().PopupMenu()->actions()) {
      texts << submenu->text();
      for (QAction* item : submenu->menu()->actions())
        texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    return texts;
  }
  static QString Text(TextId id) { return QString::fromStdString(LangText(id)); }
};

TEST_F(CommandKeysTest, TheToolbarAndTheMenuShowTheirCommandsInOrder) {
  EXPECT_EQ(ToolbarTooltips(),
            (QStringList{Text(TextId::kLoadImageTip), Text(TextId::kSaveTip),
                         Text(TextId::kSmartContrastItem), Text(TextId::kSingleImageItem),
                         Text(TextId::kMultiImageTip), Text(TextId::kDaylightUpItem),
                         Text(TextId::kDaylightDownItem), Text(TextId::kToneMappingItem),
                         Text(TextId::kZoomInTip), Text(TextId::kZoomOutTip),
                         Text(TextId::kZoom100Tip), Text(TextId::kZoomFitTip), "Menu"}));
  EXPECT_EQ(
      MenuTexts(),
      (QStringList{Text(TextId::kMenuFile), Text(TextId::kLoadImage) + "\tCtrl+O",
                   Text(TextId::kSaveAs) + "\tCtrl+S", Text(TextId::kClose), "-",
                   Text(TextId::kOptionsItem), "-", Text(TextId::kExit), Text(TextId::kMenuCreate),
                   Text(TextId::kSmartContrastItem), Text(TextId::kSingleImageItem),
                   Text(TextId::kMultiImageItem), Text(TextId::kDaylightUpItem),
                   Text(TextId::kDaylightDownItem), Text(TextId::kToneMappingItem),
                   Text(TextId::kMenuHelp), Text(TextId::kAboutItem)}));
}

// The rules of each moment, as the buttons and the menu show them.
TEST_F(CommandKeysTest, TheGroupsSwitchTogetherAndTheSinglePictureOnesStayOffOverASeries) {
  CommandTable& commands = window_->Commands();
  const auto state = [&] {
    return std::vector<bool>{
        commands.IsEnabled(CommandId::kOpen),        commands.IsEnabled(CommandId::kMultiImage),
        commands.IsEnabled(CommandId::kSaveAs),      commands.IsEnabled(CommandId::kClose),
        commands.IsEnabled(CommandId::kToneMapping), window_->ZoomBoxWidget()->isEnabled(),
        commands.IsEnabled(CommandId::kZoomIn)};
  };
  using V = std::vector<bool>;
  EXPECT_EQ(state(), (V{true, true, false, false, false, false, true}));
  commands.Apply(EnablingEvent::kPictureOpened);
  EXPECT_EQ(state(), (V{true, true, true, true, true, true, true}));
  commands.Apply(EnablingEvent::kProcessing);
  EXPECT_EQ(state(), (V{false, false, false, false, false, true, true}));
  EXPECT_FALSE(commands.Button(CommandId::kSmartContrast)->isEnabled());
  commands.Apply(EnablingEvent::kProcessingEnded, true);
  EXPECT_EQ(state(), (V{true, true, true, true, false, true, true}));
  commands.Apply(EnablingEvent::kProcessingEnded, false);
  EXPECT_EQ(state(), (V{true, true, true, true, true, true, true}));
  commands.Apply(EnablingEvent::kProcessing);
  commands.Apply(EnablingEvent::kNoPicture);
  EXPECT_EQ(state(), (V{true, false, false, false, false, false, true}));
}

TEST_F(CommandKeysTest, KeysAFocusedControlDoesNotUseRunTheirCommands) {
  ASSERT_TRUE(OpenFile(kSunset));
  const double fit = window_->View().zoom;
  QWidget* view = window_->ViewWidget();
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Plus);
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit * kZoomInFactor);
  // The zoom box's field types the character instead.
  QLineEdit* field = window_->ZoomBoxWidget()->lineEdit();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTest::mouseClick(field, Qt::LeftButton);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Minus);
  EXPECT_DOUBLE_EQ(window_->View().zoom, fit * kZoomInFactor);
  EXPECT_TRUE(field->text().contains(QLatin1Char('-')));

  QTest::keyClick(view, Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier);
  EXPECT_EQ(dialogs_.captions.back(), LangText(TextId::kAboutCaption));
  EXPECT_NE(dialogs_.messages.back().find(MELVARO_VERSION), std::string::npos);
  // An accelerator, wherever the focus is.
  dialogs_.openTitles.clear();
  QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(dialogs_.openTitles.size(), 1u);
}

// A panel that asks for OK, Cancel and, when told, the whole keyboard with one grab.
class KeyPanel : public ToolPanel {
 public:
  explicit KeyPanel(bool hold) {
    slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(0, 100);
    slider->setValue(50);
    resize(200, 80);
    PanelKeys keys = PanelKeys::OkCancel([this] { ++oks; }, [this] { ++cancels; });
    keys.holdsKeyboard = hold;
    if (hold) keys.grabs = {{Qt::Key_Right, true, [this] { ++rights; }}};
    AskForKeys(std::move(keys));
  }
  QSlider* slider;
  int oks = 0, cancels = 0, rights = 0;
};

TEST_F(CommandKeysTest, AnOpenPanelAnswersEnterAndEscapeItsControlsKeepTheirKeys) {
  ASSERT_TRUE(OpenFile(kSunset));
  auto* panel = new KeyPanel(false);
  window_->OpenPanel(panel);
  panel->slider->setFocus();
  QTest::keyClick(panel->slider, Qt::Key_Right);
  EXPECT_EQ(panel->slider->value(), 51);  // the slider's, not the series'
  QTest::keyClick(panel->slider, Qt::Key_Return);
  QTest::keyClick(window_->ViewWidget(), Qt::Key_Enter);
  QTest::keyClick(panel->slider, Qt::Key_Escape);
  EXPECT_EQ(std::make_pair(panel->oks, panel->cancels), std::make_pair(2, 1));
  // Typing a zoom keeps Enter for the zoom box.
  window_->ZoomBoxWidget()->lineEdit()->setFocus();
  QTest::keyClick(window_->ZoomBoxWidget()->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(panel->oks, 2);
  window_->ClosePanel(panel);
}

TEST_F(CommandKeysTest, APanelHoldingTheKeyboardTakesItsKeysEverywhereAndHoldsTheRest) {
  ASSERT_TRUE(OpenFile(kSunset));
  const double zoom = window_->View().zoom;
  auto* panel = new KeyPanel(true);
  window_->OpenPanel(panel);
  panel->slider->setFocus();
  QTest::keyClick(panel->slider, Qt::Key_Right);  // grabbed, on its release
  EXPECT_EQ(panel->rights, 1);
  EXPECT_EQ(panel->slider->value(), 50);
  QTest::keyClick(panel->slider, Qt::Key_Up);  // the slider's own
  EXPECT_EQ(panel->slider->value(), 51);
  QTest::keyClick(panel->slider, Qt::Key_Plus);  // left by the slider, still held
  EXPECT_DOUBLE_EQ(window_->View().zoom, zoom);
  QTest::keyClick(window_->ViewWidget(), Qt::Key_Plus);  // held: no zoom
  EXPECT_DOUBLE_EQ(window_->View().zoom, zoom);
  QLineEdit* field = window_->ZoomBoxWidget()->lineEdit();
  const QString typed = field->text();
  QTest::keyClick(field, Qt::Key_Return);  // OK, even from the zoom box
  QTest::keyClick(field, Qt::Key_5);
  EXPECT_EQ(field->text(), typed);
  EXPECT_EQ(panel->oks, 1);
  window_->ClosePanel(panel);
  QTest::keyClick(window_->ViewWidget(), Qt::Key_Plus);  // free again once it closed
  EXPECT_DOUBLE_EQ(window_->View().zoom, zoom * kZoomInFactor);
}

// The popup menu is open over the panel that holds the keyboard: its keys are the menu's
// (Escape closes it, not the panel).
TEST_F(CommandKeysTest, AnOpenMenuKeepsItsKeysWhileAPanelHoldsTheKeyboard) {
  ASSERT_TRUE(OpenFile(kSunset));
  auto* panel = new KeyPanel(true);
  window_->OpenPanel(panel);
  window_->ExecuteCommand(CommandId::kMenu);
  QMenu* menu = window_->Commands().PopupMenu();
  ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
  QTest::keyClick(menu, Qt::Key_Right);
  QTest::keyClick(menu, Qt::Key_Escape);
  EXPECT_EQ(std::make_pair(panel->rights, panel->cancels), std::make_pair(0, 0));
  menu->close();
  QTest::keyClick(window_->ViewWidget(), Qt::Key_Escape);
  EXPECT_EQ(panel->cancels, 1);  // the panel's again once the menu is gone
  window_->ClosePanel(panel);
}

}  // namespace
