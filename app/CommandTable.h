#pragma once

#include <QObject>
#include <map>
#include <optional>

#include "app/Messages.h"
#include "settings/TextIds.h"

class QAction;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;

// The toolbar's buttons, the "Menu" popup and the rules that enable them, in one place.
// Every button and menu item reports its command number through Triggered.
class CommandTable : public QObject {
  Q_OBJECT

 public:
  explicit CommandTable(QWidget* window);

  // Fills the toolbar in its order, with `zoomBox` in the zoom box's place.
  void BuildToolbar(QToolBar* toolbar, QWidget* zoomBox);

  // The toolbar button of a command (null for commands without one).
  QAction* Button(CommandId command) const;
  bool IsEnabled(CommandId command) const;
  QMenu* PopupMenu() const { return menu_; }
  QToolButton* MenuButton() const { return menuButton_; }

  // Enabling rules.
  // Without a picture (start-up and Close): Open on; Save As, the processing commands and the
  // zoom box off.
  void EnterNoPicture();
  // A picture was opened: Save As, the single-picture commands and the zoom box on.
  void EnterPictureOpened();
  // While a job or the noise question runs: Open, Save As and every processing command off.
  void DisableForProcessing();
  // When processing ends: Open, Save As and Multi Image on, and the single-picture commands
  // only outside a series.
  void EnableAfterProcessing(bool multiImageMode);

  // The menu's texts from the text table and its greying from the buttons.
  void UpdateMenu();
  // Greys the three submenus (File, Create VTX, Help) while a panel wants the menu idle.
  void GreyMenus(bool grey);

 signals:
  void Triggered(CommandId command);

 private:
  QAction* AddButton(QToolBar* toolbar, CommandId command, const char* image,
                     std::optional<TextId> tooltipText);
  QAction* AddMenuItem(QMenu* menu, CommandId command);
  void SetEnabled(std::initializer_list<CommandId> commands, bool enabled);

  QWidget* window_;
  QWidget* zoomBox_ = nullptr;
  QMenu* menu_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* createMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QToolButton* menuButton_ = nullptr;
  std::map<CommandId, QAction*> buttons_;
  std::map<CommandId, QAction*> menuItems_;
};
